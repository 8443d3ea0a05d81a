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

DayNumber Sky::civil_day(double tt) {
    const double delta_t = delta_t_.read(tt, NAN, &complete_);
    if (std::isnan(delta_t)) return approx_day(tt);
    return day_of_ut(tt - delta_t / astronomy::kSecondsPerDay);
}

Days& Skies::days(Where where) {
    std::unique_ptr<Days>& d = days_[where];
    if (!d) d = std::make_unique<Days>(site_of(ctx_, where));
    return *d;
}

Sky& Skies::at(Where where) {
    std::unique_ptr<Sky>& s = skies_[where];
    if (!s) s = std::make_unique<Sky>(days(where));
    return *s;
}

bool Skies::complete() const {
    for (const auto& [where, sky] : skies_)
        if (!sky->complete()) return false;
    return true;
}

void Skies::fetch() {
    for (auto& [where, sky] : skies_) sky->fetch(ctx_);
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
std::vector<double> moonrises(const Context& ctx, const Site& site, const std::vector<DayNumber>& wanted) {
    constexpr int kSamples = 25;  // 00:00 to 24:00, hourly
    std::vector<double> t;
    for (DayNumber d : wanted)
        for (int h = 0; h < kSamples; ++h) t.push_back(approx_tt(d, h));
    std::vector<double> alt = altitudes(ctx, site, ctx.moon, t);
    std::vector<std::size_t> which;
    std::vector<double> guesses;
    for (std::size_t i = 0, k = 0; i < wanted.size(); ++i, k += kSamples) {
        for (int h = 0; h + 1 < kSamples; ++h) {
            const double a = alt[k + h] - astronomy::kSunUpAltitude, b = alt[k + h + 1] - astronomy::kSunUpAltitude;
            if (a < 0 && b >= 0) {
                which.push_back(i);
                guesses.push_back(t[k + h] + (t[k + h + 1] - t[k + h]) * a / (a - b));
                break;
            }
        }
    }
    std::vector<double> when =
        astronomy::horizon_crossings(ctx, site.observer, ctx.moon, guesses, astronomy::Slope::once);
    std::vector<double> out(wanted.size(), NAN);
    for (std::size_t i = 0; i < which.size(); ++i)
        if (approx_day(when[i]) == wanted[which[i]]) out[which[i]] = when[i];
    return out;
}

}  // namespace

void Sky::fetch(const Context& ctx) {
    using Instants = std::vector<double>;
    using Keys = std::vector<std::pair<double, double>>;
    days_.compute(ctx);
    moonrise_.fetch([&](const std::vector<DayNumber>& days, const Instants&) {
        return moonrises(ctx, days_.site(), days);
    });
    elongation_.fetch([&](const Keys& keys, const Instants& guesses) {
        Instants targets;
        for (const auto& [new_moon, degrees] : keys) targets.push_back(std::fmod(degrees, 360.0));
        return angle_reaches([&](const Instants& x) { return astronomy::nirayana_elongations(ctx, x); }, targets,
                             guesses);
    });
    sun_.fetch([&](const Keys& keys, const Instants& guesses) {
        Instants targets;
        for (const auto& [guess, degrees] : keys) targets.push_back(std::fmod(degrees, 360.0));
        return angle_reaches([&](const Instants& x) { return astronomy::lahiri_longitudes(ctx, ctx.sun, x); },
                             targets, guesses);
    });
    moon_.fetch([&](const Instants& tt, const Instants&) {
        return astronomy::nirayana_longitudes(ctx, ctx.moon, astronomy::times_tt(ctx, tt));
    });
    lahiri_moon_.fetch([&](const Instants& tt, const Instants&) {
        return astronomy::lahiri_longitudes(ctx, ctx.moon, tt);
    });
    delta_t_.fetch([&](const Instants& tt, const Instants&) {
        return astronomy::to_vector(astronomy::times_tt(ctx, tt).attr("delta_t"));
    });
    complete_ = true;
}

}  // namespace observed
