// observed/sky.hpp: what the day rules read of the sky, each quantity computed
// when a rule first asks for it: sunrise, sunset and moonrise of civil days and
// their divisions, the instants the Moon-Sun elongation or the Sun's sidereal
// longitude reaches a value, the Moon's sidereal longitude at an instant.
//
// A rule reads what it needs as it decides.  What is not yet known is answered
// with a guess and noted; once every rule has run, fetch() computes all that was
// noted in a few array calls into Skyfield, and the rules run again, until a
// pass notes nothing (settle()).  Only that last pass's answers count, and in it
// every value read is the computed one.
//
// The divisions of a civil day: daytime, from sunrise to sunset, has five equal
// parts (the third is madhyahna, the fourth aparahna); the night, from sunset to
// the next sunrise, belongs to the civil day before it and has fifteen equal
// muhurtas (the first three are pradosh, the eighth nishita).
#pragma once

#include "observed/days.hpp"

#include <initializer_list>
#include <map>
#include <memory>
#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

namespace observed {

/// A quantity the rules read by key: the computed value once fetched, else a
/// guess, with the key noted as wanted.  fetch() computes every wanted value
/// in one call of `compute(keys, guesses)`, in the keys' order.
template <typename Key>
class Quantity {
public:
    /// The value for `key`, or `guess` (noting `key` and clearing `*complete`).
    double read(const Key& key, double guess, bool* complete) {
        if (auto it = values_.find(key); it != values_.end()) return it->second;
        wanted_.emplace(key, guess);
        *complete = false;
        return guess;
    }

    template <typename Compute>
    void fetch(Compute compute) {
        if (wanted_.empty()) return;
        std::vector<Key> keys;
        std::vector<double> guesses;
        for (const auto& [key, guess] : wanted_) {
            keys.push_back(key);
            guesses.push_back(guess);
        }
        const std::vector<double> values = compute(keys, guesses);
        for (std::size_t i = 0; i < keys.size(); ++i) values_[keys[i]] = values[i];
        wanted_.clear();
    }

private:
    std::map<Key, double> values_, wanted_;
};

class Sky {
public:
    explicit Sky(Days& days) : days_(days) {}

    double sunrise(DayNumber d);
    double sunset(DayNumber d);
    /// The Moon's rising in civil day `d` (its centre 0.8333 degrees below the
    /// horizon, as almanac.sunrise_sunset takes the Sun's); NaN if it rises in
    /// none of that day.
    double moonrise(DayNumber d) { return moonrise_.read(d, NAN, &complete_); }
    /// The instant the sidereal elongation reaches `degrees` (0 to 360 and
    /// beyond) within the lunation `lunation`, from its new moon.
    double elongation_reaches(const Span& lunation, double degrees) {
        return elongation_.read({lunation.begin, degrees}, lunation.begin + lunation.length() * degrees / 360,
                                &complete_);
    }
    /// The instant near `guess` (within days) when the Sun's sidereal longitude
    /// by the Lahiri ayanamsha (astronomy/lahiri.hpp) reaches `degrees`.
    double sun_reaches(double degrees, double guess) { return sun_.read({guess, degrees}, guess, &complete_); }
    /// The Moon's sidereal longitude in degrees at `tt`, as the column reckons it.
    double moon_longitude(double tt) { return moon_.read(tt, NAN, &complete_); }
    /// The same by the published Lahiri ayanamsha, as the solar calendars count
    /// nakshatras (astronomy/lahiri.hpp).
    double lahiri_moon_longitude(double tt) { return lahiri_moon_.read(tt, NAN, &complete_); }
    /// The civil day that holds the instant `tt` (its UT plus India's offset).
    DayNumber civil_day(double tt);

    Span daytime(DayNumber d) { return {sunrise(d), sunset(d)}; }
    Span night(DayNumber d) { return {sunset(d), sunrise(d + 1)}; }
    Span madhyahna(DayNumber d) { return fifth(d, 2); }
    Span aparahna(DayNumber d) { return fifth(d, 3); }
    Span pradosh(DayNumber d) { return muhurtas(d, 0, 3); }
    Span nishita(DayNumber d) { return muhurtas(d, 7, 1); }
    /// A muhurta of daytime (a fifteenth) and a prahar (a quarter).
    double day_muhurta(DayNumber d) { return daytime(d).length() / 15; }
    double prahar(DayNumber d) { return daytime(d).length() / 4; }

    /// The civil day whose sunrise is the last at or before `tt`: the Hindu day
    /// (sunrise to sunrise) that holds it.
    DayNumber day_of(double tt);

    /// Whether the pass since the last fetch() read only computed values.
    bool complete() const { return complete_; }
    /// Computes everything noted, and starts a new pass.
    void fetch(const Context& ctx);

private:
    Span fifth(DayNumber d, int part);
    Span muhurtas(DayNumber d, int first, int count);

    Days& days_;
    bool complete_ = true;
    Quantity<DayNumber> moonrise_;
    // Keyed by the lunation's new moon and the degrees.
    Quantity<std::pair<double, double>> elongation_;
    // Keyed by the guess and the degrees.
    Quantity<std::pair<double, double>> sun_;
    Quantity<double> moon_, lahiri_moon_, delta_t_;
};

/// The nakshatra Shravana (Thiruvonam): sidereal lunar longitudes from 280 to
/// 293 1/3 degrees, the 22nd of the 27 (panchang::kNakshatras).
inline constexpr double kShravanaBegin = 21 * 360.0 / 27, kShravanaEnd = 22 * 360.0 / 27;

/// Six nazhikas (of 24 minutes), in days: Kerala's almanacs give a day the star
/// or tithi in force this long after its sunrise.
inline constexpr double kSixNazhikas = 6 * 24.0 / 1440;

/// A period of the day, as the rules name them.
using Period = Span (Sky::*)(DayNumber);

/// The civil days and the sky of each place a computation reads, each made
/// when first asked for.
class Skies {
public:
    explicit Skies(const Context& ctx) : ctx_(ctx) {}
    const Context& context() const { return ctx_; }
    Days& days(Where where);
    Sky& at(Where where);
    /// Whether every sky's pass read only computed values.
    bool complete() const;
    /// Computes what every sky noted.
    void fetch();

private:
    const Context& ctx_;
    std::map<Where, std::unique_ptr<Days>> days_;
    std::map<Where, std::unique_ptr<Sky>> skies_;
};

/// Runs `pass` (which reads `skies`) until a pass reads only computed values.
template <typename Pass>
void settle(Skies& skies, Pass pass) {
    // Each pass can only ask for what depends on values the one before computed:
    // an ingress or a tithi's instants, then the days around them, then instants
    // within those days, then (Onam) the days of a month that ends at another
    // ingress.  More passes than that mean a rule keeps asking for new things.
    constexpr int kMaxPasses = 8;
    for (int n = 0; n < kMaxPasses; ++n) {
        pass();
        if (skies.complete()) return;
        skies.fetch();
    }
    throw std::logic_error("the day rules did not settle");
}

}  // namespace observed
