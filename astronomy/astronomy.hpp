// astronomy/astronomy.hpp: the astronomy context of a Tavrolen object, the
// sidereal longitude of a body, and sunset at the Delhi observer.
#pragma once

#include "runtime/method.hpp"

namespace astronomy {

using runtime::Args;
using runtime::Call;
namespace py = pybind11;

/// __initialize_astronomy(self): loads ephemeris, bodies, timescale, observer and
/// zone onto the object, once, and whole or not at all.
py::object initialize_astronomy(Call& call, Args a);

/// __get_nirayana_lon(self, target, time_obj): Lahiri sidereal ecliptic longitude,
/// for a scalar or an array Time alike.
py::object get_nirayana_lon(Call& call, Args a);

/// __get_sunset(self, g_date): the first sunset of the local civil day, or None.
py::object get_sunset(Call& call, Args a);

/// The Lahiri ayanamsha in degrees at `tt`, a Terrestrial Time Julian date: the
/// arithmetic of __get_nirayana_lon on one float.
double lahiri_ayanamsha(double tt);

}  // namespace astronomy
