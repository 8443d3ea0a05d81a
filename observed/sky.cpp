// observed/sky.cpp: the rules' quantities, guessed until computed, computed in
// batches.
#include "observed/sky.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/lahiri.hpp"
#include "astronomy/roots.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <vector>

namespace observed {

double Sky::sunrise(DayNumber d) {
    if (days_.has_sunrise(d)) return days_.sunrise(d);
    days_.need_sunrises(d, d);
    complete_ = false;
    return days_.guess(d, true);
}

double Sky::sunset(DayNumber d) {
    if (days_.has_sunset(d)) return days_.sunset(d);
    days_.need_sunsets(d, d);
    complete_ = false;
    return days_.guess(d, false);
}

double Sky::moonrise(DayNumber d) {
    if (auto it = moonrise_.find(d); it != moonrise_.end()) return it->second;
    moonrises_wanted_.insert(d);
    complete_ = false;
    return NAN;
}

double Sky::elongation_reaches(const Span& lunation, double degrees) {
    const std::pair<double, double> key{lunation.begin, degrees};
    if (auto it = elongation_.find(key); it != elongation_.end()) return it->second;
    const double guess = lunation.begin + lunation.length() * degrees / 360;
    elongations_wanted_.emplace(key, guess);
    complete_ = false;
    return guess;
}

double Sky::sun_reaches(double degrees, double guess) {
    const std::pair<double, double> key{guess, degrees};
    if (auto it = sun_.find(key); it != sun_.end()) return it->second;
    suns_wanted_.insert(key);
    complete_ = false;
    return guess;
}

double Sky::moon_longitude(double tt) {
    if (auto it = moon_.find(tt); it != moon_.end()) return it->second;
    moons_wanted_.insert(tt);
    complete_ = false;
    return NAN;
}

double Sky::lahiri_moon_longitude(double tt) {
    if (auto it = lahiri_moon_.find(tt); it != lahiri_moon_.end()) return it->second;
    lahiri_moons_wanted_.insert(tt);
    complete_ = false;
    return NAN;
}

DayNumber Sky::civil_day(double tt) {
    auto it = delta_t_.find(tt);
    if (it == delta_t_.end()) {
        delta_ts_wanted_.insert(tt);
        complete_ = false;
        return approx_day(tt);
    }
    return day_of_ut(tt - it->second / astronomy::kSecondsPerDay);
}

Span Sky::fifth(DayNumber d, int part) {
    const Span day = daytime(d);
    const double fifth = day.length() / 5;
    return {day.begin + part * fifth, day.begin + (part + 1) * fifth};
}

Span Sky::muhurtas(DayNumber d, int first, int count) {
    const Span n = night(d);
    const double muhurta = n.length() / 15;
    return {n.begin + first * muhurta, n.begin + (first + count) * muhurta};
}

DayNumber Sky::day_of(double tt) {
    DayNumber d = approx_day(tt) + 1;
    while (sunrise(d) > tt) --d;
    return d;
}

namespace {

// Roots of `residual(x) - target`, an angle in degrees, wrapped to (-180, 180].
template <typename Angles>
std::vector<double> angle_reaches(Angles angles, const std::vector<double>& targets, std::vector<double> guesses) {
    auto residual = [&](const std::vector<double>& x) {
        std::vector<double> a = angles(x);
        for (std::size_t i = 0; i < x.size(); ++i)
            a[i] = runtime::floored_mod(a[i] - targets[i] + 180.0, 360.0) - 180.0;
        return a;
    };
    return astronomy::chord_roots(residual, std::move(guesses));
}

// Moonrise of each day in `wanted`: the Moon's altitude sampled hourly through
// the day (it rises at most once a day, about 50 minutes later each day), the
// first upward crossing of the threshold refined by the chord method.
std::map<DayNumber, double> moonrises(const Context& ctx, const Site& site, const std::set<DayNumber>& wanted) {
    constexpr int kSamples = 25;  // 00:00 to 24:00, hourly
    std::vector<double> t;
    for (DayNumber d : wanted)
        for (int h = 0; h < kSamples; ++h) t.push_back(approx_tt(d, h));
    std::vector<double> alt = topocentric(ctx, site, ctx.moon, t).alt;
    std::vector<DayNumber> which;
    std::vector<double> guesses;
    std::size_t k = 0;
    std::map<DayNumber, double> out;
    for (DayNumber d : wanted) {
        out[d] = NAN;
        for (int h = 0; h + 1 < kSamples; ++h) {
            const double a = alt[k + h] - astronomy::kSunUpAltitude, b = alt[k + h + 1] - astronomy::kSunUpAltitude;
            if (a < 0 && b >= 0) {
                which.push_back(d);
                guesses.push_back(t[k + h] + (t[k + h + 1] - t[k + h]) * a / (a - b));
                break;
            }
        }
        k += kSamples;
    }
    auto residual = [&](const std::vector<double>& x) {
        std::vector<double> a = topocentric(ctx, site, ctx.moon, x).alt;
        for (double& v : a) v -= astronomy::kSunUpAltitude;
        return a;
    };
    std::vector<double> when = astronomy::chord_roots(residual, guesses);
    for (std::size_t i = 0; i < which.size(); ++i)
        if (approx_day(when[i]) == which[i]) out[which[i]] = when[i];
    return out;
}

}  // namespace

void Sky::fetch(const Context& ctx) {
    days_.compute(ctx);
    if (!moonrises_wanted_.empty()) moonrise_.merge(moonrises(ctx, days_.site(), moonrises_wanted_));
    if (!elongations_wanted_.empty()) {
        std::vector<std::pair<double, double>> keys;
        std::vector<double> targets, guesses;
        for (auto& [key, guess] : elongations_wanted_) {
            keys.push_back(key);
            targets.push_back(std::fmod(key.second, 360.0));
            guesses.push_back(guess);
        }
        std::vector<double> when =
            angle_reaches([&](const std::vector<double>& x) { return astronomy::nirayana_elongations(ctx, x); },
                          targets, guesses);
        for (std::size_t i = 0; i < keys.size(); ++i) elongation_[keys[i]] = when[i];
    }
    if (!suns_wanted_.empty()) {
        std::vector<std::pair<double, double>> keys(suns_wanted_.begin(), suns_wanted_.end());
        std::vector<double> targets, guesses;
        for (auto& [guess, degrees] : keys) {
            targets.push_back(std::fmod(degrees, 360.0));
            guesses.push_back(guess);
        }
        std::vector<double> when = angle_reaches(
            [&](const std::vector<double>& x) { return astronomy::lahiri_longitudes(ctx, ctx.sun, x); }, targets, guesses);
        for (std::size_t i = 0; i < keys.size(); ++i) sun_[keys[i]] = when[i];
    }
    if (!moons_wanted_.empty()) {
        std::vector<double> tt(moons_wanted_.begin(), moons_wanted_.end());
        std::vector<double> lon = astronomy::nirayana_longitudes(ctx, ctx.moon, astronomy::times_tt(ctx, tt));
        for (std::size_t i = 0; i < tt.size(); ++i) moon_[tt[i]] = lon[i];
    }
    if (!lahiri_moons_wanted_.empty()) {
        std::vector<double> tt(lahiri_moons_wanted_.begin(), lahiri_moons_wanted_.end());
        std::vector<double> lon = astronomy::lahiri_longitudes(ctx, ctx.moon, tt);
        for (std::size_t i = 0; i < tt.size(); ++i) lahiri_moon_[tt[i]] = lon[i];
    }
    if (!delta_ts_wanted_.empty()) {
        std::vector<double> tt(delta_ts_wanted_.begin(), delta_ts_wanted_.end());
        std::vector<double> seconds = astronomy::to_vector(astronomy::times_tt(ctx, tt).attr("delta_t"));
        for (std::size_t i = 0; i < tt.size(); ++i) delta_t_[tt[i]] = seconds[i];
    }
    moonrises_wanted_.clear();
    delta_ts_wanted_.clear();
    elongations_wanted_.clear();
    suns_wanted_.clear();
    moons_wanted_.clear();
    lahiri_moons_wanted_.clear();
    complete_ = true;
}

}  // namespace observed
