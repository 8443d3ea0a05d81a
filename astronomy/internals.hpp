// astronomy/internals.hpp: the names outside Skyfield's and pytz's public API
// that the batch relies on, every one of them in this file's implementation, and
// the check, at first use, that they still mean what the batch takes them to
// mean.  Where they do not, the batch steps aside and the one-date path, which
// uses only public names, answers.
#pragma once

#include "astronomy/batch.hpp"

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace astronomy {

/// `t` with the nutation angles that Skyfield's almanac functions set on the
/// times they are given (IAU 2000B), so that apparent positions are theirs.
py::object with_almanac_nutation(py::object t);

/// The nutation in longitude (radians) that with_almanac_nutation set on `t`.
std::vector<double> nutation_in_longitude(py::handle t);

/// position.frame_latlon_and_rates(frame): latitude, longitude, distance and
/// their rates.
std::array<py::object, 6> latlon_and_rates(py::handle position, py::handle frame);

/// The TDB Julian dates that every segment of the ephemeris covers, from the
/// segments' own start and end; an empty span (first > last) if it cannot tell.
std::pair<double, double> ephemeris_coverage(const Context& ctx);

/// One stretch of a time zone's rules: from `utc_start` (seconds since
/// 1970-01-01 00:00 UTC) on, wall-clock time is UTC plus `offset` seconds.
struct ZoneStretch {
    long long utc_start;
    long long offset;
};

/// The stretches of a pytz zone, from its transition tables; nothing if the zone
/// is not of the kind whose tables the batch can read.
std::optional<std::vector<ZoneStretch>> zone_stretches(py::handle zone);

/// Null when the names above agree with the public API of the libraries loaded
/// in this process, checked once, on a few instants: the batch's new moon and
/// sunset against almanac.find_discrete's, the ephemeris coverage against where
/// positions can be computed, and the zone's stretches against its localize().
/// Otherwise the reason they do not.
const char* internals_disagree(const Context& ctx);

}  // namespace astronomy
