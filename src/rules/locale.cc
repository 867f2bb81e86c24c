// The locales the library knows by name. Text of numbers and dates follows the
// one the platform seam reports; en-US is the default.
#include "corvane/platform.h"

namespace corvane {

const LocaleInfo& LocaleInfo::EnUs() {
  static const LocaleInfo kEnUs{
      "en-US",
      ".",
      ",",
      "/",
      ":",
      DateOrder::kMonthDayYear,
      "M/d/yyyy",
      "h:mm:ss tt",
      "AM",
      "PM",
      {"January", "February", "March", "April", "May", "June", "July", "August", "September",
       "October", "November", "December"},
      {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
      {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
      {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}};
  return kEnUs;
}

const LocaleInfo& LocaleInfo::DeDe() {
  static const LocaleInfo kDeDe{
      "de-DE",
      ",",
      ".",
      ".",
      ":",
      DateOrder::kDayMonthYear,
      "dd.MM.yyyy",
      "HH:mm:ss",
      "",
      "",
      {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September",
       "Oktober", "November", "Dezember"},
      {"Jan", "Feb", "Mrz", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
      {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
      {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"}};
  return kDeDe;
}

}  // namespace corvane
