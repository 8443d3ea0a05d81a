// observed/days.hpp: the civil days of the observed calendar, divided by sunrise
// and sunset at the observer.
//
// A civil day is a date in India time.  Its daytime runs from its sunrise to its
// sunset; its night from that sunset to the next day's sunrise, so the night
// after a civil day's sunset belongs to that civil day.  Daytime has five equal
// parts: the third is madhyahna, the fourth aparahna.  The night has fifteen
// equal muhurtas: the first three are pradosh, the eighth nishita.
#pragma once

#include "astronomy/batch.hpp"

#include <map>
#include <set>

namespace observed {

namespace py = pybind11;
using astronomy::Context;

/// Civil days, counted from 1970-01-01 in India time.
using DayNumber = long long;

/// An interval of time in TT Julian dates, from `begin` up to `end`.
struct Span {
    double begin, end;
    double length() const { return end - begin; }
    bool holds(double t) const { return begin <= t && t < end; }
};

/// The share of `period` that `s` covers, from 0 to 1.
double share(const Span& s, const Span& period);

/// The TT Julian date of `hours` past 00:00 India time on civil day `d`, taking TT
/// for UTC: within two minutes in the ephemeris's years, for guesses and bounds.
double approx_tt(DayNumber d, double hours = 0);

/// The civil day that holds `tt`, to within those two minutes.
DayNumber approx_day(double tt);

/// Sunrise and sunset of the civil days asked for, computed with Skyfield for
/// the observer (the instants where the Sun's apparent altitude crosses
/// almanac.sunrise_sunset's threshold), all at once.
class Days {
public:
    /// Asks for the days `first` to `last`: their sunrises and sunsets and the
    /// sunrise of the day after each.
    void need(DayNumber first, DayNumber last);
    /// Asks for the sunrises only, or the sunsets only.
    void need_sunrises(DayNumber first, DayNumber last);
    void need_sunsets(DayNumber first, DayNumber last);
    /// Computes what was asked for and is not yet known.
    void compute(const Context& ctx);

    double sunrise(DayNumber d) const;
    double sunset(DayNumber d) const;
    Span daytime(DayNumber d) const { return {sunrise(d), sunset(d)}; }
    Span night(DayNumber d) const { return {sunset(d), sunrise(d + 1)}; }
    Span madhyahna(DayNumber d) const { return fifth(d, 2); }
    Span aparahna(DayNumber d) const { return fifth(d, 3); }
    Span pradosh(DayNumber d) const { return muhurtas(d, 0, 3); }
    Span nishita(DayNumber d) const { return muhurtas(d, 7, 1); }
    /// A muhurta of daytime (a fifteenth) and a prahar (a quarter).
    double day_muhurta(DayNumber d) const { return daytime(d).length() / 15; }
    double prahar(DayNumber d) const { return daytime(d).length() / 4; }

    /// The day whose sunrise is the last at or before `tt` (its sunrise and the
    /// next must be known).
    DayNumber day_of(double tt) const;

private:
    Span fifth(DayNumber d, int part) const;
    Span muhurtas(DayNumber d, int first, int count) const;

    std::set<DayNumber> rises_wanted_, sets_wanted_;
    std::map<DayNumber, double> rise_, set_;
};

}  // namespace observed
