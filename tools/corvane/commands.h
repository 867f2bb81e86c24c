// The tool's commands. Each takes the arguments after its name and returns the
// process exit status; each answers --help.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::cli {

using Args = std::vector<std::string>;

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an expectation does not hold; a template has errors
inline constexpr int kExitCannotRun =
    2;  // bad usage, unreadable scenario, module or registry problem

// `text` as a message may show it: control characters (NUL included) and DEL
// written as escapes ("\0", "\t", "\x1b"), so that a name or value from a
// scenario, a template or the command line neither cuts a message short nor
// moves a terminal's cursor. Line breaks stay when `keep_line_breaks`.
std::string Printable(std::string_view text, bool keep_line_breaks = false);

int RunCommand(const Args& args);
int CheckCommand(const Args& args);
int ClassesCommand(const Args& args);
int RegisterCommand(const Args& args, bool unregister);
int DescribeCommand(const Args& args);
int TemplateCommand(const Args& args);
int NewCommand(const Args& args);
// `help` alone prints `usage`; `help COMMAND` prints that command's --help.
int HelpCommand(const Args& args, const std::string& usage);

}  // namespace corvane::cli
