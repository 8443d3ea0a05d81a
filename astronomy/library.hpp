// astronomy/library.hpp: every attribute of a library object that the method
// bodies read.  Each read goes through `read` with its entry here, so that the
// batch, which watches every entry, steps aside when one of them is replaced
// (tests/test_batch.py records what the bodies read and holds it to this table).
// Attributes that Skyfield and pytz read inside their own code are out of reach.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <iterator>

namespace astronomy {

namespace py = pybind11;

/// `owner` is a global of the module body ("almanac") or a library class by its
/// dotted path.
struct LibraryRead {
    const char* owner;
    const char* name;
};

enum class Lib : int {
    LoadTimescale, PytzTimezone, PytzUtc, AlmanacSunriseSunset, AlmanacFindDiscrete,
    AlmanacMoonPhases, TimescaleUtc, TimescaleFromDatetime, TimeTt, TimeUtcDatetime,
    VectorAt, BarycentricObserve, AstrometricEclipticLatlon, AngleDegrees, ZoneLocalize,
    Count
};

inline constexpr LibraryRead kLibraryReads[] = {
    {"load", "timescale"},
    {"pytz", "timezone"},
    {"pytz", "utc"},
    {"almanac", "sunrise_sunset"},
    {"almanac", "find_discrete"},
    {"almanac", "moon_phases"},
    {"skyfield.timelib.Timescale", "utc"},
    {"skyfield.timelib.Timescale", "from_datetime"},
    {"skyfield.timelib.Time", "tt"},
    {"skyfield.timelib.Time", "utc_datetime"},
    {"skyfield.vectorlib.VectorFunction", "at"},
    {"skyfield.positionlib.Barycentric", "observe"},
    {"skyfield.positionlib.Astrometric", "ecliptic_latlon"},
    {"skyfield.units.Angle", "degrees"},
    {"pytz.tzinfo.DstTzInfo", "localize"},
};
static_assert(std::size(kLibraryReads) == static_cast<std::size_t>(Lib::Count));

/// obj.<name> of the entry `which`.
inline py::object read(py::handle obj, Lib which) {
    return obj.attr(kLibraryReads[static_cast<int>(which)].name);
}

}  // namespace astronomy
