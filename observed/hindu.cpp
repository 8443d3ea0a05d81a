// observed/hindu.cpp: lunar months with their adhik and kshaya months, the
// festival tithis in them, and the rule that puts each festival on a civil day.
#include "observed/hindu.hpp"

#include "astronomy/roots.hpp"
#include "panchang/panchang.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <map>
#include <optional>

namespace observed {

namespace {

using astronomy::kTithiDegrees;

// The nakshatra Shravana: sidereal lunar longitudes from 280 to 293 1/3 degrees.
constexpr double kShravanaBegin = 21 * 360.0 / 27, kShravanaEnd = 22 * 360.0 / 27;

// One festival's tithi in one lunation: from `tithi.begin` to `tithi.end`, and
// its second half, after the Vishti karana (Bhadra) of a full-moon tithi, from
// `half` on.
struct Job {
    int rule;
    Span tithi;
    double half;
    std::size_t begin_at, end_at, half_at;  // the instants' places among the targets
};

bool needs_bhadra(Kept kept) { return kept == Kept::raksha_bandhan || kept == Kept::holika_dahan; }

// The instants where the sidereal elongation reaches each target (degrees, 0 to
// 360), each searched from its guess.
std::vector<double> elongation_reaches(const Context& ctx, const std::vector<double>& targets,
                                       std::vector<double> guesses) {
    auto residual = [&](const std::vector<double>& x) {
        std::vector<double> e = astronomy::nirayana_elongations(ctx, x);
        for (std::size_t i = 0; i < x.size(); ++i)
            e[i] = runtime::floored_mod(e[i] - targets[i] + 180.0, 360.0) - 180.0;
        return e;
    };
    return astronomy::chord_roots(residual, std::move(guesses));
}

class Rules {
public:
    explicit Rules(const Days& days) : days_(days) {}

    // The candidate days of a tithi: every civil day whose sunrise or daytime
    // it can touch, and for the night, the day before too.
    static std::pair<DayNumber, DayNumber> candidates(const Span& t, bool night = false) {
        return {approx_day(t.begin) - (night ? 1 : 0), approx_day(t.end)};
    }

    // Tithi at sunrise: the day whose sunrise has the tithi in force; of two such
    // days the first; if none, the day (sunrise to sunrise) in which the tithi
    // begins and ends.
    DayNumber at_sunrise(const Span& t) const {
        auto [first, last] = candidates(t);
        for (DayNumber d = first; d <= last; ++d)
            if (t.holds(days_.sunrise(d))) return d;
        return days_.day_of(t.begin);
    }

    // Tithi in a period: the day whose period `t` covers longest, measured as a
    // share of that day's period, so that a tithi covering two whole periods is
    // a tie, which goes to the first day.  Nothing when it covers none.
    template <typename Period>
    std::optional<DayNumber> longest(const Span& t, Period period) const {
        auto [first, last] = candidates(t, is_night(period));
        std::optional<DayNumber> best;
        double most = 0;
        for (DayNumber d = first; d <= last; ++d) {
            double s = share(t, (days_.*period)(d));
            if (s > most) most = s, best = d;
        }
        return best;
    }

    // A period festival; where the tithi covers no day's period, the sunrise rule.
    template <typename Period>
    DayNumber in_period(const Span& t, Period period) const {
        if (auto d = longest(t, period)) return *d;
        return at_sunrise(t);
    }

    // Raksha Bandhan is tied after Bhadra, the first half of the full-moon tithi:
    // (1) on the day whose aparahna the tithi's second half overlaps longest;
    // else (2) the same for pradosh; else (3) on the next day, when the tithi
    // lasts at least three muhurtas of daytime after its sunrise; else (4) on the
    // day on which Bhadra ends.
    DayNumber raksha_bandhan(const Job& j) const {
        const Span after_bhadra{j.half, j.tithi.end};
        if (auto d = longest(after_bhadra, &Days::aparahna)) return *d;
        if (auto d = longest(after_bhadra, &Days::pradosh)) return *d;
        const DayNumber next = days_.day_of(j.tithi.begin) + 1;
        const double rise = days_.sunrise(next);
        if (j.tithi.holds(rise) && j.tithi.end - rise >= 3 * days_.day_muhurta(next)) return next;
        return days_.day_of(j.half);
    }

    // Holika is lit in pradosh after Bhadra: (1) on the evening whose pradosh the
    // second half of the full-moon tithi overlaps (longest); else (2), when Bhadra
    // covers the whole pradosh of the tithi's first evening and the tithi lasts
    // at least three and a half prahars after the next sunrise, on the next
    // evening; else (3) on the first evening, once Bhadra has ended (late in that
    // night, which belongs to the same civil day).  Published practice also allows
    // Bhadra's tail (puchha) when Bhadra runs past midnight; that refinement is
    // left out, as it never moves the civil day.
    DayNumber holika_dahan(const Job& j) const {
        const Span bhadra{j.tithi.begin, j.half}, after_bhadra{j.half, j.tithi.end};
        if (auto d = longest(after_bhadra, &Days::pradosh)) return *d;
        std::optional<DayNumber> evening;
        auto [from, to] = candidates(j.tithi, true);
        for (DayNumber d = from; d <= to && !evening; ++d)
            if (share(j.tithi, days_.pradosh(d)) > 0) evening = d;
        if (!evening) return days_.day_of(j.tithi.begin);
        const DayNumber first = *evening;
        const Span p = days_.pradosh(first);
        const double rise = days_.sunrise(first + 1);
        if (bhadra.begin <= p.begin && p.end <= bhadra.end && j.tithi.holds(rise) &&
            j.tithi.end - rise >= 3.5 * days_.prahar(first + 1))
            return first + 1;
        return first;
    }

    // Dassehra (Vijayadashami) is kept on the day whose aparahna the tenth tithi
    // covers longest; but on the next day when the tithi is in force at that
    // day's sunrise and the Moon is in the nakshatra Shravana during its aparahna
    // (the Shravana yoga that decides between two days in published panchangs).
    // `moon` gives the Moon's sidereal longitude at the start and end of that
    // aparahna.
    DayNumber dassehra(const Job& j, std::pair<double, double> moon) const {
        const DayNumber d = in_period(j.tithi, &Days::aparahna);
        if (!j.tithi.holds(days_.sunrise(d + 1))) return d;
        auto [from, to] = moon;
        if (to < from) to += 360;
        return from < kShravanaEnd && to >= kShravanaBegin ? d + 1 : d;
    }

    DayNumber day_of_festival(const Job& j, std::pair<double, double> moon) const {
        switch (kHinduRules[j.rule].kept) {
            case Kept::sunrise: return at_sunrise(j.tithi);
            case Kept::madhyahna: return in_period(j.tithi, &Days::madhyahna);
            case Kept::aparahna: return in_period(j.tithi, &Days::aparahna);
            case Kept::pradosh: return in_period(j.tithi, &Days::pradosh);
            case Kept::nishita: return in_period(j.tithi, &Days::nishita);
            case Kept::raksha_bandhan: return raksha_bandhan(j);
            case Kept::holika_dahan: return holika_dahan(j);
            case Kept::dassehra: return dassehra(j, moon);
            case Kept::day_after: break;
        }
        throw std::logic_error("a festival without a tithi rule");
    }

private:
    template <typename Period>
    static bool is_night(Period period) {
        return period == &Days::pradosh || period == &Days::nishita;
    }

    const Days& days_;
};

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

std::vector<KeptOn> hindu_festivals(const Context& ctx, Days& days, const std::vector<double>& new_moons,
                                    DayNumber first, DayNumber last) {
    // Each festival's tithi in each lunation that can put a festival in the span:
    // the lunation's Shukla tithis 1 to 15, and Krishna tithis 16 to 30 carry the
    // purnimanta name of the month after.
    std::vector<Job> jobs;
    std::vector<double> targets, guesses;
    // Each instant once: adjacent festivals share the boundary between their tithis.
    std::map<std::pair<double, double>, std::size_t> known;
    auto reach = [&](const Span& lunation, double degrees) {
        auto [it, added] = known.try_emplace({lunation.begin, degrees}, targets.size());
        if (added) {
            targets.push_back(std::fmod(degrees, 360.0));
            guesses.push_back(lunation.begin + lunation.length() * degrees / 360);
        }
        return it->second;
    };
    for (const Lunation& l : lunations(ctx, new_moons)) {
        if (l.adhik || l.span.end < approx_tt(first) - 3 || l.span.begin > approx_tt(last) + 3) continue;
        for (int r = 0; r < static_cast<int>(std::size(kHinduRules)); ++r) {
            const HinduRule& rule = kHinduRules[r];
            if (rule.kept == Kept::day_after) continue;
            if (rule.month != (rule.krishna ? (l.month + 1) % 12 : l.month)) continue;
            const int tithi = rule.tithi + (rule.krishna ? 15 : 0);
            jobs.push_back({r, {}, 0, reach(l.span, (tithi - 1) * kTithiDegrees),
                            reach(l.span, tithi * kTithiDegrees),
                            needs_bhadra(rule.kept) ? reach(l.span, (tithi - 0.5) * kTithiDegrees) : 0});
        }
    }
    std::vector<double> when = elongation_reaches(ctx, targets, guesses);
    for (Job& j : jobs) {
        j.tithi = {when[j.begin_at], when[j.end_at]};
        j.half = when[j.half_at];
        // What the job's rule reads: the sunrises of its candidate days and those
        // on either side (day_of looks at them); for a period, whole days, and for
        // a night the day before; for the rules that look at the next day, that
        // day too.
        const DayNumber from = approx_day(j.tithi.begin), to = approx_day(j.tithi.end);
        days.need_sunrises(from - 1, to + 1);
        switch (kHinduRules[j.rule].kept) {
            case Kept::sunrise: break;
            case Kept::madhyahna:
            case Kept::aparahna: days.need(from, to); break;
            case Kept::pradosh:
            case Kept::nishita:
            case Kept::raksha_bandhan: days.need(from - 1, to); break;
            case Kept::holika_dahan:
            case Kept::dassehra: days.need(from - 1, to + 1); break;
            case Kept::day_after: break;
        }
    }
    days.compute(ctx);

    // Dassehra's second look: the Moon at the next day's aparahna.
    Rules rules(days);
    std::vector<double> aparahna_bounds;
    for (const Job& j : jobs)
        if (kHinduRules[j.rule].kept == Kept::dassehra) {
            Span a = days.aparahna(rules.in_period(j.tithi, &Days::aparahna) + 1);
            aparahna_bounds.push_back(a.begin);
            aparahna_bounds.push_back(a.end);
        }
    std::vector<double> moon;
    if (!aparahna_bounds.empty())
        moon = astronomy::nirayana_longitudes(ctx, ctx.moon, astronomy::times_tt(ctx, aparahna_bounds));

    std::vector<KeptOn> out;
    std::size_t dassehras = 0;
    for (const Job& j : jobs) {
        std::pair<double, double> at{0, 0};
        if (kHinduRules[j.rule].kept == Kept::dassehra) {
            at = {moon[2 * dassehras], moon[2 * dassehras + 1]};
            ++dassehras;
        }
        const DayNumber d = rules.day_of_festival(j, at);
        out.push_back({d, j.rule});
        // A festival kept the day after this one (Holi after Holika Dahan).
        if (j.rule + 1 < static_cast<int>(std::size(kHinduRules)) &&
            kHinduRules[j.rule + 1].kept == Kept::day_after)
            out.push_back({d + 1, j.rule + 1});
    }
    std::erase_if(out, [&](const KeptOn& k) { return k.day < first || k.day > last; });
    return out;
}

}  // namespace observed
