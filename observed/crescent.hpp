// observed/crescent.hpp: Islamic months that begin with the new crescent seen
// from the observer.
#pragma once

#include "observed/days.hpp"

#include <vector>

namespace observed {

struct IslamicMonth {
    DayNumber first_day;  ///< the civil day that is day 1
    long long year;       ///< Hijri year and month, numbered as the tabular
    int month;            ///< calendar numbers the month nearest in time
};

/// The months whose days reach civil days `first` to `last`, from the new moons
/// `new_moons` (TT, ascending) that reach 122 days before `first` and a day after
/// `last`.
std::vector<IslamicMonth> islamic_months(const Context& ctx, Days& days, const std::vector<double>& new_moons,
                                         DayNumber first, DayNumber last);

/// Yallop's q at the best time of the evening of each of `sunsets` (TT), after
/// the conjunction at the same place of `conjunctions`: the Moon's lag and the
/// crescent's geometry as seen from the observer.  NaN where the Moon sets
/// before the Sun.
std::vector<double> yallop_q(const Context& ctx, const std::vector<double>& sunsets,
                             const std::vector<double>& conjunctions);

}  // namespace observed
