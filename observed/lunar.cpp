// observed/lunar.cpp: lunar months with their adhik and kshaya months, the
// observances' tithis in them, and the rule that puts each on a civil day.
#include "observed/lunar.hpp"

#include "observed/solar.hpp"
#include "panchang/panchang.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

namespace observed {

namespace {

using astronomy::kTithiDegrees;

// One observance's tithi in one lunation.
struct TithiJob {
    int row;
    Tithi fix;      // the row's, resolved
    Span lunation;  // from its new moon to the next
    int tithi;      // 1 to 30, counted from the new moon

    // The tithi `offset` tithis after this one.
    Span span(Sky& sky, int offset = 0) const {
        return {sky.elongation_reaches(lunation, (tithi - 1 + offset) * kTithiDegrees),
                sky.elongation_reaches(lunation, (tithi + offset) * kTithiDegrees)};
    }
    // The end of the first half of the tithi: for the full moon's, the end of
    // the Vishti karana (Bhadra).
    double half(Sky& sky) const { return sky.elongation_reaches(lunation, (tithi - 0.5) * kTithiDegrees); }
};

bool at_night(Period period) { return period == &Sky::pradosh || period == &Sky::nishita; }

// The candidate days of a tithi: every civil day whose sunrise or daytime it can
// touch, and for a night, the day before too.
std::pair<DayNumber, DayNumber> candidates(const Span& t, bool night = false) {
    return {approx_day(t.begin) - (night ? 1 : 0), approx_day(t.end)};
}

// Udaya tithi: the day whose sunrise has the tithi in force; of two such days
// the first; if none (a tithi that begins and ends between two sunrises), the
// day in which it begins and ends.
DayNumber at_sunrise(Sky& sky, const Span& t) {
    auto [first, last] = candidates(t);
    for (DayNumber d = first; d <= last; ++d)
        if (t.holds(sky.sunrise(d))) return d;
    return sky.day_of(t.begin);
}

// Of two sunrises in the tithi (a tithi longer than a day), the later: the day
// the tithi holds from sunrise to sunrise; else as at_sunrise.
DayNumber at_last_sunrise(Sky& sky, const Span& t) {
    auto [first, last] = candidates(t);
    for (DayNumber d = last; d >= first; --d)
        if (t.holds(sky.sunrise(d))) return d;
    return sky.day_of(t.begin);
}

// A tithi in a period: the day whose period `t` covers longest, measured as a
// share of that day's period, so that a tithi covering two whole periods is a
// tie, which goes to the first day.  Nothing when it covers none.
std::optional<DayNumber> longest(Sky& sky, const Span& t, Period period) {
    auto [first, last] = candidates(t, at_night(period));
    std::optional<DayNumber> best;
    double most = 0;
    for (DayNumber d = first; d <= last; ++d) {
        const double s = share(t, (sky.*period)(d));
        if (s > most) most = s, best = d;
    }
    return best;
}

// A period observance (madhyahna-, aparahna-, pradosh- or nishita-vyapini, as
// the Dharmasindhu and Nirnayasindhu classify them): the day whose period the
// tithi covers longest; where it covers no day's period, the tithi at sunrise.
DayNumber in_period(Sky& sky, const Span& t, Period period) {
    if (auto d = longest(sky, t, period)) return *d;
    return at_sunrise(sky, t);
}

// Raksha Bandhan is tied after Bhadra, the first half of the full-moon tithi:
// (1) on the day whose aparahna the tithi's second half overlaps longest; else
// (2) the same for pradosh; else (3) on the next day, when the tithi lasts at
// least three muhurtas of daytime after its sunrise; else (4) on the day on
// which Bhadra ends.
DayNumber raksha_bandhan(Sky& sky, const TithiJob& j) {
    const Span tithi = j.span(sky), after_bhadra{j.half(sky), tithi.end};
    if (auto d = longest(sky, after_bhadra, &Sky::aparahna)) return *d;
    if (auto d = longest(sky, after_bhadra, &Sky::pradosh)) return *d;
    const DayNumber next = sky.day_of(tithi.begin) + 1;
    const double rise = sky.sunrise(next);
    if (tithi.holds(rise) && tithi.end - rise >= 3 * sky.day_muhurta(next)) return next;
    return sky.day_of(after_bhadra.begin);
}

// Delhi keeps its midnight observances (Maha Shivaratri, the Smarta
// Janmashtami) on the day whose nishita the tithi touches; where it touches
// two, the later, as Madhava and the Nirnayasindhu hold (the Dharmasindhu, on
// Shivaratri: "dusrya divasachi ghenyas Madhava, Nirnayasindhu ... lihile
// ahe"; it prefers the first itself, as Maharashtra does); where it touches
// none, the tithi at sunrise.  Delhi's published days are the later where both
// nights are touched (Maha Shivaratri 2018-02-14, Janmashtami Smarta
// 2021-08-30); the exchange kept Maha Shivaratri 2018 on 02-13.
DayNumber at_nishita(Sky& sky, const Span& t) {
    auto [from, to] = candidates(t, true);
    for (DayNumber d = to; d >= from; --d)
        if (share(t, sky.nishita(d)) > 0) return d;
    return at_sunrise(sky, t);
}

// Holika is lit in pradosh after Bhadra: (1) on the evening whose pradosh the
// second half of the full-moon tithi overlaps (longest); else (2), when Bhadra
// covers the whole pradosh of the tithi's first evening and the tithi lasts at
// least three and a half prahars after the next sunrise, on the next evening;
// else (3) on the first evening, once Bhadra has ended (late in that night,
// which belongs to the same civil day).  Published practice also allows
// Bhadra's tail (puchha) when Bhadra runs past midnight; that refinement is left
// out, as it never moves the civil day.
DayNumber holika_dahan(Sky& sky, const TithiJob& j) {
    const Span tithi = j.span(sky), bhadra{tithi.begin, j.half(sky)}, after_bhadra{bhadra.end, tithi.end};
    if (auto d = longest(sky, after_bhadra, &Sky::pradosh)) return *d;
    std::optional<DayNumber> evening;
    auto [from, to] = candidates(tithi, true);
    for (DayNumber d = from; d <= to && !evening; ++d)
        if (share(tithi, sky.pradosh(d)) > 0) evening = d;
    if (!evening) return sky.day_of(tithi.begin);
    const DayNumber first = *evening;
    const Span p = sky.pradosh(first);
    const double rise = sky.sunrise(first + 1);
    if (bhadra.begin <= p.begin && p.end <= bhadra.end && tithi.holds(rise) &&
        tithi.end - rise >= 3.5 * sky.prahar(first + 1))
        return first + 1;
    return first;
}

// Holi, the colours, is played the day after Holika Dahan.
DayNumber after_holika_dahan(Sky& sky, const TithiJob& j) { return holika_dahan(sky, j) + 1; }

// Whether the Moon is in Shravana during the part of day `d`'s aparahna that
// `within` covers, its sidereal longitude read by `longitude` (the column's
// ayanamsha, or the published Lahiri's).
bool shravana_in_aparahna(Sky& sky, DayNumber d, const Span& within, double (Sky::*longitude)(double)) {
    const Span a = sky.aparahna(d);
    const double from_tt = std::max(a.begin, within.begin), to_tt = std::min(a.end, within.end);
    if (to_tt <= from_tt) return false;
    double from = (sky.*longitude)(from_tt), to = (sky.*longitude)(to_tt);
    if (to < from) to += 360;
    return from < kShravanaEnd && to >= kShravanaBegin;
}

constexpr Span kWholeDay{-INFINITY, INFINITY};

// Dassehra (Vijayadashami) is kept on the day whose aparahna the tenth tithi
// covers longest; but on the next day when the tithi is in force at that day's
// sunrise and the Moon is in the nakshatra Shravana during its aparahna (the
// Shravana yoga that decides between two days in published panchangs).
DayNumber dassehra(Sky& sky, const TithiJob& j) {
    const Span tithi = j.span(sky);
    const DayNumber d = in_period(sky, tithi, &Sky::aparahna);
    if (!tithi.holds(sky.sunrise(d + 1))) return d;
    return shravana_in_aparahna(sky, d + 1, kWholeDay, &Sky::moon_longitude) ? d + 1 : d;
}

// Karva Chauth: the fast ends at moonrise, and the day is the one whose
// moonrise has the fourth tithi of the dark fortnight (chandrodaya-vyapini
// chaturthi), the first of two; where no moonrise has it, the later day, the
// chaturthi joined to the next tithi (Dharmasindhu, quoted in Delhi's
// almanacs: "chandrodaya vyapini ... dono din ... na ho to parayuta").
DayNumber at_moonrise(Sky& sky, const TithiJob& j) {
    const Span tithi = j.span(sky);
    auto [first, last] = candidates(tithi);
    for (DayNumber d = first; d <= last; ++d)
        if (tithi.holds(sky.moonrise(d))) return d;
    return at_last_sunrise(sky, tithi);
}

// --- Maharashtra's almanacs (Date Panchang, Kalnirnay), which follow the
// Dharmasindhu, read at Mumbai.  D1 is the civil day on which the tithi begins,
// D2 the next.

// Lakshmi puja (Diwali Laxmi Pujan), on the amavasya of Ashvina (amanta):
// "paradine eva dinadvayepi va pradoshavyaptau para; purvatraiva
// pradoshavyaptau lakshmipujanadau purva", and where the amavasya touches only
// the first evening, "paratra yamatrayadhikavyapidarshapekshaya
// pratipadvriddhisattve lakshmipujadikam api paratraiva" (Dharmasindhu, as the
// Date Panchang and Kalnirnay quote it).  So: D2 when the amavasya touches D2's
// pradosh; when it touches only D1's, D2 if it lasts more than three yamas
// (prahars) after D2's sunrise and the pratipada is longer than it (grows),
// else D1; when it touches neither, D2 if it lasts more than three and a half
// yamas after D2's sunrise (the Purushartha Chintamani), else D1.
DayNumber lakshmi_puja(Sky& sky, const TithiJob& j) {
    const Span amavasya = j.span(sky), pratipada = j.span(sky, 1);
    const DayNumber d1 = approx_day(amavasya.begin), d2 = d1 + 1;
    if (share(amavasya, sky.pradosh(d2)) > 0) return d2;
    const double yamas = (amavasya.end - sky.sunrise(d2)) / sky.prahar(d2);
    if (share(amavasya, sky.pradosh(d1)) > 0)
        return yamas > 3 && pratipada.length() > amavasya.length() ? d2 : d1;
    return yamas > 3.5 ? d2 : d1;
}

// Holika Dahan needs the full-moon tithi in pradosh, free of Bhadra
// (Dharmasindhu): D2 when the tithi touches D2's pradosh; else D2 when none of
// D1's pradosh is free of Bhadra, the tithi lasts three and a half yamas after
// D2's sunrise and the pratipada grows; else D1, in Bhadra's tail if need be.
// Where it touches neither pradosh, the evening it covers longest.  Holi
// (Dhulivandan) is played the next day.
DayNumber dhulivandan(Sky& sky, const TithiJob& j) {
    const Span purnima = j.span(sky), pratipada = j.span(sky, 1), after_bhadra{j.half(sky), purnima.end};
    const DayNumber d1 = approx_day(purnima.begin), d2 = d1 + 1;
    const bool first = share(purnima, sky.pradosh(d1)) > 0, second = share(purnima, sky.pradosh(d2)) > 0;
    if (!first && !second) return in_period(sky, purnima, &Sky::pradosh) + 1;
    if (second) return d2 + 1;
    const bool long_on_d2 = purnima.end - sky.sunrise(d2) >= 3.5 * sky.prahar(d2);
    if (share(after_bhadra, sky.pradosh(d1)) == 0 && long_on_d2 && pratipada.length() > purnima.length())
        return d2 + 1;
    return d1 + 1;
}

// Vijayadashami (Dharmasindhu): the dashami in aparahna; when it is in the
// aparahna of both days, the day whose aparahna has Shravana with it (of none
// or both, the first); when in D1's alone, D2 if the dashami lasts three
// muhurtas after D2's sunrise and Shravana is in D2's aparahna ("dusre din
// suryodayanantar tri muhurta vyapini ... aparahna mein shravana ... to dusre
// din"); where it is in no aparahna, the tithi at sunrise.
DayNumber dassehra_by_dharmasindhu(Sky& sky, const TithiJob& j) {
    const Span dashami = j.span(sky);
    std::vector<DayNumber> days;
    auto [from, to] = candidates(dashami);
    for (DayNumber d = from; d <= to; ++d)
        if (share(dashami, sky.aparahna(d)) > 0) days.push_back(d);
    if (days.size() == 2) {
        const bool first = shravana_in_aparahna(sky, days[0], dashami, &Sky::lahiri_moon_longitude);
        const bool second = shravana_in_aparahna(sky, days[1], dashami, &Sky::lahiri_moon_longitude);
        return second && !first ? days[1] : days[0];
    }
    if (days.size() == 1) {
        const DayNumber d = days[0], next = d + 1;
        const double rise = sky.sunrise(next);
        if (dashami.holds(rise) && dashami.end - rise >= 3 * sky.day_muhurta(next) &&
            shravana_in_aparahna(sky, next, kWholeDay, &Sky::lahiri_moon_longitude))
            return next;
        return d;
    }
    return at_sunrise(sky, dashami);
}

// Kerala's almanacs give a tithi the day on which it holds six nazhikas (144
// minutes) after sunrise, as they give a star (Kalakaumudi, 15 October 2018:
// "the day on which Ashtami comes at six nazhikas in the morning" is
// Durgashtami; Vijayadashami is "the day Dashami tithi holds from sunrise for
// at least six nazhikas").  The first such day; if none, the tithi at sunrise.

DayNumber at_six_nazhikas(Sky& sky, const Span& t) {
    auto [first, last] = candidates(t);
    for (DayNumber d = first - 1; d <= last; ++d)
        if (t.holds(sky.sunrise(d) + kSixNazhikas)) return d;
    return at_sunrise(sky, t);
}

// The first day whose sunrise and the six nazhikas after it the tithi holds
// (Kerala's Vijayadashami: 26 October 2020, where dashami began after the 25th's
// sunrise); if none, at_six_nazhikas.
DayNumber at_sunrise_and_six_nazhikas(Sky& sky, const Span& t) {
    auto [first, last] = candidates(t);
    for (DayNumber d = first; d <= last; ++d)
        if (t.holds(sky.sunrise(d)) && t.holds(sky.sunrise(d) + kSixNazhikas)) return d;
    return at_six_nazhikas(sky, t);
}

// Kerala's Sreekrishna Jayanthi: the day whose midnight (ardharatri, halfway
// from sunset to the next sunrise) has the ashtami; where two do, the one whose
// midnight also has the star Rohini, else the first ("Rohini alone does not
// decide"); where none does, as at_nishita.
constexpr double kRohiniBegin = 3 * 360.0 / 27, kRohiniEnd = 4 * 360.0 / 27;

DayNumber at_ardharatri_with_rohini(Sky& sky, const Span& t) {
    auto [from, to] = candidates(t, true);
    std::vector<DayNumber> days;
    for (DayNumber d = from; d <= to; ++d) {
        const Span n = sky.night(d);
        if (t.holds((n.begin + n.end) / 2)) days.push_back(d);
    }
    if (days.empty()) return at_nishita(sky, t);
    for (DayNumber d : days) {
        const Span n = sky.night(d);
        const double moon = sky.lahiri_moon_longitude((n.begin + n.end) / 2);
        if (days.size() > 1 && kRohiniBegin <= moon && moon < kRohiniEnd) return d;
    }
    return days.front();
}

// The south keeps Deepavali on Naraka Chaturdashi, with the oil bath before
// dawn: the day whose arunodaya, the four ghatikas (96 minutes) before sunrise,
// has the chaturdashi ("killed Narakasura on the Chaturdasi ... Before sunrise,
// all in the house have their oil bath": Kerala's and Tamil Nadu's
// descriptions of Deepavali).  The first such day; if none, the tithi at
// sunrise.
constexpr double kFourGhatikas = 4 * 24.0 / 1440;  // days

DayNumber at_arunodaya(Sky& sky, const Span& t) {
    auto [first, last] = candidates(t);
    for (DayNumber d = first; d <= last + 1; ++d)
        if (t.holds(sky.sunrise(d) - kFourGhatikas)) return d;
    return at_sunrise(sky, t);
}

// Karkidaka Vavu: the bali is offered on the morning of the day whose
// amavasya covers the last six nazhikas before sunset ("if Karutha Vavu comes
// on two days, and on the first day the Amavasya tithi is present for six
// nazhikas at the time of sunset, the shraddha should be done in the morning of
// that day": the Akhila Kerala Jyothisha Mandalam, quoted by Kerala Kaumudi);
// if no day's are covered, the day with the amavasya at sunrise.
DayNumber vavu(Sky& sky, const Span& t) {
    auto [first, last] = candidates(t);
    for (DayNumber d = first; d <= last; ++d) {
        const double sunset = sky.sunset(d);
        if (t.holds(sunset - kSixNazhikas) && t.holds(sunset)) return d;
    }
    return at_sunrise(sky, t);
}

// Hyderabad's Bonalu closes on the Monday after the last Sunday of Ashada: the
// last Monday whose sunrise falls in the month, that is, before its amavasya
// ends (Telangana's list: 29 July 2019, 20 July 2020, 2 August 2021).
DayNumber last_monday(Sky& sky, const Span& t) {
    DayNumber d = sky.day_of(t.end);
    while (weekday(d) != monday) --d;
    return d;
}

DayNumber rule_day(Sky& sky, const TithiJob& j) {
    switch (kObservances[j.row].kept) {
        case Kept::sunrise: return at_sunrise(sky, j.span(sky));
        case Kept::six_nazhikas: return at_six_nazhikas(sky, j.span(sky));
        case Kept::sunrise_and_six_nazhikas: return at_sunrise_and_six_nazhikas(sky, j.span(sky));
        case Kept::ardharatri_rohini: return at_ardharatri_with_rohini(sky, j.span(sky));
        case Kept::arunodaya: return at_arunodaya(sky, j.span(sky));
        case Kept::vavu: return vavu(sky, j.span(sky));
        case Kept::last_monday: return last_monday(sky, j.span(sky));
        case Kept::madhyahna: return in_period(sky, j.span(sky), &Sky::madhyahna);
        case Kept::aparahna: return in_period(sky, j.span(sky), &Sky::aparahna);
        case Kept::pradosh: return in_period(sky, j.span(sky), &Sky::pradosh);
        case Kept::nishita: return in_period(sky, j.span(sky), &Sky::nishita);
        case Kept::last_sunrise: return at_last_sunrise(sky, j.span(sky));
        case Kept::moonrise: return at_moonrise(sky, j);
        case Kept::raksha_bandhan: return raksha_bandhan(sky, j);
        case Kept::holika_dahan: return holika_dahan(sky, j);
        case Kept::after_holika_dahan: return after_holika_dahan(sky, j);
        case Kept::dassehra: return dassehra(sky, j);
        case Kept::nishita_later: return at_nishita(sky, j.span(sky));
        case Kept::lakshmi_puja: return lakshmi_puja(sky, j);
        case Kept::dhulivandan: return dhulivandan(sky, j);
        case Kept::dassehra_by_dharmasindhu: return dassehra_by_dharmasindhu(sky, j);
        default: break;
    }
    throw std::logic_error(std::string("no tithi rule for ") + kObservances[j.row].name);
}

// No day: a tithi kept only in a solar month, in a lunation that falls outside it.
constexpr DayNumber kNoDay = std::numeric_limits<DayNumber>::min();

DayNumber day_of_tithi_observance(Sky& sky, const TithiJob& j) {
    const Tithi& t = j.fix;
    const DayNumber d = rule_day(sky, j) + t.days_after;
    if (t.solar_month == kNoSign) return d;
    auto [begin, end] = solar_month(sky, Kept::kerala, t.solar_month, d);
    return begin <= d && d <= end ? d : kNoDay;
}

// The amanta name (0 "Chaitra" to 11 "Phalguna") of each lunation that starts at
// one of `new_moons`: the month after the Sun's sidereal sign at its new moon, as
// the column names months.  A lunation in which the Sun enters no new sign (the
// sign is the same at both its new moons) is adhik: it carries the name of the
// month that follows, and no festival is kept in it, in either fortnight (the
// purnimanta adhik month is its two fortnights).  A lunation in which the Sun
// enters two signs (kshaya) is named after the first; the name of the second is
// skipped, and the festivals of that month are not kept that year.
struct Lunation {
    Span span;
    long long month;
    bool adhik;
};

std::vector<Lunation> lunations(const Context& ctx, const std::vector<double>& new_moons) {
    std::vector<double> sun = astronomy::nirayana_longitudes(ctx, ctx.sun, astronomy::times_tt(ctx, new_moons));
    std::vector<Lunation> out;
    for (std::size_t k = 0; k + 1 < new_moons.size(); ++k) {
        long long month = panchang::amanta_index(sun[k]);
        out.push_back({{new_moons[k], new_moons[k + 1]}, month, month == panchang::amanta_index(sun[k + 1])});
    }
    return out;
}

}  // namespace

std::vector<KeptOn> lunar_days(Skies& skies, Where where, const std::vector<double>& new_moons,
                               const std::vector<int>& rows, DayNumber first, DayNumber last) {
    // Each observance's tithi in each lunation that can put it in the span: the
    // lunation's Shukla tithis 1 to 15, and Krishna tithis 16 to 30 carry the
    // purnimanta name of the month after.  A rule's day lies within a day of
    // its tithi, and the tithi within its lunation.
    constexpr double kDaysPastLunation = 3;
    std::vector<TithiJob> jobs;
    for (const Lunation& l : lunations(skies.context(), new_moons)) {
        if (l.adhik || l.span.end < approx_tt(first) - kDaysPastLunation ||
            l.span.begin > approx_tt(last) + kDaysPastLunation)
            continue;
        for (int r : rows) {
            const Tithi t = std::get<Tithi>(fix_of(kObservances[r]));
            const bool krishna = t.paksha == Paksha::krishna;
            if (t.month != (krishna ? (l.month + 1) % 12 : l.month)) continue;
            jobs.push_back({r, t, l.span, t.tithi + (krishna ? 15 : 0)});
        }
    }
    std::vector<KeptOn> out;
    settle(skies, [&] {
        out.clear();
        for (const TithiJob& j : jobs)
            out.push_back({day_of_tithi_observance(skies.at(kObservances[j.row].at.value_or(where)), j), j.row});
    });
    std::erase_if(out, [&](const KeptOn& k) { return k.day < first || k.day > last; });
    return out;
}

}  // namespace observed
