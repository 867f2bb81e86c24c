// The locales the library knows by name. Text of numbers and dates follows the
// one the platform seam reports; en-US is the default.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "corvane/platform.h"

namespace corvane {
namespace {

using DateOrder = LocaleInfo::DateOrder;
constexpr DateOrder kMonthDayYear = DateOrder::kMonthDayYear;
constexpr DateOrder kDayMonthYear = DateOrder::kDayMonthYear;

// How a locale writes numbers, dates and times, in LocaleInfo's order.
struct Conventions {
  const char* name;
  const char* decimal_separator;
  const char* thousands_separator;
  const char* date_separator;
  const char* time_separator;
  DateOrder date_order;
  const char* short_date_pattern;
  const char* long_time_pattern;
  const char* am_designator;
  const char* pm_designator;
};

// The N words of a list separated by single spaces.
template <size_t N>
std::array<std::string, N> Words(std::string_view list) {
  std::array<std::string, N> words;
  for (std::string& word : words) {
    const size_t end = std::min(list.find(' '), list.size());
    word = std::string(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return words;
}

// A locale from its conventions and its month and day names, full and then
// abbreviated, each a list in calendar order (Sunday first).
LocaleInfo Locale(const Conventions& c, std::string_view months, std::string_view days,
                  std::string_view short_months, std::string_view short_days) {
  return {c.name,           c.decimal_separator, c.thousands_separator, c.date_separator,
          c.time_separator, c.date_order,        c.short_date_pattern,  c.long_time_pattern,
          c.am_designator,  c.pm_designator,     Words<12>(months),     Words<12>(short_months),
          Words<7>(days),   Words<7>(short_days)};
}

// One row per locale.
// clang-format off
const LocaleInfo& Known(size_t index) {
  static const LocaleInfo kLocales[] = {
    Locale({"en-US", ".", ",", "/", ":", kMonthDayYear, "M/d/yyyy", "h:mm:ss tt", "AM", "PM"},
           "January February March April May June July August September October November December",
           "Sunday Monday Tuesday Wednesday Thursday Friday Saturday",
           "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", "Sun Mon Tue Wed Thu Fri Sat"),
    Locale({"de-DE", ",", ".", ".", ":", kDayMonthYear, "dd.MM.yyyy", "HH:mm:ss", "", ""},
           "Januar Februar März April Mai Juni Juli August September Oktober November Dezember",
           "Sonntag Montag Dienstag Mittwoch Donnerstag Freitag Samstag",
           "Jan Feb Mrz Apr Mai Jun Jul Aug Sep Okt Nov Dez", "So Mo Di Mi Do Fr Sa"),
  };
  return kLocales[index];
}
// clang-format on

}  // namespace

const LocaleInfo& LocaleInfo::EnUs() { return Known(0); }
const LocaleInfo& LocaleInfo::DeDe() { return Known(1); }

}  // namespace corvane
