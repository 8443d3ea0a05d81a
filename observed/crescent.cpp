// observed/crescent.cpp: the first sighting of each new crescent by Yallop's
// q-test, and the months that follow from it.
#include "observed/crescent.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/internals.hpp"
#include "astronomy/roots.hpp"
#include "islamic/hijri.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <map>
#include <numbers>
#include <stdexcept>

namespace observed {

using astronomy::kDeg;

namespace {

constexpr double kEarthRadiusKm = 6378.14;
// The Moon's radius over the Earth's: its semi-diameter is this times its
// horizontal parallax (Meeus, Astronomical Algorithms, ch. 55).
constexpr double kMoonSemidiameterOfParallax = 0.272481;
// The chain of months starts this many months before the first month it is asked
// for; from there each month has 29 or 30 days by the crescent on its 29th
// evening.  Measured: every year from 1900 to 2050 asked alone gives the months
// a run over the whole span gives (tests/test_observed.py checks four years,
// and all of them with ORVIK_FULL_CHECKS=1).
constexpr int kLeadMonths = 2;

// The longest lag (days, about seven hours) from sunset to the young Moon's
// setting: it sets some 48 minutes later a day of its age, and is at most four
// days old on the evenings asked for (three hours); a longer lag is a setting
// of another evening.
constexpr double kLongestLag = 0.3;

// Moonset: the Moon's centre, without refraction, 0.8333 degrees below the
// horizon, as almanac.sunrise_sunset takes the Sun's (34' of refraction and a
// semi-diameter; the Moon's own differs by at most 2', which moves moonset by
// seconds and the best time by less).
std::vector<double> moonsets_near(const Context& ctx, const Site& site, std::vector<double> guesses) {
    return astronomy::horizon_crossings(ctx, site.observer, ctx.moon, std::move(guesses), astronomy::Slope::once);
}

// The minimum arc of vision for a crescent `w` arcminutes wide (Yallop's fit to
// the Indian method).
double arcv_minimum(double w) { return 11.8371 - 6.3226 * w + 0.7319 * w * w - 0.1018 * w * w * w; }

}  // namespace

// Yallop, "A Method for Predicting the First Sighting of the New Crescent Moon"
// (NAO Technical Note 69, 1997/1998): at the best time, sunset plus 4/9 of the
// lag from sunset to moonset,
//   q = (ARCV - (11.8371 - 6.3226 W' + 0.7319 W'^2 - 0.1018 W'^3)) / 10
// where ARCV is the geocentric difference in altitude of the Moon's and the
// Sun's centres (no refraction), ARCL the geocentric elongation, and W' the
// topocentric crescent width in arcminutes, SD' (1 - cos ARCL) with SD' the
// topocentric semi-diameter.  The topocentric altitudes come from Skyfield; the
// geocentric altitude adds the parallax in altitude, asin(R cos h' / distance).
std::vector<double> yallop_q(const Context& ctx, const Site& site, const std::vector<double>& sunsets,
                             const std::vector<double>& conjunctions) {
    std::vector<double> q(sunsets.size(), NAN);
    if (sunsets.empty()) return q;
    // A young Moon sets some 48 minutes after the Sun for each day of its age.
    std::vector<double> guesses(sunsets);
    for (std::size_t i = 0; i < guesses.size(); ++i)
        guesses[i] += std::max(sunsets[i] - conjunctions[i], 0.0) * 48 / 1440;
    std::vector<double> moonsets = moonsets_near(ctx, site, guesses);
    std::vector<double> best;
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < sunsets.size(); ++i) {
        const double lag = moonsets[i] - sunsets[i];
        if (lag <= 0 || lag > kLongestLag) continue;  // set first, or a setting of another evening
        best.push_back(sunsets[i] + lag * 4 / 9);
        which.push_back(i);
    }
    if (best.empty()) return q;
    const std::vector<double> moon_alt = altitudes(ctx, site, ctx.moon, best), sun_alt = altitudes(ctx, site, ctx.sun, best);
    py::object t = astronomy::with_almanac_nutation(astronomy::times_tt(ctx, best));
    py::object geocentre = ctx.earth.attr("at")(t);
    py::object moon_geo = geocentre.attr("observe")(ctx.moon).attr("apparent")();
    py::object sun_geo = geocentre.attr("observe")(ctx.sun).attr("apparent")();
    std::vector<double> arcl = astronomy::to_vector(moon_geo.attr("separation_from")(sun_geo).attr("degrees"));
    std::vector<double> moon_km = astronomy::to_vector(moon_geo.attr("distance")().attr("km"));
    for (std::size_t k = 0; k < best.size(); ++k) {
        const double parallax = std::asin(kEarthRadiusKm / moon_km[k]);
        const double h_topo = moon_alt[k] * kDeg;
        const double h_geo = h_topo + std::asin(kEarthRadiusKm * std::cos(h_topo) / moon_km[k]);
        const double arcv = h_geo / kDeg - sun_alt[k];
        const double sd = kMoonSemidiameterOfParallax * parallax / kDeg * 60;  // arcminutes
        const double sd_topo = sd * (1 + std::sin(h_topo) * std::sin(parallax));
        const double width = sd_topo * (1 - std::cos(arcl[k] * kDeg));
        q[which[k]] = (arcv - arcv_minimum(width)) / 10;
    }
    return q;
}

std::vector<IslamicMonth> islamic_months(const Context& ctx, Days& days, const std::vector<double>& new_moons,
                                         DayNumber first, DayNumber last, double seen_above) {
    // The conjunctions of the months that reach the span (a month begins at most
    // 30 days before a day it holds), from kLeadMonths before the first.
    std::size_t from = 0, to = new_moons.size();
    while (from < new_moons.size() && new_moons[from] < approx_tt(first) - 31) ++from;
    if (from < kLeadMonths) throw std::logic_error("new moons do not reach back far enough");
    from -= kLeadMonths;
    while (to > from && new_moons[to - 1] > approx_tt(last) + 1) --to;

    // Every evening on which a month can begin: from the day of each conjunction
    // to three days after it (the 29th evening of a chained month falls from 0.8
    // days before its conjunction to 2.7 days after, and by the third evening a
    // crescent is always of category A).  The evening before the conjunction's
    // day is before the conjunction.
    std::vector<DayNumber> evenings;
    std::vector<double> sunsets, conjunctions;
    std::map<DayNumber, bool> seen;  // the crescent of the conjunction before
    for (std::size_t i = from; i < to; ++i) {
        const DayNumber day = approx_day(new_moons[i]);
        seen[day - 1] = false;
        for (DayNumber d = day; d <= day + 3; ++d) evenings.push_back(d);
        days.need_sunsets(day, day + 3);
    }
    days.compute(ctx);
    {
        std::vector<DayNumber> young;
        std::size_t i = from;
        for (DayNumber d : evenings) {
            while (i + 1 < to && new_moons[i + 1] < days.sunset(d)) ++i;
            if (days.sunset(d) <= new_moons[i]) {
                seen[d] = false;
                continue;
            }
            young.push_back(d);
            sunsets.push_back(days.sunset(d));
            conjunctions.push_back(new_moons[i]);
        }
        std::vector<double> q = yallop_q(ctx, days.site(), sunsets, conjunctions);
        for (std::size_t k = 0; k < young.size(); ++k) seen[young[k]] = q[k] > seen_above;
    }
    auto seen_on = [&](DayNumber d, double conjunction) {
        auto it = seen.find(d);
        if (it == seen.end()) throw std::logic_error("a crescent evening outside those evaluated");
        return it->second && days.sunset(d) > conjunction;
    };

    // The first month begins the day after the first evening its crescent is seen;
    // each later one, the day after the 29th if the crescent is seen that evening,
    // else the day after the 30th.
    std::vector<IslamicMonth> out;
    DayNumber start = approx_day(new_moons[from]) - 1;
    while (!seen_on(start, new_moons[from])) ++start;
    ++start;
    for (std::size_t i = from;; ++i) {
        // Numbered as the tabular month whose first day is nearest.
        auto [y, m, d] = islamic::hijri_from_ordinal(start + astronomy::kEpochOrdinal);
        if (d > 15) m == 12 ? (++y, m = 1) : ++m;
        out.push_back({start, y, static_cast<int>(m)});
        if (i + 1 >= to) break;
        start += seen_on(start + 28, new_moons[i + 1]) ? 29 : 30;
    }
    return out;
}

}  // namespace observed
