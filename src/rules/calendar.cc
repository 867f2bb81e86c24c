// The calendar under the variant rules: serial days (days since 30 December
// 1899) to and from proleptic Gregorian dates, the time of day, and the date
// functions built on them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "rules/error_report.h"
#include "rules/variant_parts.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

// Serial day 0 (30 December 1899) counted from 1 January 1970.
constexpr int64_t kEpochShift = 25569;

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

void CivilDate(int64_t serial, int64_t& y, int& m, int& d) {
  const int64_t z = serial - kEpochShift + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Seconds on one continuous time line, so that hours can be added across midnight
// and across day 0.
int64_t LinearSeconds(const DayTime& dt) { return dt.day * kSecondsPerDay + dt.seconds; }

double FromLinearSeconds(int64_t s) {
  const int64_t day = FloorDiv(s, kSecondsPerDay);
  return FromDayTime(day, s - day * kSecondsPerDay);
}

}  // namespace

int DaysInMonth(int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

int64_t SerialDay(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + kEpochShift;
}

DayTime ToDayTime(double date) {
  if (!std::isfinite(date) || date <= kFirstDay - 1.0 || date >= kLastDay + 1.0) Raise(5);
  const double whole = std::trunc(date);
  DayTime r{static_cast<int64_t>(whole),
            static_cast<int64_t>(std::llround(std::fabs(date - whole) * kSecondsPerDay))};
  if (r.seconds >= kSecondsPerDay) {
    ++r.day;
    r.seconds -= kSecondsPerDay;
  }
  return r;
}

double FromDayTime(int64_t day, int64_t seconds) {
  if (day < kFirstDay || day > kLastDay) Raise(5);
  const double t = static_cast<double>(seconds) / kSecondsPerDay;
  return day >= 0 ? static_cast<double>(day) + t : static_cast<double>(day) - t;
}

DateParts PartsOf(const DayTime& dt) {
  DateParts p;
  int64_t y;
  CivilDate(dt.day, y, p.month, p.day);
  p.year = static_cast<int>(y);
  p.hour = static_cast<int>(dt.seconds / 3600);
  p.minute = static_cast<int>(dt.seconds / 60 % 60);
  p.second = static_cast<int>(dt.seconds % 60);
  return p;
}

int WeekdayOf(int64_t serial_day) {
  // Day 0 was a Saturday (7).
  return static_cast<int>(((serial_day % 7) + 7 + 6) % 7) + 1;
}

// ---------------------------------------------------------------- dates

DateParts SplitDate(double date) { return PartsOf(ToDayTime(date)); }

double MakeDate(int year, int month, int day, int hour, int minute, int second) {
  // Months roll into years first, then days and times move along the time line.
  const int64_t months = static_cast<int64_t>(year) * 12 + (month - 1);
  const int64_t y = FloorDiv(months, 12);
  const int m = static_cast<int>(months - y * 12) + 1;
  if (y < 100 || y > 9999) Raise(5);
  const int64_t first = SerialDay(y, m, 1);
  const int64_t seconds =
      (first + day - 1) * kSecondsPerDay + int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  return FromLinearSeconds(seconds);
}

int Year(double date) { return SplitDate(date).year; }
int Month(double date) { return SplitDate(date).month; }
int Day(double date) { return SplitDate(date).day; }
int Hour(double date) { return SplitDate(date).hour; }
int Minute(double date) { return SplitDate(date).minute; }
int Second(double date) { return SplitDate(date).second; }
int Weekday(double date) { return WeekdayOf(ToDayTime(date).day); }
double WholeDay(double date) { return FromDayTime(ToDayTime(date).day, 0); }

double DateAdd(std::string_view interval, int32_t number, double date) {
  const std::string unit = LCase(interval);
  const DayTime dt = ToDayTime(date);
  int64_t months = 0, seconds = 0;
  if (unit == "yyyy")
    months = int64_t{number} * 12;
  else if (unit == "q")
    months = int64_t{number} * 3;
  else if (unit == "m")
    months = number;
  else if (unit == "y" || unit == "d" || unit == "w")
    seconds = int64_t{number} * kSecondsPerDay;
  else if (unit == "ww")
    seconds = int64_t{number} * 7 * kSecondsPerDay;
  else if (unit == "h")
    seconds = int64_t{number} * 3600;
  else if (unit == "n")
    seconds = int64_t{number} * 60;
  else if (unit == "s")
    seconds = number;
  else
    Raise(5);

  if (months == 0) return FromLinearSeconds(LinearSeconds(dt) + seconds);
  const DateParts p = PartsOf(dt);
  const int64_t total = int64_t{p.year} * 12 + (p.month - 1) + months;
  const int64_t y = FloorDiv(total, 12);
  const int m = static_cast<int>(total - y * 12) + 1;
  if (y < 100 || y > 9999) Raise(5);
  return FromDayTime(SerialDay(y, m, std::min(p.day, DaysInMonth(y, m))), dt.seconds);
}

}  // namespace corvane
