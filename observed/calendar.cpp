// observed/calendar.cpp: every source of the observed calendar together, the
// whole-day calendars (Gregorian dates, Easter, the Shahenshahi year), and the
// span the ephemeris covers.
#include "observed/calendar.hpp"

#include "astronomy/civil.hpp"
#include "astronomy/internals.hpp"
#include "observed/closures.hpp"
#include "observed/crescent.hpp"
#include "observed/lunar.hpp"
#include "observed/solar.hpp"

#include <algorithm>
#include <optional>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <tuple>

namespace observed {

namespace {

// How far before and after its span a computation reaches into the ephemeris:
// the new moons, from at most 122 days before (the Islamic months' lead) to at
// most 61 after (new_moons_between's lunation on either side), and the Newton
// steps around them.
constexpr double kReachBeforeDays = 125;
constexpr double kReachAfterDays = 64;
// The new moons a span asks for: from 62 days before it (new_moons_between adds
// a lunation on either side, so the first is at most 122 days before), to 2
// days after.
constexpr double kNewMoonsBeforeDays = 62;
constexpr double kNewMoonsAfterDays = 2;

std::string iso(DayNumber d) {
    const astronomy::Civil c = astronomy::civil_from_days(d);
    char text[16];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d", c.y, c.m, c.d);
    return text;
}

// Easter Sunday of `year` by the Gregorian computus: the first Sunday after the
// ecclesiastical full moon on or after 21 March, in the form of the anonymous
// algorithm of 1876 that Meeus gives (Astronomical Algorithms, ch. 8), valid for
// every Gregorian year.
DayNumber easter_sunday(long long year) {
    const long long a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4;
    const long long f = (b + 8) / 25, g = (b - f + 1) / 3, h = (19 * a + b - d - g + 15) % 30;
    const long long i = c / 4, k = c % 4, l = (32 + 2 * e + 2 * i - h - k) % 7;
    const long long m = (a + 11 * h + 22 * l) / 451;
    const int month = static_cast<int>((h + l - 7 * m + 114) / 31), day = static_cast<int>((h + l - 7 * m + 114) % 31 + 1);
    return astronomy::days_from_civil(year, month, day);
}

// The Shahenshahi calendar of the Parsis of India counts years of exactly 365
// days (twelve months of 30 and five Gatha days, no leap day) from the
// accession of Yazdegerd III, whose year 1 began on 16 June 632 (Julian); it
// intercalated one month once, in the twelfth century, which the Kadmi
// reckoning did not, so that its Navroz falls 30 days after the Kadmi one.
// Julian Day Number of 1 Farvardin of year 1 of the era, and of the Unix epoch.
constexpr long long kYazdegerdEpochJdn = 1952063;
constexpr long long kShahenshahiIntercalation = 30;
constexpr long long kUnixEpochJdn = static_cast<long long>(astronomy::kUnixEpochJd + 0.5);

// The Navroz days from `first` to `last`.
std::vector<DayNumber> navroz_days(DayNumber first, DayNumber last) {
    const long long start = kYazdegerdEpochJdn + kShahenshahiIntercalation - kUnixEpochJdn;
    std::vector<DayNumber> out;
    for (long long n = astronomy::floor_div(first - start + 364, 365); start + 365 * n <= last; ++n)
        out.push_back(start + 365 * n);
    return out;
}

// The days of the whole-day observances (a Gregorian date, Easter, Navroz) in
// the span.
void whole_days(const std::vector<int>& rows, DayNumber first, DayNumber last, std::vector<Festival>& out) {
    const long long from = astronomy::civil_from_days(first).y, to = astronomy::civil_from_days(last).y;
    for (int r : rows) {
        const Fix fix = fix_of(kObservances[r]);
        std::vector<DayNumber> days;
        if (const auto* g = std::get_if<Gregorian>(&fix)) {
            for (long long y = from; y <= to; ++y) {
                const DayNumber d = astronomy::days_from_civil(y, g->month, g->day);
                if (astronomy::civil_from_days(d).d == g->day) days.push_back(d);  // 29 February
            }
        } else if (const auto* e = std::get_if<Easter>(&fix)) {
            for (long long y = from - 1; y <= to + 1; ++y) days.push_back(easter_sunday(y) + e->days_after);
        } else if (std::holds_alternative<Navroz>(fix)) {
            days = navroz_days(first, last);
        }
        for (DayNumber d : days)
            if (first <= d && d <= last) out.push_back({d, source_of(fix), r, kObservances[r].name});
    }
}

// The days of the Islamic observances in the span, on months that begin as
// `reckoning` has it: sunsets where it reckons, shared with the other sources.
void islamic_days(Skies& skies, const Reckoning& reckoning, const std::vector<double>& new_moons,
                  const std::vector<int>& rows, DayNumber first, DayNumber last, std::vector<Festival>& out) {
    if (rows.empty()) return;
    // The months reach one past the span: a month's last day is the day before
    // the next one's first (the new moons reach a lunation past the span).
    constexpr DayNumber kNextMonth = 31;
    std::vector<IslamicMonth> months =
        islamic_months(skies.context(), skies.days(reckoning.where), new_moons, first, last + kNextMonth,
                       reckoning.seen_above);
    for (std::size_t i = 0; i < months.size(); ++i) {
        const IslamicMonth& m = months[i];
        for (int r : rows) {
            const Fix fix = fix_of(kObservances[r]);
            std::optional<DayNumber> d;
            if (const auto* h = std::get_if<Hijri>(&fix); h && h->month == m.month) {
                d = m.first_day + h->day - 1;
            } else if (const auto* w = std::get_if<LastWeekday>(&fix); w && w->month == m.month) {
                // The month's last day is the day before the next month's first.
                if (i + 1 == months.size()) continue;
                d = months[i + 1].first_day - 1;
                while (weekday(*d) != w->weekday) --*d;
            }
            if (d && first <= *d && *d <= last) out.push_back({*d, Source::islamic, r, kObservances[r].name});
        }
    }
}

}  // namespace

Source source_of(const Fix& fix) {
    struct {
        Source operator()(const Tithi&) const { return Source::hindu; }
        Source operator()(const Ingress&) const { return Source::hindu; }
        Source operator()(const Hijri&) const { return Source::islamic; }
        Source operator()(const LastWeekday&) const { return Source::islamic; }
        Source operator()(const Easter&) const { return Source::christian; }
        Source operator()(const Navroz&) const { return Source::parsi; }
        Source operator()(const Gregorian&) const { return Source::fixed; }
        Source operator()(const Column&) const { throw std::logic_error("an unresolved Column"); }
    } source;
    return std::visit(source, fix);
}

const char* source_name(Source s) {
    switch (s) {
        case Source::hindu: return "hindu";
        case Source::islamic: return "islamic";
        case Source::christian: return "christian";
        case Source::parsi: return "parsi";
        case Source::fixed: return "fixed";
        case Source::closure: return "closure";
    }
    return "";
}

namespace {

// A list that chooses among a year's holidays answers for whole years, and
// reads whole years to answer for part of one.
bool by_whole_years(const HolidayList* list) { return list != nullptr && list->chooses_options; }

DayNumber new_year(DayNumber d) { return astronomy::days_from_civil(astronomy::civil_from_days(d).y, 1, 1); }
DayNumber year_end(DayNumber d) { return astronomy::days_from_civil(astronomy::civil_from_days(d).y, 12, 31); }

DayNumber first_day_of(const HolidayList& list) {
    return astronomy::days_from_civil(list.since.year, list.since.month, list.since.day);
}

// Refuses a span outside what the ephemeris and the list cover, or a Skyfield
// whose internals the calendar cannot use.
void check_covered(const Context& ctx, DayNumber first, DayNumber last, const HolidayList* list) {
    auto [from, to] = covered_days(ctx, list);
    if (list != nullptr && first < from && from == first_day_of(*list))
        throw py::value_error(std::string("the list \"") + list->key + "\" is computed from " + iso(from) + ", " +
                              list->since.why + ", to " + iso(to) + "; " + iso(first) + " to " + iso(last) +
                              " is outside it");
    if (first < from || last > to)
        throw py::value_error("the ephemeris covers the observed calendar" +
                              std::string(list ? std::string(" of the list \"") + list->key + "\"" : "") +
                              " from " + iso(from) + " to " + iso(to) + "; " + iso(first) + " to " + iso(last) +
                              " is outside it");
    if (const char* reason = astronomy::internals_disagree(ctx))
        throw std::runtime_error(std::string("the observed calendar cannot use this Skyfield: ") + reason);
}

// The rows of kObservances that `list` reads, by the calendar that dates them.
struct RowsRead {
    std::vector<int> lunar, solar, islamic, whole;
};

RowsRead rows_read(const HolidayList* list) {
    RowsRead rows;
    for (int r = 0; r < kObservanceCount; ++r) {
        if (!reads(list, r)) continue;
        const Fix fix = fix_of(kObservances[r]);
        if (std::holds_alternative<Tithi>(fix)) rows.lunar.push_back(r);
        else if (std::holds_alternative<Ingress>(fix)) rows.solar.push_back(r);
        else if (source_of(fix) == Source::islamic) rows.islamic.push_back(r);
        else rows.whole.push_back(r);
    }
    return rows;
}

// The days of `rows` from `first` to `last`, each by its calendar: the Hindu
// rules reading the sky at `where`, the Islamic months as `islamic` reckons
// them.
std::vector<Festival> days_of(const Context& ctx, const RowsRead& rows, DayNumber first, DayNumber last,
                              Where where, const Reckoning& islamic) {
    std::vector<Festival> out;
    std::vector<double> new_moons = astronomy::new_moons_between(ctx, approx_tt(first) - kNewMoonsBeforeDays,
                                                                 approx_tt(last) + kNewMoonsAfterDays);
    Skies skies(ctx);
    for (const KeptOn& k : lunar_days(skies, where, new_moons, rows.lunar, first, last))
        out.push_back({k.day, Source::hindu, k.observance, kObservances[k.observance].name});
    for (const KeptOn& k : solar_days(skies, where, rows.solar, first, last))
        out.push_back({k.day, Source::hindu, k.observance, kObservances[k.observance].name});
    islamic_days(skies, islamic, new_moons, rows.islamic, first, last, out);
    whole_days(rows.whole, first, last, out);
    return out;
}

}  // namespace

std::pair<DayNumber, DayNumber> covered_days(const Context& ctx, const HolidayList* list) {
    auto [first_tt, last_tt] = astronomy::ephemeris_coverage(ctx);
    if (!(first_tt <= last_tt) || !std::isfinite(first_tt) || !std::isfinite(last_tt)) return {1, 0};
    DayNumber first = approx_day(first_tt + kReachBeforeDays) + 1, last = approx_day(last_tt - kReachAfterDays) - 1;
    if (by_whole_years(list)) {
        if (first != new_year(first)) first = year_end(first) + 1;
        if (last != year_end(last)) last = new_year(last) - 1;
    }
    if (list != nullptr) first = std::max(first, first_day_of(*list));
    return {first, last};
}

std::vector<Festival> festivals_between(const Context& ctx, DayNumber first, DayNumber last,
                                        const HolidayList* list, bool as_published) {
    check_covered(ctx, first, last, list);
    if (first > last) return {};
    const bool whole_years = by_whole_years(list);
    std::vector<Festival> out = days_of(ctx, rows_read(list), whole_years ? new_year(first) : first,
                                        whole_years ? year_end(last) : last, list ? list->where : Where::delhi,
                                        list ? list->islamic : kDelhiCrescent);
    if (list != nullptr) keep_listed(*list, out, as_published);
    std::erase_if(out, [&](const Festival& f) { return f.day < first || f.day > last; });
    std::sort(out.begin(), out.end(), [](const Festival& a, const Festival& b) {
        return std::tie(a.day, a.source, a.order) < std::tie(b.day, b.source, b.order);
    });
    return out;
}

}  // namespace observed
