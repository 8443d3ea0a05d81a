// frame/minutes.cpp: civil-minute arithmetic.
#include "frame/minutes.hpp"

#include "astronomy/observer.hpp"

namespace frame {

using astronomy::floor_div;

namespace {

// IST is this many minutes ahead of UTC, in the panchang's field-by-field
// conversion (the definition's; the zone's own offset differed in some years).
constexpr long long kIstOffset = astronomy::kIstOffsetHours * 60 + astronomy::kIstOffsetMinutes;

}  // namespace

Minute minute_of(long long minute, std::size_t slot) {
    const long long day = floor_div(minute, kMinutesPerDay);
    const long long of_day = minute - day * kMinutesPerDay;
    const astronomy::Civil c = astronomy::civil_from_days(day);
    Minute mo{minute, slot};
    mo.y = c.y;
    mo.m = c.m;
    mo.d = c.d;
    mo.h = static_cast<int>(of_day / 60);
    mo.mi = static_cast<int>(of_day % 60);
    return mo;
}

void fill_tt(const astronomy::Context& ctx, std::vector<Minute>& minutes) {
    std::vector<long long> days;
    for (const Minute& mo : minutes)
        if (days.empty() || days.back() != mo.day()) days.push_back(mo.day());
    py::array_t<long long> y(static_cast<py::ssize_t>(days.size())), m(y.size()), d(y.size());
    for (std::size_t k = 0; k < days.size(); ++k) {
        astronomy::Civil c = astronomy::civil_from_days(days[k]);
        y.mutable_at(k) = c.y;
        m.mutable_at(k) = c.m;
        d.mutable_at(k) = c.d;
    }
    std::vector<double> midnight = astronomy::to_vector(ctx.ts.attr("utc")(y, m, d).attr("tt"));
    std::size_t k = 0;
    for (Minute& mo : minutes) {
        while (days[k] != mo.day()) ++k;
        const long long since = mo.minute - days[k] * kMinutesPerDay - kIstOffset;
        mo.tt = midnight[k] + static_cast<double>(since) / kMinutesPerDay;
    }
}

void fill_zone(const std::vector<astronomy::ZoneStretch>& zone, std::vector<Minute>& minutes) {
    constexpr long long kIstSeconds = kIstOffset * 60;
    for (Minute& mo : minutes) {
        // The stretches whose rules make this wall-clock time: one, or none (a
        // time skipped by a change) or two (a time repeated by one).
        const long long local = mo.minute * 60;
        int fits = 0;
        long long offset = 0;
        for (std::size_t k = 0; k < zone.size(); ++k) {
            const long long utc = local - zone[k].offset;
            if (utc >= zone[k].utc_start && (k + 1 == zone.size() || utc < zone[k + 1].utc_start)) {
                ++fits;
                offset = zone[k].offset;
            }
        }
        mo.zone_clear = fits == 1;
        mo.civil_tt = mo.tt + static_cast<double>(kIstSeconds - offset) / astronomy::kSecondsPerDay;
    }
}

}  // namespace frame
