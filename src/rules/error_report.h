// The error report: every procedure with a location text runs its body inside
// Reported(), which on failure appends the location and line to the error's
// source, writes the description to the event log unless the procedure is quiet,
// and raises the same error again. Objects the body held are released by their
// destructors while the error unwinds, before the report runs.
//
// Typical usage:
//   return Reported({kPrivate, class_name, ":ProcessItems Ln "}, [&](Line& at) {
//     at(1); auto list = doc.SelectSingleNode("//documents");
//     ...
//   });
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "pelmark/com.h"
#include "rules/raise_context.h"

namespace corvane {

// The source text of errors the library raises itself.
inline constexpr std::string_view kLibrarySource = "Corvane";

enum class LocationForm {
  kPublic,     // source, CR LF, location, line
  kPrivate,    // source, " => ", CR LF, location, line
  kBracketed,  // source, " => ", CR LF, location, line, ")"
};

enum class Logging { kLogged, kQuiet };

// A procedure's location text is `owner` followed by `procedure`, for example
// "MarkAsVital" and ":ProcessItems Ln ". Both must outlive the call.
struct Location {
  LocationForm form;
  std::string_view owner;
  std::string_view procedure;
  Logging logging = Logging::kLogged;
};

inline constexpr LocationForm kPublic = LocationForm::kPublic;
inline constexpr LocationForm kPrivate = LocationForm::kPrivate;
inline constexpr LocationForm kBracketed = LocationForm::kBracketed;
inline constexpr Logging kQuiet = Logging::kQuiet;

// The statement a procedure is at; the report writes it as the line number.
class Line {
 public:
  void operator()(int32_t line) noexcept { line_ = line; }
  int32_t value() const noexcept { return line_; }

 private:
  int32_t line_ = 0;
};

// The classic English description of a run-time error number ("Type mismatch"
// for 13); an empty view for numbers without one.
std::string_view ClassicDescription(int32_t number);

// Raises run-time error `number` with source "Corvane" and its classic description.
[[noreturn]] void Raise(int32_t number);
// Raises with source "Corvane" and the description given.
[[noreturn]] void Raise(int32_t number, std::string description);

// The source text extended by one location (exposed for the tests of the forms).
std::string ExtendSource(std::string_view source, const Location& where, int32_t line);

// Reports the exception in flight (any type) at `where` and raises it again as a
// pelmark::Error. REQUIRES: called from inside a catch block.
[[noreturn]] void ReportInFlight(const Location& where, int32_t line);

// Runs body(Line&) and reports any error it raises at `where`.
template <class Body>
decltype(auto) Reported(const Location& where, Body&& body) {
  Line at;
  try {
    return std::forward<Body>(body)(at);
  } catch (...) {
    ReportInFlight(where, at.value());
  }
}

// Runs body() and swallows any error it raises; true when it ran to its end.
// This is how a walk that must not stop skips a failing statement.
template <class Body>
bool Suppressed(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (...) {
    ForgetRaise();  // a swallowed error's words must not go to a later one
    return false;
  }
}

}  // namespace corvane
