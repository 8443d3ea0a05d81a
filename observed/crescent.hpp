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

/// Yallop's category A, "easily visible to the unaided eye": q above this.
inline constexpr double kYallopA = 0.216;

/// The months whose days reach civil days `first` to `last`, from the new moons
/// `new_moons` (TT, ascending) that reach 122 days before `first` and a day after
/// `last`: each begins the day after the first evening on which the crescent,
/// seen from the site of `days`, has Yallop's q above `seen_above`.
std::vector<IslamicMonth> islamic_months(const Context& ctx, Days& days, const std::vector<double>& new_moons,
                                         DayNumber first, DayNumber last, double seen_above);

/// Yallop's q at the best time of the evening of each of `sunsets` (TT, at
/// `site`), after the conjunction at the same place of `conjunctions`: the
/// Moon's lag and the crescent's geometry as seen from the site.  NaN where the
/// Moon sets before the Sun.
std::vector<double> yallop_q(const Context& ctx, const Site& site, const std::vector<double>& sunsets,
                             const std::vector<double>& conjunctions);

}  // namespace observed
