// astronomy/internals.cpp: every non-public name of Skyfield and pytz that the
// batch reads, and the check that they still mean what it takes them to mean.
#include "astronomy/internals.hpp"

#include "astronomy/civil.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <climits>
#include <numbers>

namespace astronomy {

using namespace pybind11::literals;

py::object with_almanac_nutation(py::object t) {
    // almanac.sunrise_sunset and almanac.moon_phases store these angles on the
    // Time before computing apparent positions (skyfield/almanac.py).
    t.attr("_nutation_angles_radians") =
        py::module_::import("skyfield.nutationlib").attr("iau2000b_radians")(t);
    return t;
}

std::vector<double> nutation_in_longitude(py::handle t) {
    return to_vector(t.attr("_nutation_angles_radians")[py::int_(0)]);
}

std::array<py::object, 6> latlon_and_rates(py::handle position, py::handle frame) {
    return runtime::unpack<6>(position.attr("frame_latlon_and_rates")(frame));
}

std::pair<double, double> ephemeris_coverage(const Context& ctx) {
    double first = -INFINITY, last = INFINITY;
    py::object segments = runtime::getattr_or_absent(ctx.eph, "segments");
    if (!segments) return {INFINITY, -INFINITY};
    for (py::handle segment : segments) {
        py::object spk = segment.attr("spk_segment");  // jplephem's segment
        first = std::max(first, runtime::as_double(spk.attr("start_jd")));
        last = std::min(last, runtime::as_double(spk.attr("end_jd")));
    }
    return {first, last};
}

namespace {

long long seconds_of(py::handle timedelta) {
    return timedelta.attr("days").cast<long long>() * kSecondsPerDay +
           timedelta.attr("seconds").cast<long long>();
}

// Seconds since 1970-01-01 00:00 of a naive datetime's fields.
long long epoch_seconds(py::handle dt) {
    return days_from_civil(dt.attr("year").cast<long long>(), dt.attr("month").cast<int>(),
                           dt.attr("day").cast<int>()) * kSecondsPerDay +
           dt.attr("hour").cast<long long>() * 3600 + dt.attr("minute").cast<long long>() * 60 +
           dt.attr("second").cast<long long>();
}

}  // namespace

std::optional<std::vector<ZoneStretch>> zone_stretches(py::handle zone) {
    // pytz's DstTzInfo: _utc_transition_times[k] (naive UTC datetimes) starts the
    // stretch whose (utcoffset, dst, tzname) is _transition_info[k].  StaticTzInfo:
    // one _utcoffset.
    py::object times = runtime::getattr_or_absent(zone, "_utc_transition_times");
    py::object info = runtime::getattr_or_absent(zone, "_transition_info");
    std::vector<ZoneStretch> out;
    if (!times || !info) {
        py::object offset = runtime::getattr_or_absent(zone, "_utcoffset");
        if (!offset) return std::nullopt;
        out.push_back({LLONG_MIN, seconds_of(offset)});
        return out;
    }
    if (py::len(times) != py::len(info) || py::len(times) == 0) return std::nullopt;
    for (std::size_t k = 0; k < py::len(times); ++k)
        out.push_back({epoch_seconds(times[py::int_(k)]), seconds_of(info[py::int_(k)][py::int_(0)])});
    out.front().utc_start = LLONG_MIN;  // the first stretch reaches back without end
    return out;
}

namespace {

// Our elongation and its rate (internal names) against the public ecliptic
// longitudes of date and their slope over two minutes: within 1e-7 radians (0.02
// arcseconds, 0.04 s of lunar motion, far inside the batch's margins) and 1%.
const char* elongation_disagrees(const Context& ctx) {
    const std::vector<double> tt = {2415100.3, 2451550.1, 2469000.7};
    auto [elong, rate] = apparent_elongations(ctx, tt);
    py::object ecliptic = py::module_::import("skyfield.framelib").attr("ecliptic_frame");
    auto public_elongation = [&](double t) {
        py::object time = ctx.ts.attr("tt_jd")(t);
        py::object earth = ctx.eph["earth"].attr("at")(time);
        auto lon = [&](const char* body) {
            auto latlon = runtime::unpack<3>(
                earth.attr("observe")(ctx.eph[body]).attr("apparent")().attr("frame_latlon")(ecliptic));
            return runtime::as_double(latlon[1].attr("radians"));
        };
        constexpr double pi = std::numbers::pi;
        return runtime::floored_mod(lon("moon") - lon("sun") + pi, 2 * pi) - pi;
    };
    constexpr double kMinute = 1.0 / 1440;
    for (std::size_t i = 0; i < tt.size(); ++i) {
        double here = public_elongation(tt[i]);
        if (!(std::fabs(here - elong[i]) < 1e-7)) return "apparent elongation";
        double slope = (public_elongation(tt[i] + kMinute) - public_elongation(tt[i] - kMinute)) /
                       (2 * kMinute);
        if (!(std::fabs(slope - rate[i]) < 0.01 * std::fabs(slope))) return "elongation rate";
    }
    return nullptr;
}

// The Sun's altitude with the almanac's nutation against the public one: within
// 1e-6 degrees (the nutation models differ by a milliarcsecond).
const char* altitude_disagrees(const Context& ctx) {
    const std::vector<double> tt = {2415100.3, 2451550.1, 2469000.7};
    std::vector<double> ours = sun_altitudes(ctx, times_tt(ctx, tt));
    py::object observer = py::object(ctx.eph["earth"]) + ctx.delhi;
    for (std::size_t i = 0; i < tt.size(); ++i) {
        auto altaz = runtime::unpack<3>(observer.attr("at")(ctx.ts.attr("tt_jd")(tt[i]))
                                            .attr("observe")(ctx.eph["sun"]).attr("apparent")()
                                            .attr("altaz")());
        if (!(std::fabs(runtime::as_double(altaz[0].attr("degrees")) - ours[i]) < 1e-6))
            return "solar altitude";
    }
    return nullptr;
}

// Positions can be computed a day inside the coverage and not a month beyond it
// (the last records of a segment may reach a few days past its end).
const char* coverage_disagrees(const Context& ctx) {
    constexpr double kBeyond = 30;
    auto [first, last] = ephemeris_coverage(ctx);
    if (!(first < last)) return "ephemeris coverage";
    auto computes = [&](double tdb) {
        try {
            ctx.eph["earth"].attr("at")(ctx.ts.attr("tdb_jd")(tdb));
            return true;
        } catch (py::error_already_set& e) {
            if (!e.matches(PyExc_Exception)) throw;
            return false;
        }
    };
    if (!computes(first + 1) || !computes(last - 1) || computes(last + kBeyond))
        return "ephemeris coverage";
    return nullptr;
}

// Each stretch of the zone, at a wall-clock time well inside it, against
// localize().
const char* zone_disagrees(const Context& ctx) {
    std::optional<std::vector<ZoneStretch>> stretches = zone_stretches(ctx.ist);
    if (!stretches) return "time zone tables";
    constexpr long long kYear = 365 * kSecondsPerDay;
    py::object datetime = py::module_::import("datetime").attr("datetime");
    const std::vector<ZoneStretch>& s = *stretches;
    for (std::size_t k = 0; k < s.size(); ++k) {
        long long start = k == 0 ? s[1 % s.size()].utc_start - 2 * kYear : s[k].utc_start;
        long long end = k + 1 < s.size() ? s[k + 1].utc_start : start + 2 * kYear;
        if (s.size() == 1) start = 0, end = 2 * kYear;
        if (end - start < 4 * kSecondsPerDay) continue;  // too short to hold a clear time
        long long local = (start + end) / 2 + s[k].offset;
        long long day = floor_div(local, kSecondsPerDay), of_day = local - day * kSecondsPerDay;
        Civil c = civil_from_days(day);
        py::object naive = datetime(c.y, c.m, c.d, of_day / 3600, of_day / 60 % 60, of_day % 60);
        if (seconds_of(ctx.ist.attr("localize")(naive).attr("utcoffset")()) != s[k].offset)
            return "time zone tables";
    }
    return nullptr;
}

}  // namespace

const char* internals_disagree(const Context& ctx) {
    // Checked once per process: what the libraries mean by these names does not
    // change while they stay loaded.  (Two threads may both check at first; they
    // come to the same answer.)
    static bool checked = false;
    static const char* reason = nullptr;
    if (checked) return reason;
    const char* found = nullptr;
    try {
        for (auto check : {elongation_disagrees, altitude_disagrees, coverage_disagrees,
                           zone_disagrees}) {
            found = check(ctx);
            if (found) break;
        }
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;  // an interrupt decides nothing
        found = "library internals unavailable";
    }
    reason = found;
    checked = true;
    return reason;
}

}  // namespace astronomy
