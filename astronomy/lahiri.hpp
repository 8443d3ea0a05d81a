// astronomy/lahiri.hpp: sidereal longitudes by the Lahiri ayanamsha as India's
// almanacs define it, for the solar calendars, whose months begin at the hour
// the Sun enters a sign, and the nakshatras counted in them.
//
// The column's own sidereal longitude (__get_nirayana_lon) takes its ayanamsha
// from J2000 ecliptic longitudes, which puts the Sun up to 1.8 degrees (in
// 1900) off the published Lahiri positions: hours or days in an ingress.  The
// lunar months, named as the column names them, keep the column's longitude.
#pragma once

#include "astronomy/batch.hpp"

#include <vector>

namespace astronomy {

/// The mean Lahiri ayanamsha in degrees at TT Julian date `tt`.
double lahiri_mean_ayanamsha(double tt);

/// The apparent geocentric longitude of date of `body` (ctx.sun, ctx.moon)
/// less the true Lahiri ayanamsha (the mean one plus the nutation in
/// longitude), in degrees, at each TT instant.
std::vector<double> lahiri_longitudes(const Context& ctx, py::handle body, const std::vector<double>& tt);

}  // namespace astronomy
