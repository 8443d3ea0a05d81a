// observed/lunar.hpp: the civil days of the observances fixed by a tithi of a
// lunar month.
#pragma once

#include "observed/observances.hpp"
#include "observed/sky.hpp"

#include <vector>

namespace observed {

/// An observance (an index of kObservances) on a civil day.
struct KeptOn {
    DayNumber day;
    int observance;
};

/// The days, from civil day `first` to `last`, of the observances `rows`
/// (indices of kObservances fixed by a Tithi), from the new moons `new_moons`
/// (TT, ascending, as almanac.moon_phases finds them) that reach 47 days before
/// `first` and 3 days after `last`; each row reads the sky at its own place, or
/// at `where`.
std::vector<KeptOn> lunar_days(Skies& skies, Where where, const std::vector<double>& new_moons,
                               const std::vector<int>& rows, DayNumber first, DayNumber last);

}  // namespace observed
