// astronomy/lahiri.cpp: the Lahiri ayanamsha and the Sun's sidereal longitude.
#include "astronomy/lahiri.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/internals.hpp"
#include "runtime/pyops.hpp"

#include <numbers>

namespace astronomy {

namespace {

// The Calendar Reform Committee's definition, as the Positional Astronomy
// Centre states it (A. K. Bhatnagar, "Effect of the new equinox definition on
// the zero-point of longitude of the Indian calendar", IAU Symposium 141): the
// zero point is the point of the ecliptic whose true tropical longitude was
// 23 deg 15' 00" on 1956 March 21, 0h ET, carried with the general precession.
// The mean ayanamsha at that instant is that less the nutation in longitude
// then, +16.78".  Sankrantis are apparent (Sewell and Dikshit, The Indian
// Calendar, art. 27): the Sun's apparent longitude less the true ayanamsha.
constexpr double kLahiriEpoch = 2435553.5;
constexpr double kLahiriTrueAtEpoch = 23 * 3600 + 15 * 60;  // arcseconds
constexpr double kNutationAtEpoch = 16.78;                   // arcseconds

// The general precession in longitude from J2000 in arcseconds, T in Julian
// centuries of TT (IAU 2006, Capitaine et al. 2003, p_A).
double general_precession(double T) {
    return ((((-0.0000000434 * T - 0.000000578) * T + 0.00002000) * T + 0.00007964) * T + 1.1054348) * T * T +
           5028.796195 * T;
}

}  // namespace

double lahiri_mean_ayanamsha(double tt) {
    const double T = (tt - kJ2000) / kDaysPerCentury, T0 = (kLahiriEpoch - kJ2000) / kDaysPerCentury;
    return (kLahiriTrueAtEpoch - kNutationAtEpoch + general_precession(T) - general_precession(T0)) /
           kArcsecondsPerDegree;
}

std::vector<double> lahiri_longitudes(const Context& ctx, py::handle body, const std::vector<double>& tt) {
    py::object t = with_almanac_nutation(times_tt(ctx, tt));
    py::object ecliptic = py::module_::import("skyfield.framelib").attr("ecliptic_frame");
    py::object position = ctx.earth.attr("at")(t).attr("observe")(body).attr("apparent")();
    // Longitude on the true ecliptic and equinox of date.
    std::vector<double> lon =
        to_vector(runtime::unpack<3>(position.attr("frame_latlon")(ecliptic))[1].attr("degrees"));
    std::vector<double> dpsi = nutation_in_longitude(t);
    for (std::size_t i = 0; i < tt.size(); ++i)
        lon[i] = runtime::floored_mod(lon[i] - dpsi[i] * 180 / std::numbers::pi - lahiri_mean_ayanamsha(tt[i]),
                                      360.0);
    return lon;
}

}  // namespace astronomy
