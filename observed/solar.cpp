// observed/solar.cpp: the Sun's entries into the sidereal signs (sankrantis) and
// the rule of each region's solar calendar for the civil day its month begins.
#include "observed/solar.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/lahiri.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <stdexcept>

namespace observed {

namespace {

// The Sun's mean sidereal motion in degrees a day (the tropical 0.9856474 less
// the precession of 50.29" a year), and its mean sidereal longitude at J2000
// (mean tropical 280.460 less the Lahiri ayanamsha of 23.853): enough to place
// an ingress within the two or three days the equation of centre moves it.
constexpr double kMeanSiderealRate = 0.9856092;
constexpr double kMeanSiderealAtJ2000 = 280.460 - 23.853;

// One observance's ingress in one year.
struct IngressJob {
    int row;
    double guess;  // TT, within days of the ingress
};

// The civil days of an ingress by each region's rule, as the Indian calendar's
// descriptions give them (the Report of the Calendar Reform Committee, 1955,
// ch. 5, and the regional almanacs it surveys).  `t` is the instant the Sun
// enters the sign.
DayNumber first_day(Sky& sky, Kept kept, double t) {
    const DayNumber d = sky.civil_day(t);
    switch (kept) {
        // The civil day of the sankranti, midnight to midnight.
        case Kept::civil_day: return d;
        // The Orissa and Punjab rule: the month begins on the day (sunrise to
        // sunrise) in which the sankranti falls.
        case Kept::punjab: return sky.day_of(t);
        // The Tamil rule: a sankranti before sunset begins the month that day,
        // one after sunset the next day.
        case Kept::tamil: return t < sky.sunset(d) ? d : d + 1;
        // The Bengal rule: a sankranti between sunrise and midnight begins the
        // month the next day; one between midnight and sunrise, the day after
        // that day (counting from the day before the midnight): either way, the
        // civil day after the sankranti's.
        case Kept::bengal: return d + 1;
        // The Malayalam rule: a sankranti before the end of the third fifth of
        // daytime (madhyahna) begins the month that day, else the next.
        case Kept::kerala: return t < sky.madhyahna(d).end ? d : d + 1;
        // Vishu: the Vishukkani is seen at the first sunrise after the Sun
        // enters Mesha, the next day's when it enters after sunrise ("the Kani
        // must be seen at the sunrise after the Medam sankramam", as Kerala's
        // almanacs say it; pathramonline, 2022).
        case Kept::vishu: return t < sky.sunrise(d) ? d : d + 1;
        default: break;
    }
    throw std::logic_error("not an ingress rule");
}

// A festival of a star in a solar month is kept on the day of the month whose
// star it is: a day's star is the nakshatra in force six nazhikas (144
// minutes) after its sunrise, as Kerala's almanacs count it (a star that holds
// six nazhikas after sunrise owns the day; Kalakaumudi, 13 August 2018:
// "Thiruvonam is on August 25 ... the Thiruvonam star of Chingam holds six
// nazhikas after sunrise on that day").  Where two days of the month have it,
// the later (a birth star that comes twice in a month counts the second).
// Onam is Thiruvonam (Shravana) in Chingam, the Malayalam month from the Sun's
// entry into Simha; Sree Narayana Guru Jayanthi is Chathayam (Shatabhisha) in
// Chingam; Tamil Nadu's Thai Poosam is Poosam (Pushya) in Thai, the Tamil month
// from the Sun's entry into Makara.
// The Moon's sidereal motion in degrees a day lies within these bounds (13.18
// on average, from near apogee to near perigee).
constexpr double kMoonSlowest = 11.7, kMoonFastest = 15.5;

// The days from an ingress to the next, 29.3 to 31.5: the guess for the next
// ingress, which the search finds from within days.
constexpr double kSolarMonthDays = 31;

// The first and last civil day of the solar month of `sign`, by `month_rule`,
// from `guess`, within days of its ingress.
std::pair<DayNumber, DayNumber> month_from(Sky& sky, Kept month_rule, int sign, double guess) {
    const DayNumber begin = first_day(sky, month_rule, sky.sun_reaches(30.0 * sign, guess));
    const double next = sky.sun_reaches(30.0 * ((sign + 1) % 12), guess + kSolarMonthDays);
    return {begin, first_day(sky, month_rule, next) - 1};
}

DayNumber star_day(Sky& sky, Kept month_rule, int sign, int nakshatra, double guess) {
    const double begin = nakshatra * 360.0 / 27, end = (nakshatra + 1) * 360.0 / 27;
    const auto [month, last] = month_from(sky, month_rule, sign, guess);
    auto star = [&](DayNumber d) { return sky.lahiri_moon_longitude(sky.sunrise(d) + kSixNazhikas); };
    auto is_it = [&](double moon) { return begin <= moon && moon < end; };
    // From the Moon at the month's last star instant, the days back at which its
    // star can have been this one: only those are read.
    const double past_begin = runtime::floored_mod(star(last) - begin, 360.0);
    const double past_end = runtime::floored_mod(star(last) - end, 360.0);
    if (!std::isfinite(past_begin)) return month;  // not yet computed: a later pass decides
    const bool in_it = past_end > past_begin;
    const DayNumber nearest = in_it ? 0 : static_cast<DayNumber>(std::floor(past_end / kMoonFastest));
    const DayNumber farthest = static_cast<DayNumber>(std::ceil(past_begin / kMoonSlowest));
    for (DayNumber k = nearest; k <= farthest && last - k >= month; ++k)
        if (is_it(star(last - k))) return last - k;
    // Near perigee the Moon can pass all of the star between two days' star
    // instants: then the day within whose span it did.
    for (DayNumber d = last - 1; d >= month; --d)
        if (runtime::floored_mod(star(d) - begin, 360.0) > 180 && runtime::floored_mod(star(d + 1) - end, 360.0) < 180)
            return d;
    return month;
}

DayNumber day_of_ingress_observance(Sky& sky, const IngressJob& j) {
    const Observance& o = kObservances[j.row];
    const Ingress& in = std::get<Ingress>(o.by);
    if (o.kept == Kept::kerala_star || o.kept == Kept::tamil_star)
        return star_day(sky, o.kept == Kept::kerala_star ? Kept::kerala : Kept::tamil, in.sign, in.star, j.guess) +
               in.days_after;
    return first_day(sky, o.kept, sky.sun_reaches(30.0 * in.sign, j.guess)) + in.days_after;
}

// The TT Julian date, within days, when the Sun's sidereal longitude reaches
// `degrees` in Gregorian year `year`.
double ingress_guess(long long year, double degrees) {
    const double jan1 = astronomy::kUnixEpochJd + static_cast<double>(astronomy::days_from_civil(year, 1, 1));
    const double lon = kMeanSiderealAtJ2000 + kMeanSiderealRate * (jan1 - astronomy::kJ2000);
    return jan1 + runtime::floored_mod(degrees - lon, 360.0) / kMeanSiderealRate;
}

}  // namespace

std::pair<DayNumber, DayNumber> solar_month(Sky& sky, Kept month_rule, int sign, DayNumber near) {
    constexpr double kHalfYear = 365.2564 / 2;
    double guess = ingress_guess(astronomy::civil_from_days(near).y, 30.0 * sign);
    if (guess - approx_tt(near) > kHalfYear) guess -= 2 * kHalfYear;
    if (approx_tt(near) - guess > kHalfYear) guess += 2 * kHalfYear;
    return month_from(sky, month_rule, sign, guess);
}

std::vector<KeptOn> solar_days(Skies& skies, Where where, const std::vector<int>& rows, DayNumber first,
                               DayNumber last) {
    // An observance falls within a month of its ingress (Onam, the latest, in
    // the month's first 31 days), and the guess is within three days of it: the
    // ingresses that can put a day in the span.
    constexpr double kReachDays = 40;
    std::vector<IngressJob> jobs;
    const long long from = astronomy::civil_from_days(first).y - 1, to = astronomy::civil_from_days(last).y + 1;
    for (long long y = from; y <= to; ++y)
        for (int r : rows) {
            const double guess = ingress_guess(y, 30.0 * std::get<Ingress>(kObservances[r].by).sign);
            if (approx_tt(first) - kReachDays <= guess && guess <= approx_tt(last) + kReachDays)
                jobs.push_back({r, guess});
        }
    std::vector<KeptOn> out;
    settle(skies, [&] {
        out.clear();
        for (const IngressJob& j : jobs)
            out.push_back({day_of_ingress_observance(skies.at(kObservances[j.row].at.value_or(where)), j), j.row});
    });
    std::erase_if(out, [&](const KeptOn& k) { return k.day < first || k.day > last; });
    return out;
}

}  // namespace observed
