// observed/calendar.cpp: the three sources of the observed calendar, together.
#include "observed/calendar.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/internals.hpp"
#include "frame/holidays.hpp"
#include "islamic/hijri.hpp"
#include "observed/crescent.hpp"
#include "observed/hindu.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <tuple>

namespace observed {

namespace {

// How far before and after its span a computation reaches into the ephemeris:
// the new moons, from at most 122 days before (the Islamic months' lead) to at
// most 61 after (new_moons_between's lunation on either side), and the Newton
// steps around them.
constexpr double kReachBeforeDays = 125;
constexpr double kReachAfterDays = 64;

}  // namespace

const char* source_name(Source s) {
    switch (s) {
        case Source::hindu: return "hindu";
        case Source::islamic: return "islamic";
        case Source::fixed: return "fixed";
    }
    return "";
}

std::pair<DayNumber, DayNumber> covered_days(const Context& ctx) {
    auto [first, last] = astronomy::ephemeris_coverage(ctx);
    if (!(first <= last) || !std::isfinite(first) || !std::isfinite(last)) return {1, 0};
    return {approx_day(first + kReachBeforeDays) + 1, approx_day(last - kReachAfterDays) - 1};
}

std::vector<Festival> festivals_between(const Context& ctx, DayNumber first, DayNumber last) {
    auto [from, to] = covered_days(ctx);
    if (first < from || last > to)
        throw py::value_error("civil days " + std::to_string(first) + " to " + std::to_string(last) +
                              " lie outside the days " + std::to_string(from) + " to " +
                              std::to_string(to) + " that the ephemeris covers");
    if (const char* reason = astronomy::internals_disagree(ctx))
        throw std::runtime_error(std::string("the observed calendar cannot use this Skyfield: ") + reason);
    std::vector<Festival> out;
    if (first > last) return out;

    // New moons from 122 days before the span (new_moons_between adds a lunation
    // on either side of the lunations that touch the span it is given).
    std::vector<double> new_moons =
        astronomy::new_moons_between(ctx, approx_tt(first) - 62, approx_tt(last) + 2);
    Days days;
    for (const KeptOn& k : hindu_festivals(ctx, days, new_moons, first, last))
        out.push_back({k.day, Source::hindu, k.festival, kHinduRules[k.festival].name});

    for (const IslamicMonth& m : islamic_months(ctx, days, new_moons, first, last))
        for (int f = 0; f < static_cast<int>(std::size(islamic::kIslamicFestivals)); ++f) {
            const islamic::IslamicFestival& festival = islamic::kIslamicFestivals[f];
            const DayNumber d = m.first_day + festival.day - 1;
            if (festival.month == m.month && first <= d && d <= last)
                out.push_back({d, Source::islamic, f, festival.name});
        }

    for (DayNumber d = first; d <= last; ++d) {
        const astronomy::Civil c = astronomy::civil_from_days(d);
        for (int f = 0; f < static_cast<int>(std::size(frame::kFixedHolidays)); ++f)
            if (frame::kFixedHolidays[f].month == c.m && frame::kFixedHolidays[f].day == c.d)
                out.push_back({d, Source::fixed, f, frame::kFixedHolidays[f].name});
    }

    std::sort(out.begin(), out.end(), [](const Festival& a, const Festival& b) {
        return std::tie(a.day, a.source, a.order) < std::tie(b.day, b.source, b.order);
    });
    return out;
}

}  // namespace observed
