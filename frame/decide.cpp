// frame/decide.cpp: the tithi, month, sunset and Hijri decisions of the batch,
// each held to a margin far wider than the largest difference measured between
// the batch's quantity and the one-date path's (bench/batch_margins.py and
// tests/test_batch.py measure them from the primitives themselves).
#include "frame/decide.hpp"

#include "astronomy/observer.hpp"
#include "frame/watch.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <stdexcept>

namespace frame {

using astronomy::floor_div;

namespace {

// Margins.  Each is far wider than the largest difference measured between the
// batch quantity and the one-date quantity it stands for, over random date-times
// from 1901 to 2049:
//
// - elongation (tithi and paksha): the array positions equal the scalar ones
//   bit for bit (difference 0); 1e-6 degrees, about 7 ms of lunar motion, covers
//   numerical libraries that vectorise differently.
constexpr double kTithiMargin = 1e-6;
// - new moon instants: the one-date path refines each by bisection to about a
//   millisecond, Newton's method here to 1e-9 days; measured at most 0.3 ms
//   apart.  A minute within 2 s of a new moon is left to the one-date path.
constexpr double kNewMoonMargin = 2.0 / 86400.0;
// - the Sun's sidereal longitude at the new moon (the month): 0.3 ms of solar
//   motion is 1e-8 degrees; 1e-4 degrees is about 9 s of it.
constexpr double kSignMargin = 1e-4;
// - the Sun's altitude against the sunset threshold (sparse minutes): the array
//   altitude equals the scalar one to 1e-14 degrees, and the one-date sunset
//   instant is within 0.2 ms (bisection) plus a microsecond (rounding) of the
//   threshold crossing, 1e-6 degrees of solar motion; 0.01 degrees is about 2 s.
constexpr double kAltitudeMargin = 0.01;
// - tithi changes (dense minutes): each change instant is found to 0.02 ms of
//   lunar motion; a minute within 1 s of a change has its elongation computed
//   exactly, and is then held to kTithiMargin.
constexpr double kTithiChangeMargin = 1.0 / 86400.0;
// - sunset (dense minutes): the one-date path's sunset instant is within 0.2 ms
//   of the threshold crossing found here; a minute within 0.1 s of it takes the
//   one-date path's own Hijri date.
constexpr double kSunsetMargin = 0.1 / 86400.0;
//
// A minute's TT (fill_tt: its civil date's midnight plus the minutes since, as
// Timescale.utc counts them) has no margin of its own: it lies within 0.04 ms of
// the timescale's own conversion of the same fields, on the days around every
// leap second too, and every margin above that it meets is in time and far wider
// (the narrowest, kSunsetMargin, is 0.1 s).  The sparse tithi and the Hijri dates
// at sunset do not read it: they convert the fields as the one-date path does.

// Search constants.
//
// A tithi lasts at most 1.2 days: the changes from this many days before the
// first minute to as many after the last enclose every minute.
constexpr double kTithiSearchPadDays = 1.5;
// Delhi's sunset is never earlier than 17:20 IST.  Under every offset the zone
// has had (+05:21:10 to +06:30), a wall-clock minute before 16:00 is before it,
// and minutes at noon need no sunset at all.
constexpr int kEarliestSunsetHour = 16;
// The search for a civil date's sunset starts from this wall-clock minute: within
// an hour and a half of Delhi's sunset all year.
constexpr int kSunsetGuessMinute = 18 * 60;

// Above this many distinct minutes per day of span, finding the events of the
// span (a tithi change about every 24 hours, a sunset a day) costs less than the
// positions of every minute.
constexpr double kDenseMinutesPerDay = 8;

bool near_multiple(double x, double width, double margin) {
    double r = std::fmod(x, width);
    return !(r >= margin && width - r >= margin);  // NaN counts as near
}

// Tithi and paksha: between the tithi changes of the span (dense), or from the
// minute's own elongation.
void decide_tithi(const astronomy::Context& ctx, const std::vector<Minute>& minutes, bool dense,
                  std::vector<Decision>& out) {
    const std::size_t n = minutes.size();
    std::vector<std::size_t> exact;
    if (dense) {
        std::vector<astronomy::TithiChange> changes = astronomy::tithi_changes(
            ctx, minutes.front().tt - kTithiSearchPadDays, minutes.back().tt + kTithiSearchPadDays);
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            while (k + 1 < changes.size() && changes[k + 1].tt <= minutes[i].tt) ++k;
            if (k + 1 >= changes.size() || minutes[i].tt < changes[k].tt) {
                exact.push_back(i);
                continue;
            }
            double since = minutes[i].tt - changes[k].tt, until = changes[k + 1].tt - minutes[i].tt;
            if (since < kTithiChangeMargin || until < kTithiChangeMargin)
                exact.push_back(i);
            else
                out[i].tithi_no = changes[k].start + 1;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) exact.push_back(i);
    }
    if (exact.empty()) return;
    // Exactly as the one-date path: IST to UTC field by field, then positions.
    py::object t = ctx.ts.attr("utc")(
        column_of(minutes, exact, [](const Minute& mo) { return mo.y; }),
        column_of(minutes, exact, [](const Minute& mo) { return mo.m; }),
        column_of(minutes, exact, [](const Minute& mo) { return mo.d; }),
        column_of(minutes, exact, [](const Minute& mo) { return mo.h - astronomy::kIstOffsetHours; }),
        column_of(minutes, exact, [](const Minute& mo) { return mo.mi - astronomy::kIstOffsetMinutes; }));
    auto [sun_nir, moon_nir] = astronomy::nirayana_sun_moon(ctx, t);
    for (std::size_t k = 0; k < exact.size(); ++k) {
        double diff = runtime::floored_mod(moon_nir[k] - sun_nir[k], 360.0);
        if (near_multiple(diff, astronomy::kTithiDegrees, kTithiMargin))
            out[exact[k]].by_batch = false;
        else
            out[exact[k]].tithi_no = panchang::tithi_number(diff);
    }
}

// The lunar month: the Sun's sign at the last new moon.
void decide_month(const astronomy::Context& ctx, const std::vector<Minute>& minutes,
                  std::vector<Decision>& out) {
    std::vector<double> new_moons =
        astronomy::new_moons_between(ctx, minutes.front().tt - 1, minutes.back().tt + 1);
    std::vector<double> sun_at_nm =
        astronomy::nirayana_longitudes(ctx, ctx.sun, astronomy::times_tt(ctx, new_moons));
    std::size_t j = 0;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        Decision& dec = out[i];
        const double tt = minutes[i].tt;
        while (j + 1 < new_moons.size() && new_moons[j + 1] <= tt) ++j;
        bool inside = new_moons[j] <= tt && j + 1 < new_moons.size();
        if (!dec.by_batch) continue;
        if (!inside || tt - new_moons[j] < kNewMoonMargin || new_moons[j + 1] - tt < kNewMoonMargin ||
            near_multiple(sun_at_nm[j], 30, kSignMargin)) {
            dec.by_batch = false;
            continue;
        }
        dec.month_idx = panchang::month_index(panchang::amanta_index(sun_at_nm[j]), true,
                                              dec.tithi_no > 15);
    }
}

// Where the Hijri day changes at sunset: for minutes late enough in the day to be
// after it, at the instant the zone's own offset gives them (as localize() does).
// Earlier minutes keep before_sunset.
void decide_day_change(const astronomy::Context& ctx, const std::vector<Minute>& minutes, bool dense,
                       std::vector<Decision>& out) {
    std::vector<std::size_t> late;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        if (!out[i].by_batch || minutes[i].h < kEarliestSunsetHour) continue;
        if (!minutes[i].zone_clear)
            out[i].by_batch = false;  // a wall-clock time the zone skips or repeats
        else
            late.push_back(i);
    }
    auto decided = [](bool close, bool after) {
        return close ? DayChange::at_sunset : after ? DayChange::after_sunset : DayChange::before_sunset;
    };
    if (dense && !late.empty()) {
        // One sunset per civil date.
        std::vector<double> guesses;
        std::vector<std::size_t> date_of(late.size());
        for (std::size_t k = 0; k < late.size(); ++k) {
            const Minute& mo = minutes[late[k]];
            if (k == 0 || mo.day() != minutes[late[k - 1]].day()) {
                double to_guess = static_cast<double>(kSunsetGuessMinute - (mo.h * 60 + mo.mi));
                guesses.push_back(mo.civil_tt + to_guess / kMinutesPerDay);
            }
            date_of[k] = guesses.size() - 1;
        }
        std::vector<double> sunsets = astronomy::sun_crossings_near(ctx, guesses);
        for (std::size_t k = 0; k < late.size(); ++k) {
            double from_sunset = minutes[late[k]].civil_tt - sunsets[date_of[k]];
            out[late[k]].day_change = decided(std::fabs(from_sunset) < kSunsetMargin, from_sunset > 0);
        }
    } else if (!late.empty()) {
        std::vector<double> tt(late.size());
        for (std::size_t k = 0; k < late.size(); ++k) tt[k] = minutes[late[k]].civil_tt;
        std::vector<double> altitude = astronomy::sun_altitudes(ctx, astronomy::times_tt(ctx, tt));
        for (std::size_t k = 0; k < late.size(); ++k)
            out[late[k]].day_change =
                decided(std::fabs(altitude[k] - astronomy::kSunUpAltitude) < kAltitudeMargin,
                        altitude[k] < astronomy::kSunUpAltitude);
    }
}

// The Hijri date of each decided minute: the tabular date of its civil date, or
// of the next one after sunset (as __get_hijri_date counts it); at sunset, too
// close to call from the batch's sunset, the one-date path's own answer, asked in
// ascending order of the minutes.
void decide_hijri(const runtime::Call& call, py::handle self, const std::vector<Minute>& minutes,
                  std::vector<Decision>& out) {
    py::handle datetime = remembered_global("datetime");
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        Decision& dec = out[i];
        if (!dec.by_batch) continue;
        const Minute& mo = minutes[i];
        if (dec.day_change == DayChange::at_sunset) {
            auto [_y, m, d] = runtime::unpack<3>(
                call.method(self, "__get_hijri_date")(datetime(mo.y, mo.m, mo.d, mo.h, mo.mi)));
            dec.hijri_m = m.cast<long long>();
            dec.hijri_d = d.cast<long long>();
        } else {
            const long long next_day = dec.day_change == DayChange::after_sunset ? 1 : 0;
            auto [_y, m, d] = islamic::hijri_from_ordinal(mo.ordinal() + next_day);
            dec.hijri_m = m;
            dec.hijri_d = d;
        }
    }
}

}  // namespace

std::vector<Decision> decide(const runtime::Call& call, const astronomy::Context& ctx,
                             py::handle self, const std::vector<Minute>& minutes) {
    if (minutes.empty()) throw std::logic_error("decide: no minutes");
    std::vector<Decision> out(minutes.size());
    const double span = minutes.back().tt - minutes.front().tt + 1;
    const bool dense = static_cast<double>(minutes.size()) > kDenseMinutesPerDay * span;
    decide_tithi(ctx, minutes, dense, out);
    decide_month(ctx, minutes, out);
    decide_day_change(ctx, minutes, dense, out);
    decide_hijri(call, self, minutes, out);
    return out;
}

}  // namespace frame
