// The real system on Windows: the local clock, en-US, the Application event log
// (source "Corvane", error entries) and the Win32 file system. Registration
// writes the system registry itself, so there is no registry directory.
#include <string>

#include "corvane/platform.h"
#include "rules/error_report.h"
#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"

namespace corvane {
namespace {

class System final : public PlatformServices {
 public:
  double Now() override {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    local.wMilliseconds = 0;  // whole seconds, as the classic clock has
    double days = 0;
    SystemTimeToVariantTime(&local, &days);
    return days;
  }

  const LocaleInfo& Locale() override { return LocaleInfo::EnUs(); }

  void LogError(std::string_view description) override {
    HANDLE source = RegisterEventSourceW(nullptr, L"Corvane");
    if (!source) return;
    const std::wstring text = Wide(description);
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
  }

  bool PathExists(std::string_view path) override {
    if (GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_DIRECTORY:
        return false;
      default:
        Raise(75);
    }
  }

  void CreateDirectory(std::string_view path) override {
    const std::wstring wide = Wide(path);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
      DWORD attributes = GetFileAttributesW(wide.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    }
    if (error == ERROR_PATH_NOT_FOUND) Raise(76);
    Raise(75);
  }

  std::string RegistryRoot() override { return "HKEY_CLASSES_ROOT"; }
};

}  // namespace

PlatformServices& SystemPlatform() {
  static System system;
  return system;
}

}  // namespace corvane
