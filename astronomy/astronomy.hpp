// astronomy/astronomy.hpp: the astronomy context of a Tavrolen object, the
// sidereal longitude of a body, and sunset at the Delhi observer.
#pragma once

#include "frame/method.hpp"

namespace astronomy {

using frame::Args;
using frame::Call;
namespace py = pybind11;

/// __initialize_astronomy(self): loads ephemeris, bodies, timescale, observer and
/// zone onto the object, once.
py::object initialize_astronomy(Call& call, Args a);

/// __get_nirayana_lon(self, target, time_obj): Lahiri sidereal ecliptic longitude.
py::object get_nirayana_lon(Call& call, Args a);

/// __get_sunset(self, g_date): the first sunset of the local civil day, or None.
py::object get_sunset(Call& call, Args a);

/// The Lahiri ayanamsha in degrees at `tt`, a Terrestrial Time Julian date.
double lahiri_ayanamsha(double tt);

}  // namespace astronomy
