// The tool's commands. Each takes the arguments after its name and returns the
// process exit status; each answers --help.
#pragma once

#include <string>
#include <vector>

namespace corvane::cli {

using Args = std::vector<std::string>;

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // an expectation does not hold; a template has errors
inline constexpr int kExitCannotRun =
    2;  // bad usage, unreadable scenario, module or registry problem

int RunCommand(const Args& args);
int ClassesCommand(const Args& args);
int RegisterCommand(const Args& args, bool unregister);
int DescribeCommand(const Args& args);
int TemplateCommand(const Args& args);
int NewCommand(const Args& args);
// `help` alone prints `usage`; `help COMMAND` prints that command's --help.
int HelpCommand(const Args& args, const std::string& usage);

}  // namespace corvane::cli
