// observed/days.cpp: sunrise and sunset of civil days, and their divisions.
#include "observed/days.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/internals.hpp"
#include "astronomy/observer.hpp"
#include "astronomy/roots.hpp"
#include "runtime/pyops.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace observed {

using astronomy::kDeg;

namespace {

constexpr double kIstHours = astronomy::kIstOffsetHours + astronomy::kIstOffsetMinutes / 60.0;

// How far (days) a computed sunrise or sunset may lie from its guess, which is
// good to a minute or two: half an hour, far below the half day to the next
// crossing.
constexpr double kFarthestFromGuess = 0.02;

}  // namespace

// Sunrise (rising = true) or sunset of civil day `d` to about a minute, from the
// Sun's low-precision position (the Astronomical Almanac's formulas for the
// mean Sun and the equation of centre) and the hour angle at which its centre
// reaches the threshold altitude.  A first guess for the search with Skyfield,
// which converges from it in two Newton steps.
double Days::guess(DayNumber d, bool rising) const {
    // Local mean noon: 12:00 less the longitude's hours.
    const double noon_jd = astronomy::kUnixEpochJd + static_cast<double>(d) + (12 - site_.longitude / 15) / 24;
    const double n = noon_jd - astronomy::kJ2000;
    const double L = 280.460 + 0.9856474 * n, g = (357.528 + 0.9856003 * n) * kDeg;
    const double lambda = (L + 1.915 * std::sin(g) + 0.020 * std::sin(2 * g)) * kDeg;
    const double eps = (23.439 - 0.0000004 * n) * kDeg;
    const double ra = std::atan2(std::cos(eps) * std::sin(lambda), std::cos(lambda)) / kDeg;
    const double dec = std::asin(std::sin(eps) * std::sin(lambda));
    // The equation of time in degrees: mean minus true right ascension.
    const double eot = std::remainder(L - ra, 360.0);
    const double phi = site_.latitude * kDeg;
    const double h0 = astronomy::kSunUpAltitude * kDeg;
    const double H0 = std::acos((std::sin(h0) - std::sin(phi) * std::sin(dec)) /
                                (std::cos(phi) * std::cos(dec))) / kDeg;
    const double transit = noon_jd - eot / 360;
    return transit + (rising ? -H0 : H0) / 360;
}

Site delhi(const Context& ctx) {
    return {ctx.earth + ctx.delhi, astronomy::kDelhiLatitudeDeg, astronomy::kDelhiLongitudeDeg};
}

Site site_of(const Context& ctx, Where where) {
    using namespace pybind11::literals;
    static constexpr const astronomy::Place* kPlaces[] = {nullptr, &astronomy::kMumbai, &astronomy::kBengaluru,
                                                          &astronomy::kChennai, &astronomy::kHyderabad,
                                                          &astronomy::kThiruvananthapuram, &astronomy::kKozhikode};
    const astronomy::Place* place = kPlaces[static_cast<int>(where)];
    if (place == nullptr) return delhi(ctx);
    py::object topos = py::module_::import("skyfield.api").attr("Topos")(
        "latitude_degrees"_a = place->latitude, "longitude_degrees"_a = place->longitude,
        "elevation_m"_a = place->elevation_m);
    return {ctx.earth + topos, place->latitude, place->longitude};
}

std::vector<double> altitudes(const Context& ctx, const Site& site, py::handle body, const std::vector<double>& tt) {
    return astronomy::apparent_altitudes(site.observer, body, astronomy::times_tt(ctx, tt));
}

double share(const Span& s, const Span& period) {
    const double overlap = std::min(s.end, period.end) - std::max(s.begin, period.begin);
    return overlap > 0 ? overlap / period.length() : 0;
}

double approx_tt(DayNumber d, double hours) {
    return astronomy::kUnixEpochJd + static_cast<double>(d) + (hours - kIstHours) / 24;
}

DayNumber day_of_ut(double ut) {
    return static_cast<DayNumber>(std::floor(ut - astronomy::kUnixEpochJd + kIstHours / 24));
}

void Days::need(DayNumber first, DayNumber last) {
    for (DayNumber d = first; d <= last; ++d) {
        if (!rise_.count(d)) rises_wanted_.insert(d);
        if (!rise_.count(d + 1)) rises_wanted_.insert(d + 1);
        if (!set_.count(d)) sets_wanted_.insert(d);
    }
}

void Days::need_sunrises(DayNumber first, DayNumber last) {
    for (DayNumber d = first; d <= last; ++d)
        if (!rise_.count(d)) rises_wanted_.insert(d);
}

void Days::need_sunsets(DayNumber first, DayNumber last) {
    for (DayNumber d = first; d <= last; ++d)
        if (!set_.count(d)) sets_wanted_.insert(d);
}

void Days::compute(const Context& ctx) {
    std::vector<DayNumber> which;
    std::vector<double> guesses;
    for (DayNumber d : rises_wanted_) {
        which.push_back(d);
        guesses.push_back(guess(d, true));
    }
    const std::size_t rises = which.size();
    for (DayNumber d : sets_wanted_) {
        which.push_back(d);
        guesses.push_back(guess(d, false));
    }
    rises_wanted_.clear();
    sets_wanted_.clear();
    if (which.empty()) return;
    // From guesses a minute or two off.
    std::vector<double> when =
        astronomy::horizon_crossings(ctx, site_.observer, ctx.sun, guesses, astronomy::Slope::once);
    for (std::size_t i = 0; i < which.size(); ++i) {
        // A search that wandered to another crossing would shift a whole day.
        if (std::fabs(when[i] - guesses[i]) > kFarthestFromGuess)
            throw std::runtime_error("sunrise or sunset search left its day: " + std::to_string(which[i]));
        (i < rises ? rise_ : set_)[which[i]] = when[i];
    }
}

namespace {

double known(const std::map<DayNumber, double>& table, DayNumber d, const char* what) {
    auto it = table.find(d);
    if (it == table.end())
        throw std::logic_error(std::string(what) + " of civil day " + std::to_string(d) + " was not computed");
    return it->second;
}

}  // namespace

double Days::sunrise(DayNumber d) const { return known(rise_, d, "sunrise"); }
double Days::sunset(DayNumber d) const { return known(set_, d, "sunset"); }

}  // namespace observed
