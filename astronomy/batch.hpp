// astronomy/batch.hpp: the astronomy of many moments at once, through Skyfield's
// array calls: sidereal longitudes, new moons, and the Sun's altitude at the
// observer.  Each mirrors a one-moment quantity of the methods and, measured
// against it, agrees to within the margins that frame/decide.cpp documents.
#pragma once

#include "astronomy/context.hpp"

#include <pybind11/pybind11.h>

#include <utility>
#include <vector>

namespace astronomy {

namespace py = pybind11;

/// The values of a NumPy array (or anything it converts from) as doubles.
std::vector<double> to_vector(py::handle values);

/// A Skyfield Time array of the TT Julian dates `tt`.
py::object times_tt(const Context& ctx, const std::vector<double>& tt);

/// Sidereal longitude of `target` at each moment of the Skyfield Time array `t`,
/// with the same calls and arithmetic as __get_nirayana_lon makes for one moment.
std::vector<double> nirayana_longitudes(const Context& ctx, py::handle target, py::handle t);

/// The Sun's and the Moon's sidereal longitudes at each moment of `t`, the Earth
/// placed once for both.
std::pair<std::vector<double>, std::vector<double>> nirayana_sun_moon(const Context& ctx,
                                                                     py::handle t);

/// The mean synodic month in days: the one home of this constant.
inline constexpr double kSynodicMonth = 29.530588861;

/// Moon minus Sun in apparent ecliptic longitude of date, as almanac.moon_phases
/// measures it, wrapped to [-pi, pi), and its rate in radians a day (from the
/// velocities: within 1e-4 of the numerical slope, enough for Newton's method).
std::pair<std::vector<double>, std::vector<double>> apparent_elongations(
    const Context& ctx, const std::vector<double>& tt);

/// TT Julian dates, ascending, of the new moons as almanac.moon_phases defines them
/// (apparent ecliptic longitudes of date of Moon and Sun equal), of every lunation
/// that touches the span and of the lunations on either side.  Found by Newton's
/// method on the elongation, to better than 1e-9 days.
std::vector<double> new_moons_between(const Context& ctx, double first_tt, double last_tt);

/// Degrees of Sun-Moon elongation per tithi.
inline constexpr double kTithiDegrees = 12;

/// The elongation (sidereal Moon minus Sun, floored into [0, 360)) at each TT
/// instant, as __get_accurate_panchang computes it for one moment.
std::vector<double> nirayana_elongations(const Context& ctx, const std::vector<double>& tt);

/// An instant where the elongation reaches start * 12 degrees: tithi start + 1
/// begins.
struct TithiChange {
    double tt;
    int start;  ///< 0 to 29
};

/// Every tithi change in the span, ascending, each to better than 1e-9 days.
std::vector<TithiChange> tithi_changes(const Context& ctx, double first_tt, double last_tt);

/// How a root search takes each root's slope: anew at every step (Newton's
/// method, as the one-date path converges), or once at the guesses (the chord
/// method: one array call fewer a step, for the calendars of whole years).
enum class Slope { every_step, once };

/// The apparent altitude in degrees, without refraction, of `body` seen from
/// `observer` (a Skyfield vector from the barycentre) at each moment of the
/// Time array `t`, evaluated as almanac.sunrise_sunset's predicate evaluates it.
std::vector<double> apparent_altitudes(py::handle observer, py::handle body, py::handle t);

/// The instants near `guesses` (TT Julian dates, each within an hour or two of
/// the crossing) where `body`, seen from `observer`, crosses
/// almanac.sunrise_sunset's threshold altitude, rising or setting: sunrise and
/// sunset, or the Moon's rising and setting taken the same way.
std::vector<double> horizon_crossings(const Context& ctx, py::handle observer, py::handle body,
                                      std::vector<double> guesses, Slope slope);

/// Sunrises and sunsets at the observer near `guesses`, to better than 1e-9 days.
std::vector<double> sun_crossings_near(const Context& ctx, const std::vector<double>& guesses);

/// The Sun's apparent altitude in degrees at the observer at each moment of `t`.
std::vector<double> sun_altitudes(const Context& ctx, py::handle t);

/// How far from a moment the batch's array calls reach: the new moons of the
/// lunations on either side of it, and the Newton steps around them.
inline constexpr double kBatchReachDays = 62;

/// The Julian dates of the moments whose batch computation stays inside the
/// ephemeris of `ctx` (an empty span if it cannot tell).
std::pair<double, double> batch_span(const Context& ctx);

/// almanac.sunrise_sunset's threshold: the Sun is up at this altitude or above.
inline constexpr double kSunUpAltitude = -0.8333;

}  // namespace astronomy
