// astronomy/astronomy.cpp: astronomy context, sidereal longitude, sunset.
#include "astronomy/astronomy.hpp"

#include "frame/module.hpp"
#include "frame/pyops.hpp"

namespace astronomy {

using namespace pybind11::literals;
using frame::rich_compare;
using frame::truthy;
using frame::unpack;

py::object initialize_astronomy(Call& call, Args a) {
    py::handle self = a[0];
    call.at(1);
    if (frame::has_attr(self, "_EPH")) return py::none();
    // Each value is stored as soon as it is made: a failure leaves the earlier ones.
    call.at(2);
    self.attr("_EPH") = call.global("load")("de421.bsp");
    call.at(3);
    self.attr("_SUN") = self.attr("_EPH")["sun"];
    call.at(4);
    self.attr("_MOON") = self.attr("_EPH")["moon"];
    call.at(5);
    self.attr("_EARTH") = self.attr("_EPH")["earth"];
    call.at(6);
    self.attr("_TS") = call.global("load").attr("timescale")();
    call.at(7);
    self.attr("_DELHI") = call.global("Topos")("28.6139 N", "77.2090 E", "elevation_m"_a = 213);
    call.at(8);
    self.attr("_IST") = call.global("pytz").attr("timezone")("Asia/Kolkata");
    return py::none();
}

double lahiri_ayanamsha(double tt) {
    // Quadratic in Julian centuries of TT since J2000.0, in arcseconds.
    double T = (tt - 2451545.0) / 36525;
    return (84404.78 + 5028.7965 * T + 1.111 * frame::py_square(T)) / 3600.0;
}

py::object get_nirayana_lon(Call& call, Args a) {
    py::handle self = a[0], target = a[1], time_obj = a[2];
    call.at(1);
    double tt = frame::as_double(time_obj.attr("tt"));
    call.at(2);
    double ayanamsha = lahiri_ayanamsha(tt);
    call.at(3);
    // Geocentric and astrometric: light time only, no aberration or deflection.
    py::object astrometric = self.attr("_EARTH").attr("at")(time_obj).attr("observe")(target);
    call.at(4);
    auto [_lat, lon, _dist] = unpack<3>(astrometric.attr("ecliptic_latlon")());
    call.at(5);
    return py::float_(frame::floored_mod(frame::as_double(lon.attr("degrees")) - ayanamsha, 360));
}

py::object get_sunset(Call& call, Args a) {
    py::handle self = a[0], g_date = a[1];
    call.at(1);
    self.attr("_Tavrolen__initialize_astronomy")();
    // The window is the local civil day in Asia/Kolkata, to its last microsecond.
    auto local_instant = [&](const char* bound) {
        py::object datetime = call.global("datetime");
        py::object naive = datetime.attr("combine")(g_date, datetime.attr(bound).attr("time")());
        return self.attr("_TS").attr("from_datetime")(self.attr("_IST").attr("localize")(naive));
    };
    call.at(2);
    py::object t0 = local_instant("min");
    call.at(3);
    py::object t1 = local_instant("max");
    call.at(4);
    py::object f = call.global("almanac").attr("sunrise_sunset")(self.attr("_EPH"),
                                                                  self.attr("_DELHI"));
    call.at(5);
    auto [times, events] = unpack<2>(call.global("almanac").attr("find_discrete")(t0, t1, f));
    call.at(6);
    for (py::handle pair : frame::builtin_zip()(times, events)) {
        auto [t, event] = unpack<2>(pair);
        if (truthy(rich_compare(event, py::int_(0), Py_EQ))) return t;  // 0: the Sun has set
    }
    return py::none();
}

}  // namespace astronomy
