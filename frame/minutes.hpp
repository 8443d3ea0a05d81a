// frame/minutes.hpp: the distinct wall-clock minutes of a column, with the
// instants the one-date path gives them.
#pragma once

#include "astronomy/batch.hpp"
#include "astronomy/civil.hpp"
#include "astronomy/internals.hpp"

#include <pybind11/numpy.h>

#include <cstddef>
#include <vector>

namespace frame {

namespace py = pybind11;

inline constexpr long long kMinutesPerDay = 1440;
using astronomy::kEpochOrdinal;

/// One distinct wall-clock minute of the column, as the one-date path sees it.
struct Minute {
    long long minute;        // minutes since 1970-01-01 00:00 of India wall-clock time
    std::size_t slot;        // its index among the call's distinct minutes
    double tt = 0;           // its TT as the panchang converts it: fields minus 5:30
    double civil_tt = 0;     // its TT as the zone's own offset places it (evenings)
    bool zone_clear = false; // the zone gives this wall-clock time exactly one offset
    long long y = 0;
    int m = 0, d = 0, h = 0, mi = 0;
    long long day() const { return astronomy::floor_div(minute, kMinutesPerDay); }
    long long ordinal() const { return day() + kEpochOrdinal; }
};

Minute minute_of(long long minute, std::size_t slot);

/// Fills `tt` of every minute (ascending) as Timescale.utc(y, m, d, h - 5,
/// mi - 30) places it: TT - UTC taken at the civil date's midnight, then the
/// minutes added, so that a time before 05:30 on the day after a leap second is
/// where Skyfield puts it, not where the leap second would.  One timescale call
/// per civil date.
void fill_tt(const astronomy::Context& ctx, std::vector<Minute>& minutes);

/// Fills `zone_clear` and `civil_tt` of every minute (ascending, `tt` filled):
/// the zone's offset at that wall-clock time, as localize() gives it where only
/// one offset fits.  Evenings only: the minute and its UTC instant share a date.
void fill_zone(const std::vector<astronomy::ZoneStretch>& zone, std::vector<Minute>& minutes);

/// A column of one field of the minutes at `which`, for Skyfield's array calls.
template <typename Field>
py::array_t<long long> column_of(const std::vector<Minute>& minutes,
                                 const std::vector<std::size_t>& which, Field field) {
    py::array_t<long long> out(static_cast<py::ssize_t>(which.size()));
    auto view = out.mutable_unchecked<1>();
    for (std::size_t k = 0; k < which.size(); ++k)
        view(static_cast<py::ssize_t>(k)) = field(minutes[which[k]]);
    return out;
}

}  // namespace frame
