// windows.h meets no contract header here, so it is included as it is.
#define WIN32_LEAN_AND_MEAN
#include "portable.h"

#include <io.h>
#include <process.h>
#include <stdio.h>
#include <windows.h>
// After windows.h, whose macros it needs.
#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "rules/windows/wide_text.h"

namespace corvane::cli {

const char* const kModuleFileName = "Corvane.dll";
const bool kRegistryIsDirectory = false;
const char* const kRegistryOptionHelp =
    "  --registry DIR    not used on Windows: classes are created as regsvr32\n"
    "                    registered them in the system registry\n";
const char* const kRegisterRegistryHelp =
    "  --registry DIR    not used on Windows: the module registers itself under\n"
    "                    HKEY_CLASSES_ROOT, as regsvr32 does\n";

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> out;
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) out.push_back(Utf8(wide[i]));
    LocalFree(wide);
  }
  // The tool writes UTF-8; a console shows it as such only in its code page.
  static const UINT console_page = GetConsoleOutputCP();
  if (console_page != 0 && console_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
    std::atexit([] { SetConsoleOutputCP(console_page); });
  return out;
}

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

int ProcessId() { return _getpid(); }

std::string MakeUniqueDirectory(std::string_view prefix, std::error_code& error) {
  namespace fs = std::filesystem;
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const fs::path parent = fs::temp_directory_path();
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  // Another process may take a name between the choice and the creation; a
  // fresh name is tried then, as mkdtemp does.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name(prefix);
    for (int i = 0; i < 6; ++i) name.push_back(kLetters[pick(random)]);
    const fs::path candidate = parent / name;
    if (fs::create_directory(candidate, error)) return Utf8Of(candidate);
    if (error) return {};
  }
  error = std::make_error_code(std::errc::file_exists);
  return {};
}

namespace {

void (*interrupt_action)() = nullptr;

// Runs on a thread the system starts for the event; returning FALSE lets the
// next handler, the default one, end the process.
BOOL WINAPI OnConsoleEvent(DWORD) {
  if (interrupt_action) interrupt_action();
  return FALSE;
}

}  // namespace

void CallOnInterrupt(void (*action)()) {
  if (interrupt_action) return;
  interrupt_action = action;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

namespace {
// A critical section is reentrant on its owning thread, as the lock must be.
CRITICAL_SECTION* TemporaryFilesLock() {
  static CRITICAL_SECTION lock;
  static const bool initialized = (InitializeCriticalSection(&lock), true);
  (void)initialized;
  return &lock;
}
}  // namespace

void LockTemporaryFiles() { EnterCriticalSection(TemporaryFilesLock()); }
bool LockTemporaryFiles(int seconds) {
  for (int waited = 0; waited < seconds * 100; ++waited) {
    if (TryEnterCriticalSection(TemporaryFilesLock())) return true;
    Sleep(10);
  }
  return false;
}
void UnlockTemporaryFiles() { LeaveCriticalSection(TemporaryFilesLock()); }

bool ProcessIsRunning(int process_id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(process_id));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

bool OwnedByThisUser(const std::filesystem::path&) { return true; }

}  // namespace corvane::cli
