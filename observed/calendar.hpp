// observed/calendar.hpp: the observed calendar: the civil day on which each
// observance is kept, at Delhi, in India time, and India's published holiday
// lists computed from it.
#pragma once

#include "observed/days.hpp"
#include "observed/lists.hpp"

#include <utility>
#include <vector>

namespace observed {

/// The calendars that fix observances, in the order rows of one day are listed.
enum class Source { hindu, islamic, christian, parsi, fixed, closure };

struct Festival {
    DayNumber day;
    Source source;
    int order;  ///< the row of kObservances, or of its list's closures
    const char* name;
};

/// The observances kept from civil day `first` to `last`, sorted by day, source
/// and table order: every observance by Delhi's reckoning (`list` null), or the
/// days the list keeps, by its reckonings: the days actually kept, or
/// `as_published`, the list as first printed.  Throws ValueError outside
/// covered_days(ctx, list).
std::vector<Festival> festivals_between(const Context& ctx, DayNumber first, DayNumber last,
                                        const HolidayList* list, bool as_published = false);

/// The first and last civil day festivals_between can answer for with the
/// ephemeris of `ctx` (an empty span, first > last, if it cannot tell), and
/// for a list, since its first day: the one home of the observed calendar's
/// reach.
std::pair<DayNumber, DayNumber> covered_days(const Context& ctx, const HolidayList* list);

/// Keeps, of `rows` (whole Gregorian years of the observances the list reads),
/// the days the list keeps, and adds its announced closures and moves (only
/// those printed in the list itself, `as_published`).  Used by
/// festivals_between; defined in lists.cpp.
void keep_listed(const HolidayList& list, std::vector<Festival>& rows, bool as_published);

/// The calendar of a resolved Fix.
Source source_of(const Fix& fix);

/// The name of a source: "hindu", "islamic", "christian", "parsi", "fixed" or
/// "closure".
const char* source_name(Source s);

}  // namespace observed
