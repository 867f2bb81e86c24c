// The platform seam: clock, locale, event log and file system. The library reads
// the time, formats numbers and dates, logs errors and touches the file system
// only through the PlatformServices installed here. The default uses the real
// system (local clock, en-US locale, syslog with ident "Corvane", the real file
// system); tests, the simulator and the command-line host install their own.
//
// Threading: install services before creating activity objects. Every thread
// that runs a step calls the installed services, so their members must be safe
// to call at once. Installing others while steps run is safe for the seam
// itself (each read sees the old or the new services), but services replaced
// must outlive the calls still using them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "pelmark/com.h"
#include "pelmark/variant.h"

namespace corvane {

// How a locale writes numbers and dates. Field values follow Windows' naming.
struct LocaleInfo {
  std::string name;                 // "en-US"
  std::string decimal_separator;    // "."
  std::string thousands_separator;  // ","
  std::string date_separator;       // "/"
  std::string time_separator;       // ":"
  enum class DateOrder { kMonthDayYear, kDayMonthYear, kYearMonthDay } date_order;
  std::string short_date_pattern;  // "M/d/yyyy"
  std::string long_time_pattern;   // "h:mm:ss tt"
  std::string am_designator;       // "AM"
  std::string pm_designator;       // "PM"
  std::array<std::string, 12> month_names;
  std::array<std::string, 12> month_abbreviations;
  std::array<std::string, 7> day_names;  // Sunday first
  std::array<std::string, 7> day_abbreviations;

  static const LocaleInfo& EnUs();
  static const LocaleInfo& DeDe();
};

class PlatformServices {
 public:
  virtual ~PlatformServices() = default;

  // The local date and time as days since 30 December 1899 00:00.
  virtual double Now() = 0;
  virtual const LocaleInfo& Locale() = 0;
  // Writes one error entry to the system's application event log.
  virtual void LogError(std::string_view description) = 0;
  // True when a file-system entry (directory or file) of that name exists; false
  // when the path or one of its parents does not exist or is not a directory.
  // Throws pelmark::Error 75 for any other failure.
  virtual bool PathExists(std::string_view path) = 0;
  // Creates one directory; its parent must exist. Throws pelmark::Error 75 or 76.
  virtual void CreateDirectory(std::string_view path) = 0;
  // The registry directory that component registration writes into (the stand-in
  // for the system registry on this platform).
  virtual std::string RegistryRoot() = 0;

  // The directory every folder the library checks or creates must stay inside,
  // or empty (the default) for no limit. A folder that resolves outside it, once
  // ".." and symbolic links are followed, is refused with error 70 before the
  // file system is asked anything.
  virtual std::string ExportRoot() { return {}; }
  // Where a folder the library names really is, for the export-root check. The
  // default is the name itself; a host whose PathExists and CreateDirectory map
  // names elsewhere (into a sandbox) answers the mapped path.
  virtual std::string HostPath(std::string_view path) { return std::string(path); }
  // Creates one directory for a folder the export-root check placed inside the
  // root: `root` is the root as the check resolved it, `below` the folder's
  // names under it joined by "/" (never "." or ".."), `path` the folder as the
  // library names it. The default creates `path` with CreateDirectory. The real
  // system's opens `root` and walks down one name at a time without following a
  // symbolic link, so that a link put in place of a directory after the check
  // cannot carry the folder outside the root (pelmark::Error 70 then); other
  // failures raise as CreateDirectory's do.
  virtual void CreateDirectoryBelow(std::string_view root, std::string_view below,
                                    std::string_view path) {
    (void)root;
    (void)below;
    CreateDirectory(path);
  }

  // The most bytes a rendered template may hold. A placeholder inside a value
  // is expanded again by later replacements, so values alone can grow a text
  // without bound; rendering raises error 7 once its text would pass this
  // limit. The default, 64 MiB, is far beyond any real message.
  virtual size_t TemplateOutputLimit() { return size_t{64} << 20; }

  // Told of each listed item a walk went past without calling the host for
  // it because its "id" could not be read (the walk goes on): the kind's
  // entity name ("Document"; empty for an unknown kind), the "id" text as
  // written (empty when there is none) and the error reading it raised. The
  // default does nothing; the command-line host lists these items with the
  // errors the step skipped. It must not call back into the library or the host.
  virtual void ItemSkipped(std::string_view entity_name, std::string_view id_text,
                           const pelmark::Error& error) {
    (void)entity_name;
    (void)id_text;
    (void)error;
  }
};

// The real system: local clock, en-US locale, syslog, std::filesystem.
PlatformServices& SystemPlatform();

// The services in force.
PlatformServices& Platform();

// Installs `services` (not owned; must outlive its use), or the real system for
// nullptr. Returns the previous one.
PlatformServices* SetPlatform(PlatformServices* services);

}  // namespace corvane

// The same as corvane::SetPlatform, exported from the loadable module so that a
// host that loads it with dlopen can install its own services.
extern "C" PELMARK_EXPORT corvane::PlatformServices* CorvaneSetPlatform(
    corvane::PlatformServices* services);
