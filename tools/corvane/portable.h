// The few operating-system calls the tool makes outside its module host, kept
// here so that the same tool sources build for Linux and for Windows.
//
// Threading: safe from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "rules/utf8_path.h"

namespace corvane::cli {

// The program's arguments after its name, as UTF-8. Windows hands main() its
// arguments in the ANSI code page, so there they are read from the wide command
// line; there too the console is set to show UTF-8 until the program ends.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// True when standard output is a terminal (colour is used only there).
bool StdoutIsTerminal();

// The component module's file name on this system, as help texts and messages
// name it: Corvane.so on Linux, Corvane.dll on Windows.
extern const char* const kModuleFileName;

// Whether --registry names a directory the tool may register into (Linux); on
// Windows registration always writes to the system registry, as regsvr32 does.
extern const bool kRegistryIsDirectory;

// The help lines of --registry for `run` and `classes`, and for `register` and
// `unregister`, as this system uses it.
extern const char* const kRegistryOptionHelp;
extern const char* const kRegisterRegistryHelp;

// This process's id, for names no other running tool takes.
int ProcessId();

// Makes a new, empty directory in the system's temporary directory, named
// `prefix` followed by six random characters; answers its path, or an empty
// string with `error` set when no directory could be made.
std::string MakeUniqueDirectory(std::string_view prefix, std::error_code& error);

// Calls `action` when the tool is interrupted (SIGINT, SIGTERM or SIGHUP; on
// Windows Ctrl+C, Ctrl+Break or a closed console), on a thread of its own, and
// then ends the process as the interrupt would have. The first call decides;
// later calls do nothing. Call it before the process starts other threads.
void CallOnInterrupt(void (*action)());

// A lock, reentrant on one thread, that keeps the tool's writes into its
// temporary directories and an interrupt's removal of them apart. The timed form
// answers false when the lock did not come free within `seconds`.
void LockTemporaryFiles();
bool LockTemporaryFiles(int seconds);
void UnlockTemporaryFiles();

// True while a process of this id runs (also one this user may not signal).
bool ProcessIsRunning(int process_id);

// True when this user owns the file or directory (always true on Windows, whose
// temporary directory is the user's own).
bool OwnedByThisUser(const std::filesystem::path& path);

}  // namespace corvane::cli
