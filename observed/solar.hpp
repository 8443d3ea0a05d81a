// observed/solar.hpp: the civil days of the observances fixed by the Sun's
// sidereal entry into a sign: the first days of the regional solar months.
#pragma once

#include "observed/lunar.hpp"

#include <vector>

namespace observed {

/// The days, from civil day `first` to `last`, of the observances `rows`
/// (indices of kObservances fixed by an Ingress), each reading the sky at its
/// own place or at `where`.
std::vector<KeptOn> solar_days(Skies& skies, Where where, const std::vector<int>& rows, DayNumber first,
                               DayNumber last);

/// The first and last civil day of the solar month of `sign`, beginning by the
/// ingress rule `month_rule`, that is nearest civil day `near`.
std::pair<DayNumber, DayNumber> solar_month(Sky& sky, Kept month_rule, int sign, DayNumber near);

}  // namespace observed
