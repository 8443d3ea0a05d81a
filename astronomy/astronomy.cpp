// astronomy/astronomy.cpp: astronomy context, sidereal longitude, sunset.
#include "astronomy/astronomy.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/context.hpp"
#include "astronomy/library.hpp"
#include "astronomy/observer.hpp"
#include "runtime/module.hpp"
#include "runtime/pyops.hpp"

#include <array>
#include <utility>

namespace astronomy {

using namespace pybind11::literals;
using runtime::rich_compare;
using runtime::truthy;
using runtime::unpack;

namespace {

// The Lahiri ayanamsha, arcseconds = kAyanamshaEpoch + kAyanamshaRate * T
// + kAyanamshaQuadratic * T**2, with T in Julian centuries of TT since J2000.0.
constexpr double kAyanamshaEpoch = 84404.78;
constexpr double kAyanamshaRate = 5028.7965;
constexpr double kAyanamshaQuadratic = 1.111;

}  // namespace

py::object initialize_astronomy(Call& call, Args a) {
    py::handle self = a[0];
    call.at(1);
    if (runtime::has_attr(self, "_EPH")) return py::none();
    // Every object is made first; only then are the seven stored, one after the
    // other with no Python code in between, so an error or an interrupt while
    // they are made leaves the object without context and the next call loads
    // again.
    call.at(2);
    py::object eph = call.global("load")(kEphemerisFile);
    call.at(3);
    py::object sun = eph["sun"];
    call.at(4);
    py::object moon = eph["moon"];
    call.at(5);
    py::object earth = eph["earth"];
    call.at(6);
    py::object ts = read(call.global("load"), Lib::LoadTimescale)();
    call.at(7);
    py::object delhi = call.global("Topos")(kDelhiLatitude, kDelhiLongitude,
                                            "elevation_m"_a = kDelhiElevationM);
    call.at(8);
    py::object ist = read(call.global("pytz"), Lib::PytzTimezone)(kZoneName);
    call.at(9);
    const Context context{eph, sun, moon, earth, ts, delhi, ist};
    for (std::size_t i = 0; i < kContextAttributes.size(); ++i) {
        const auto& [name, member] = kContextAttributes[i];
        if (PyObject_SetAttrString(self.ptr(), name, (context.*member).ptr()) == 0) continue;
        // A class that refuses one of them gets none of them.
        runtime::keep_error_while([&] {
            for (std::size_t k = 0; k < i; ++k)
                if (PyObject_DelAttrString(self.ptr(), kContextAttributes[k].first) < 0) PyErr_Clear();
        });
        throw py::error_already_set();
    }
    return py::none();
}

double lahiri_ayanamsha(double tt) {
    double T = (tt - kJ2000) / kDaysPerCentury;
    return (kAyanamshaEpoch + kAyanamshaRate * T + kAyanamshaQuadratic * runtime::py_square(T)) /
           kArcsecondsPerDegree;
}

py::object get_nirayana_lon(Call& call, Args a) {
    py::handle self = a[0], target = a[1], time_obj = a[2];
    // Python arithmetic on what Skyfield returns: NumPy scalars for a scalar Time,
    // arrays for an array Time.  On one float it is lahiri_ayanamsha's arithmetic.
    call.at(1);
    py::object T = (read(time_obj, Lib::TimeTt) - py::float_(kJ2000)) / py::float_(kDaysPerCentury);
    call.at(2);
    py::object ayanamsha = (py::float_(kAyanamshaEpoch) + py::float_(kAyanamshaRate) * T +
                            py::float_(kAyanamshaQuadratic) * runtime::power(T, py::int_(2))) /
                           py::float_(kArcsecondsPerDegree);
    call.at(3);
    // Geocentric and astrometric: light time only, no aberration or deflection.
    py::object astrometric = read(read(self.attr("_EARTH"), Lib::VectorAt)(time_obj), Lib::BarycentricObserve)(target);
    call.at(4);
    auto [_lat, lon, _dist] = unpack<3>(read(astrometric, Lib::AstrometricEclipticLatlon)());
    call.at(5);
    return runtime::remainder(read(lon, Lib::AngleDegrees) - ayanamsha, py::int_(360));
}

py::object get_sunset(Call& call, Args a) {
    py::handle self = a[0], g_date = a[1];
    call.at(1);
    call.method(self, "__initialize_astronomy")();
    // The window is the local civil day in Asia/Kolkata, to its last microsecond.
    auto local_instant = [&](const char* bound) {
        py::object datetime = call.global("datetime");
        py::object naive = datetime.attr("combine")(g_date, datetime.attr(bound).attr("time")());
        return read(self.attr("_TS"), Lib::TimescaleFromDatetime)(
            read(self.attr("_IST"), Lib::ZoneLocalize)(naive));
    };
    call.at(2);
    py::object t0 = local_instant("min");
    call.at(3);
    py::object t1 = local_instant("max");
    call.at(4);
    py::object f = read(call.global("almanac"), Lib::AlmanacSunriseSunset)(self.attr("_EPH"),
                                                                           self.attr("_DELHI"));
    call.at(5);
    auto [times, events] = unpack<2>(read(call.global("almanac"), Lib::AlmanacFindDiscrete)(t0, t1, f));
    call.at(6);
    for (py::handle pair : runtime::builtin_zip()(times, events)) {
        auto [t, event] = unpack<2>(pair);
        if (truthy(rich_compare(event, py::int_(0), Py_EQ))) return t;  // 0: the Sun has set
    }
    return py::none();
}

}  // namespace astronomy
