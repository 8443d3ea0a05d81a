// observed/days.hpp: the civil days of the observed calendar, divided by sunrise
// and sunset at the observer.
//
// A civil day is a date in India time.  Its daytime runs from its sunrise to its
// sunset; its night from that sunset to the next day's sunrise, so the night
// after a civil day's sunset belongs to that civil day (observed/sky.hpp
// divides them).
#pragma once

#include "astronomy/batch.hpp"
#include "astronomy/civil.hpp"

#include <map>
#include <set>
#include <vector>

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

/// The days of the week, numbered as Python's date.weekday() numbers them.
enum Weekday { monday, tuesday, wednesday, thursday, friday, saturday, sunday };

/// The weekday of civil day `d` (1970-01-01 was a Thursday).
inline Weekday weekday(DayNumber d) { return static_cast<Weekday>(d + 3 - 7 * astronomy::floor_div(d + 3, 7)); }

/// Whether civil day `d` is a Saturday or a Sunday.
inline bool weekend(DayNumber d) { return weekday(d) >= saturday; }

/// The share of `period` that `s` covers, from 0 to 1.
double share(const Span& s, const Span& period);

/// The TT Julian date of `hours` past 00:00 India time on civil day `d`, taking TT
/// for UTC: within two minutes in the ephemeris's years, for guesses and bounds.
double approx_tt(DayNumber d, double hours = 0);

/// The civil day that holds the instant whose UT Julian date is `ut`.
DayNumber day_of_ut(double ut);

/// The civil day that holds `tt`, taking TT for UT: to within those two minutes.
inline DayNumber approx_day(double tt) { return day_of_ut(tt); }

/// Where the sky is seen from: the position on the Earth (a Skyfield vector
/// from the solar system's barycentre, the Earth plus a Topos) and its
/// latitude and longitude in degrees.
struct Site {
    py::object observer;
    double latitude, longitude;
};

/// Where a rule reads the sky: the calendar's observer at Delhi, or a place of
/// astronomy/observer.hpp.
enum class Where : unsigned char { delhi, mumbai, bengaluru, chennai, hyderabad, thiruvananthapuram, kozhikode };

/// The calendar's observer, at Delhi (astronomy/observer.hpp).
Site delhi(const Context& ctx);
/// The site of `where`.
Site site_of(const Context& ctx, Where where);

/// The apparent altitudes in degrees (no refraction) of `body` seen from `site`
/// at the TT instants `tt`.
std::vector<double> altitudes(const Context& ctx, const Site& site, py::handle body, const std::vector<double>& tt);

/// Sunrise and sunset of the civil days asked for, computed with Skyfield for
/// a site (the instants where the Sun's apparent altitude crosses
/// almanac.sunrise_sunset's threshold), all at once.
class Days {
public:
    explicit Days(Site site) : site_(std::move(site)) {}
    const Site& site() const { return site_; }

    /// Asks for the days `first` to `last`: their sunrises and sunsets and the
    /// sunrise of the day after each.
    void need(DayNumber first, DayNumber last);
    /// Asks for the sunrises only, or the sunsets only.
    void need_sunrises(DayNumber first, DayNumber last);
    void need_sunsets(DayNumber first, DayNumber last);
    /// Computes what was asked for and is not yet known.
    void compute(const Context& ctx);

    /// The computed instants; asking for one not computed is a logic error.
    double sunrise(DayNumber d) const;
    double sunset(DayNumber d) const;
    bool has_sunrise(DayNumber d) const { return rise_.count(d) > 0; }
    bool has_sunset(DayNumber d) const { return set_.count(d) > 0; }

    /// Sunrise (`rising`) or sunset of day `d` to a minute or two, without
    /// Skyfield: the guess the search starts from.
    double guess(DayNumber d, bool rising) const;

private:
    Site site_;
    std::set<DayNumber> rises_wanted_, sets_wanted_;
    std::map<DayNumber, double> rise_, set_;
};

}  // namespace observed
