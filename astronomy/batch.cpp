// astronomy/batch.cpp: sidereal longitudes, new moons and solar altitudes of many
// moments at once.
#include "astronomy/batch.hpp"

#include "astronomy/astronomy.hpp"
#include "runtime/pyops.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>

namespace astronomy {

namespace {

// Skyfield's almanac functions set these nutation angles on the times they are
// given before computing apparent positions; the batch does the same.
py::object with_almanac_nutation(py::object t) {
    t.attr("_nutation_angles_radians") =
        py::module_::import("skyfield.nutationlib").attr("iau2000b_radians")(t);
    return t;
}

// Mean synodic month and a mean new moon (TT Julian date), for first guesses.
constexpr double kSynodicMonth = 29.530588853;
constexpr double kMeanNewMoon = 2451550.09766;

// Moon minus Sun in apparent ecliptic longitude of date, as almanac.moon_phases
// measures it, wrapped to [-pi, pi).
std::vector<double> elongations(const Context& ctx, const std::vector<double>& tt) {
    py::object t = with_almanac_nutation(times_tt(ctx, tt));
    py::object ecliptic = py::module_::import("skyfield.framelib").attr("ecliptic_frame");
    py::object e = ctx.eph["earth"].attr("at")(t);
    auto longitude = [&](const char* body) {
        auto latlon = runtime::unpack<3>(
            e.attr("observe")(ctx.eph[body]).attr("apparent")().attr("frame_latlon")(ecliptic));
        return to_vector(latlon[1].attr("radians"));
    };
    std::vector<double> moon = longitude("moon"), sun = longitude("sun");
    std::vector<double> out(tt.size());
    constexpr double pi = std::numbers::pi;
    for (std::size_t i = 0; i < tt.size(); ++i)
        out[i] = runtime::floored_mod(moon[i] - sun[i] + pi, 2 * pi) - pi;
    return out;
}

}  // namespace

std::vector<double> to_vector(py::handle values) {
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    Doubles array = Doubles::ensure(values);
    if (!array) throw py::error_already_set();
    return std::vector<double>(array.data(), array.data() + array.size());
}

py::object times_tt(const Context& ctx, const std::vector<double>& tt) {
    return ctx.ts.attr("tt_jd")(py::array_t<double>(static_cast<py::ssize_t>(tt.size()), tt.data()));
}

std::vector<double> nirayana_longitudes(const Context& ctx, py::handle target, py::handle t) {
    auto latlon = runtime::unpack<3>(
        ctx.earth.attr("at")(t).attr("observe")(target).attr("ecliptic_latlon")());
    std::vector<double> lon = to_vector(latlon[1].attr("degrees"));
    std::vector<double> tt = to_vector(py::reinterpret_borrow<py::object>(t).attr("tt"));
    for (std::size_t i = 0; i < lon.size(); ++i)
        lon[i] = runtime::floored_mod(lon[i] - lahiri_ayanamsha(tt[i]), 360.0);
    return lon;
}

std::vector<double> new_moons_around(const Context& ctx, const std::vector<double>& tts) {
    std::set<long long> lunations;
    for (double tt : tts) {
        long long k = static_cast<long long>(std::floor((tt - kMeanNewMoon) / kSynodicMonth));
        lunations.insert({k - 1, k, k + 1});
    }
    std::vector<double> t;
    for (long long k : lunations) t.push_back(kMeanNewMoon + kSynodicMonth * static_cast<double>(k));
    // The true new moon is within a day of the mean one, where the elongation is
    // a smooth function crossing zero: Newton's method with a numerical slope.
    // Quadratic convergence takes a guess a day off to 1e-9 days in about five
    // steps; twelve without converging means the function is not what it should be.
    constexpr double h = 1e-3, tolerance = 1e-9;
    constexpr int kMaxIterations = 12;
    for (int iteration = 0;; ++iteration) {
        std::vector<double> shifted(t);
        for (double& x : shifted) x += h;
        std::vector<double> f = elongations(ctx, t), g = elongations(ctx, shifted);
        double largest = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            double step = f[i] / ((g[i] - f[i]) / h);
            t[i] -= step;
            largest = std::max(largest, std::fabs(step));
        }
        if (largest < tolerance) break;
        if (iteration == kMaxIterations || !std::isfinite(largest))
            throw std::runtime_error("new moon search did not converge");
    }
    std::sort(t.begin(), t.end());
    return t;
}

std::vector<double> sun_altitudes(const Context& ctx, py::handle t) {
    py::object time = with_almanac_nutation(py::reinterpret_borrow<py::object>(t));
    py::object observer = py::object(ctx.eph["earth"]) + ctx.delhi;
    auto altaz = runtime::unpack<3>(observer.attr("at")(time)
                                      .attr("observe")(ctx.eph["sun"])
                                      .attr("apparent")()
                                      .attr("altaz")());
    return to_vector(altaz[0].attr("degrees"));
}

}  // namespace astronomy

namespace astronomy {

std::pair<double, double> batch_span(const Context& ctx) {
    double first = -INFINITY, last = INFINITY;
    py::object segments = runtime::getattr_or_absent(ctx.eph, "segments");
    if (!segments) return {INFINITY, -INFINITY};
    for (py::handle segment : segments) {
        py::object spk = segment.attr("spk_segment");
        first = std::max(first, runtime::as_double(spk.attr("start_jd")));
        last = std::min(last, runtime::as_double(spk.attr("end_jd")));
    }
    return {first + kBatchReachDays, last - kBatchReachDays};
}

}  // namespace astronomy
