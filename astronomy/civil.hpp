// astronomy/civil.hpp: proleptic Gregorian calendar arithmetic on day counts.
#pragma once

#include <numbers>

namespace astronomy {

/// Floor division of integers (C++ division truncates toward zero).
constexpr long long floor_div(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

struct Civil {
    long long y;
    int m, d;
};

/// The date of a day counted from 1970-01-01 (H. Hinnant's civil_from_days).
constexpr Civil civil_from_days(long long z) {
    z += 719468;
    const long long era = floor_div(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m, d};
}

/// The day count from 1970-01-01 of a date (H. Hinnant's days_from_civil).
constexpr long long days_from_civil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = floor_div(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

static_assert(days_from_civil(1970, 1, 1) == 0 && days_from_civil(2000, 3, 1) == 11017);
static_assert(civil_from_days(11017).y == 2000 && civil_from_days(11017).m == 3);

inline constexpr long long kSecondsPerDay = 86400;

/// The Julian date of 1970-01-01 00:00, the epoch of the day counts.
inline constexpr double kUnixEpochJd = 2440587.5;

/// The Julian date of J2000.0, 2000-01-01 12:00 TT.
inline constexpr double kJ2000 = 2451545.0;

/// Days in a Julian century, the unit of time of the precession series.
inline constexpr double kDaysPerCentury = 36525.0;

/// Arcseconds in a degree.
inline constexpr double kArcsecondsPerDegree = 3600.0;

/// Radians in a degree.
inline constexpr double kDeg = std::numbers::pi / 180;

/// date(1970, 1, 1).toordinal(): the ordinal of the Unix epoch's day.
inline constexpr long long kEpochOrdinal = 719163;

}  // namespace astronomy
