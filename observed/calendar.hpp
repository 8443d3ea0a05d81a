// observed/calendar.hpp: the observed festival calendar: the civil day on which
// each Hindu, Islamic and fixed-date festival is kept, at Delhi, in India time.
#pragma once

#include "observed/days.hpp"

#include <utility>
#include <vector>

namespace observed {

/// The order of sources among the rows of one day.
enum class Source { hindu, islamic, fixed };

struct Festival {
    DayNumber day;
    Source source;
    int order;  ///< the festival's place in its source's table
    const char* name;
};

/// The festivals kept from civil day `first` to `last`, sorted by day, source and
/// table order.  Throws ValueError outside covered_days().
std::vector<Festival> festivals_between(const Context& ctx, DayNumber first, DayNumber last);

/// The first and last civil day festivals_between can answer for with the
/// ephemeris of `ctx` (an empty span, first > last, if it cannot tell).
std::pair<DayNumber, DayNumber> covered_days(const Context& ctx);

/// The name of a source: "hindu", "islamic" or "fixed".
const char* source_name(Source s);

}  // namespace observed
