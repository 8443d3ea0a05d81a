// observed/lists.cpp: which of the days it reads each list keeps: Delhi's choice
// of three optional holidays for the gazetted list, the restricted list's share
// of the rest, the exchange's weekdays and its announced closures.
#include "observed/calendar.hpp"

#include "astronomy/civil.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

namespace observed {

namespace {

using Year = long long;

Year year_of(DayNumber d) { return astronomy::civil_from_days(d).y; }

// Delhi's three optional holidays of each year.
//
// The Department of Personnel and Training's office memorandum on each year's
// holidays (e.g. F.No.12/1/2019-JCA-2, for 2020) lists 14 holidays compulsory
// for central-government offices and 12 optional ones, of which the Central
// Government Employees Welfare Coordination Committee of each state capital
// chooses three; no substitute is given for a holiday that falls on a weekly
// off or on another holiday.  Delhi's committee takes the options in the
// memorandum's order (after the additional day for Dussehra, which it never
// takes), passing over one that falls on a Sunday or on a compulsory holiday:
// this gives Delhi's three in every published year from 2011 to 2026 (2011
// Holi, 2018, 2022 and 2025 Ram Navami on a Sunday; 2017 Janmashtami on
// Independence Day).  Saturdays are not passed over (2015, 2019).
std::set<std::pair<Year, int>> delhi_choice(const std::vector<Festival>& rows) {
    constexpr int kChosen = 3;
    std::map<Year, std::map<int, std::vector<DayNumber>>> options;  // year -> option -> its days
    std::map<Year, std::set<DayNumber>> compulsory;
    for (const Festival& f : rows) {
        const Observance& o = kObservances[f.order];
        const Year year = year_of(f.day);
        if (o.option > 0) options[year][o.option].push_back(f.day);
        else if (o.lists.in(ListId::gazetted, year)) compulsory[year].insert(f.day);
    }
    std::set<std::pair<Year, int>> chosen;
    for (auto& [year, of_year] : options) {
        int count = 0;
        for (auto& [option, days] : of_year) {
            if (count == kChosen) break;
            const bool passed_over = std::any_of(days.begin(), days.end(), [&](DayNumber d) {
                return weekday(d) == sunday || compulsory[year].count(d) > 0;
            });
            if (passed_over) continue;
            chosen.insert({year, option});
            ++count;
        }
    }
    return chosen;
}

}  // namespace

void keep_listed(const HolidayList& list, std::vector<Festival>& rows, bool as_published) {
    std::set<std::pair<Year, int>> chosen;
    if (list.chooses_options) chosen = delhi_choice(rows);
    auto kept = [&](const Festival& f) {
        const Observance& o = kObservances[f.order];
        const Member* member = o.lists.in(list.id, year_of(f.day));
        if (member == nullptr || (list.weekdays_only && weekend(f.day))) return false;
        switch (member->choice) {
            case Choice::always: return true;
            case Choice::if_chosen: return chosen.count({year_of(f.day), o.option}) > 0;
            case Choice::unless_chosen: return chosen.count({year_of(f.day), o.option}) == 0;
        }
        return false;
    };
    std::erase_if(rows, [&](const Festival& f) { return !kept(f); });
    const std::size_t listed = rows.size();
    for (const SecondDay& second : list.second_days)
        for (std::size_t i = 0; i < listed; ++i)
            if (std::string_view(rows[i].name) == second.after && year_of(rows[i].day) >= second.since)
                rows.push_back({rows[i].day + 1, rows[i].source, rows[i].order, second.name});
    for (int c = 0; c < static_cast<int>(list.closures.size()); ++c) {
        const Closure& closure = list.closures[c];
        if (as_published && closure.when == Notice::after_publication) continue;
        const DayNumber day = astronomy::days_from_civil(closure.year, closure.month, closure.day);
        if (closure.moves == nullptr) {
            rows.push_back({day, Source::closure, c, closure.name});
            continue;
        }
        for (Festival& f : rows)
            if (f.source != Source::closure && std::string_view(f.name) == closure.moves &&
                year_of(f.day) == closure.year)
                f.day = day;
    }
}

}  // namespace observed
