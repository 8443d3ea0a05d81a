// astronomy/batch.cpp: sidereal longitudes, new moons and solar altitudes of many
// moments at once.
#include "astronomy/batch.hpp"

#include "astronomy/astronomy.hpp"
#include "astronomy/internals.hpp"
#include "astronomy/roots.hpp"
#include "runtime/pyops.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>

namespace astronomy {

namespace {

// A mean new moon (TT Julian date), the epoch of Meeus's lunation count.
constexpr double kMeanNewMoon = 2451550.09766;

// The new moon of lunation k (counted from 2000 January 6) to within a few
// minutes: the mean phase and the largest periodic terms of Meeus, Astronomical
// Algorithms (2nd ed.), chapter 49.  Only a first guess for the search.
double new_moon_guess(long long k) {
    const double kk = static_cast<double>(k), T = kk / 1236.85;
    const double rad = std::numbers::pi / 180;
    const double E = 1 - 0.002516 * T - 0.0000074 * T * T;
    const double M = (2.5534 + 29.10535670 * kk - 0.0000014 * T * T) * rad;        // Sun's anomaly
    const double Mp = (201.5643 + 385.81693528 * kk + 0.0107582 * T * T) * rad;    // Moon's anomaly
    const double F = (160.7108 + 390.67050284 * kk - 0.0016118 * T * T) * rad;     // argument of latitude
    const double Om = (124.7746 - 1.56375588 * kk + 0.0020672 * T * T) * rad;      // ascending node
    return kMeanNewMoon + kSynodicMonth * kk + 0.00015437 * T * T - 0.40720 * std::sin(Mp) +
           0.17241 * E * std::sin(M) + 0.01608 * std::sin(2 * Mp) + 0.01039 * std::sin(2 * F) +
           0.00739 * E * std::sin(Mp - M) - 0.00514 * E * std::sin(Mp + M) +
           0.00208 * E * E * std::sin(2 * M) - 0.00111 * std::sin(Mp - 2 * F) -
           0.00057 * std::sin(Mp + 2 * F) + 0.00056 * E * std::sin(2 * Mp + M) -
           0.00042 * std::sin(3 * Mp) + 0.00042 * E * std::sin(M + 2 * F) +
           0.00038 * E * std::sin(M - 2 * F) - 0.00024 * E * std::sin(2 * Mp - M) -
           0.00017 * std::sin(Om);
}

}  // namespace

std::pair<std::vector<double>, std::vector<double>> apparent_elongations(
    const Context& ctx, const std::vector<double>& tt) {
    py::object t = with_almanac_nutation(times_tt(ctx, tt));
    py::object ecliptic = py::module_::import("skyfield.framelib").attr("ecliptic_frame");
    py::object e = ctx.eph["earth"].attr("at")(t);
    auto longitude = [&](const char* body) {
        auto latlon = latlon_and_rates(e.attr("observe")(ctx.eph[body]).attr("apparent")(), ecliptic);
        return std::make_pair(to_vector(latlon[1].attr("radians")),
                              to_vector(latlon[4].attr("radians").attr("per_day")));
    };
    auto [moon, moon_rate] = longitude("moon");
    auto [sun, sun_rate] = longitude("sun");
    constexpr double pi = std::numbers::pi;
    for (std::size_t i = 0; i < tt.size(); ++i) {
        moon[i] = runtime::floored_mod(moon[i] - sun[i] + pi, 2 * pi) - pi;
        moon_rate[i] -= sun_rate[i];
    }
    return {moon, moon_rate};
}

std::vector<double> to_vector(py::handle values) {
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    Doubles array = Doubles::ensure(values);
    if (!array) throw py::error_already_set();
    return std::vector<double>(array.data(), array.data() + array.size());
}

py::object times_tt(const Context& ctx, const std::vector<double>& tt) {
    return ctx.ts.attr("tt_jd")(py::array_t<double>(static_cast<py::ssize_t>(tt.size()), tt.data()));
}

namespace {

// The sidereal longitude of `target` seen from `earth` (the Earth placed at the
// Time array `t`), with __get_nirayana_lon's calls and arithmetic.
std::vector<double> nirayana_from(py::handle earth, py::handle target, const std::vector<double>& tt) {
    auto latlon = runtime::unpack<3>(earth.attr("observe")(target).attr("ecliptic_latlon")());
    std::vector<double> lon = to_vector(latlon[1].attr("degrees"));
    for (std::size_t i = 0; i < lon.size(); ++i)
        lon[i] = runtime::floored_mod(lon[i] - lahiri_ayanamsha(tt[i]), 360.0);
    return lon;
}

}  // namespace

std::vector<double> nirayana_longitudes(const Context& ctx, py::handle target, py::handle t) {
    std::vector<double> tt = to_vector(py::reinterpret_borrow<py::object>(t).attr("tt"));
    return nirayana_from(ctx.earth.attr("at")(t), target, tt);
}

std::pair<std::vector<double>, std::vector<double>> nirayana_sun_moon(const Context& ctx,
                                                                     py::handle t) {
    std::vector<double> tt = to_vector(py::reinterpret_borrow<py::object>(t).attr("tt"));
    py::object earth = ctx.earth.attr("at")(t);
    return {nirayana_from(earth, ctx.sun, tt), nirayana_from(earth, ctx.moon, tt)};
}


std::vector<double> new_moons_between(const Context& ctx, double first_tt, double last_tt) {
    // The lunations that touch the span, and one on either side.
    long long first = static_cast<long long>(std::floor((first_tt - kMeanNewMoon) / kSynodicMonth));
    long long last = static_cast<long long>(std::floor((last_tt - kMeanNewMoon) / kSynodicMonth));
    std::vector<double> t;
    for (long long k = first - 1; k <= last + 1; ++k) t.push_back(new_moon_guess(k));
    // Near the guess the elongation is a smooth function crossing zero: Newton's
    // method with the elongation's own rate, one evaluation a step.
    auto steps = [&](const std::vector<double>& x) {
        auto [f, rate] = apparent_elongations(ctx, x);
        for (std::size_t i = 0; i < x.size(); ++i) f[i] /= rate[i];
        return f;
    };
    t = newton(steps, std::move(t));
    std::sort(t.begin(), t.end());
    return t;
}

std::vector<double> nirayana_elongations(const Context& ctx, const std::vector<double>& tt) {
    auto [sun, moon] = nirayana_sun_moon(ctx, times_tt(ctx, tt));
    for (std::size_t i = 0; i < tt.size(); ++i)
        moon[i] = runtime::floored_mod(moon[i] - sun[i], 360.0);
    return moon;
}

std::vector<TithiChange> tithi_changes(const Context& ctx, double first_tt, double last_tt) {
    // The elongation grows by 10 to 16 degrees a day: sampled every quarter day,
    // no interval holds two changes, and a wrap past 360 is a change to tithi 1.
    constexpr double kStep = 0.25;
    std::vector<double> grid;
    for (double x = first_tt; x < last_tt + kStep; x += kStep) grid.push_back(x);
    std::vector<double> e = nirayana_elongations(ctx, grid);
    std::vector<double> guesses;
    std::vector<int> starts;
    for (std::size_t i = 1; i < grid.size(); ++i) {
        int before = static_cast<int>(e[i - 1] / kTithiDegrees) % 30;
        int after = static_cast<int>(e[i] / kTithiDegrees) % 30;
        if (before == after) continue;
        // Where the line through the two samples reaches the boundary.
        double target = after * kTithiDegrees;
        double rise = runtime::floored_mod(e[i] - e[i - 1], 360.0);
        double part = runtime::floored_mod(target - e[i - 1], 360.0);
        guesses.push_back(grid[i - 1] + kStep * part / rise);
        starts.push_back(after);
    }
    auto residual = [&](const std::vector<double>& x) {
        std::vector<double> r = nirayana_elongations(ctx, x);
        for (std::size_t i = 0; i < x.size(); ++i)
            r[i] = runtime::floored_mod(r[i] - starts[i] * kTithiDegrees + 180.0, 360.0) - 180.0;
        return r;
    };
    std::vector<double> when = refine_roots(residual, guesses);
    std::vector<TithiChange> out(when.size());
    for (std::size_t i = 0; i < when.size(); ++i) out[i] = {when[i], starts[i]};
    std::sort(out.begin(), out.end(), [](const TithiChange& a, const TithiChange& b) { return a.tt < b.tt; });
    return out;
}

std::vector<double> apparent_altitudes(py::handle observer, py::handle body, py::handle t) {
    py::object time = with_almanac_nutation(py::reinterpret_borrow<py::object>(t));
    auto altaz = runtime::unpack<3>(py::reinterpret_borrow<py::object>(observer)
                                      .attr("at")(time)
                                      .attr("observe")(body)
                                      .attr("apparent")()
                                      .attr("altaz")());
    return to_vector(altaz[0].attr("degrees"));
}

std::vector<double> horizon_crossings(const Context& ctx, py::handle observer, py::handle body,
                                      std::vector<double> guesses, Slope slope) {
    auto residual = [&](const std::vector<double>& x) {
        std::vector<double> alt = apparent_altitudes(observer, body, times_tt(ctx, x));
        for (double& a : alt) a -= kSunUpAltitude;
        return alt;
    };
    return slope == Slope::every_step ? refine_roots(residual, std::move(guesses))
                                      : chord_roots(residual, std::move(guesses));
}

namespace {

// The observer and the Sun as the one-date path reads them.
py::object delhi_observer(const Context& ctx) { return py::object(ctx.eph["earth"]) + ctx.delhi; }

}  // namespace

std::vector<double> sun_crossings_near(const Context& ctx, const std::vector<double>& guesses) {
    return horizon_crossings(ctx, delhi_observer(ctx), ctx.eph["sun"], guesses, Slope::every_step);
}

std::vector<double> sun_altitudes(const Context& ctx, py::handle t) {
    return apparent_altitudes(delhi_observer(ctx), ctx.eph["sun"], t);
}

}  // namespace astronomy

namespace astronomy {

std::pair<double, double> batch_span(const Context& ctx) {
    auto [first, last] = ephemeris_coverage(ctx);
    return {first + kBatchReachDays, last - kBatchReachDays};
}

}  // namespace astronomy
