// observed/lists.hpp: India's published holiday lists, each computed by rule from
// the observances that it keeps, by its own reckonings.
#pragma once

#include "observed/closures.hpp"
#include "observed/crescent.hpp"
#include "observed/observances.hpp"

#include <iterator>
#include <span>
#include <string_view>

namespace observed {

/// How a calendar dates the Islamic months: each begins the day after the
/// first evening the crescent, seen from `where`, has Yallop's q above
/// `seen_above` (crescent.cpp).
struct Reckoning {
    Where where;
    double seen_above;
};

/// The calendar without a list: Yallop's category A at Delhi.  His category B
/// (q above -0.014, visible under perfect conditions) counts evenings India does
/// not see: on 2020-07-21 q was 0.041 at Delhi, the crescent was not reported in
/// India and Dhu al-Hijjah began on the 23rd (Bakrid 2020-08-01).
inline constexpr Reckoning kDelhiCrescent{Where::delhi, kYallopA};

/// The central government's lists, published a year ahead, predict the
/// crescent at Mumbai a little below category A: q above 0.15 gives every
/// Islamic holiday of its lists from 2017 to 2026 (the evenings decided lie
/// between q = 0.133, not counted seen, and 0.161, seen: 2026-05-17).
inline constexpr Reckoning kGovernmentCrescent{Where::mumbai, 0.15};

/// The exchange follows Maharashtra's list, which predicts the crescent at
/// Mumbai by category A: the evening of 2026-05-17 (q = 0.161) is not seen
/// there, and Bakri Id falls a day after the central government's.
inline constexpr Reckoning kExchangeCrescent{Where::mumbai, kYallopA};

/// The first day a list answers for, and why that day.
struct FirstDay {
    int year, month, day;
    const char* why;
};

struct HolidayList {
    const char* key;
    const char* description;
    ListId id;
    Where where;  ///< where its almanacs read the sky
    Reckoning islamic;
    bool weekdays_only;    ///< a holiday on a Saturday or Sunday is not listed
    bool chooses_options;  ///< Delhi's three optional holidays are chosen per year
    FirstDay since;
    std::span<const Closure> closures = {};  ///< the days it closes or moves that no rule predicts
};

// The Department of Personnel and Training's memoranda on each year's holidays
// are found from 2009; the rules reproduce every list found from 2015 on, with
// the memoranda that moved a day (closures.hpp).  2014's list has Dussehra and
// Id-ul-Zuha a day after the rules' days (3 and 6 October), and the whole lists
// of 2011 and 2013 were not found.
inline constexpr FirstDay kGovernmentSince{
    2015, 1, 1, "the first year from which the rules reproduce the government's published lists"};

inline constexpr HolidayList kLists[] = {
    {"gazetted",
     "Gazetted holidays of central-government offices in Delhi: the 14 compulsory everywhere and the "
     "three chosen for Delhi",
     ListId::gazetted, Where::delhi, kGovernmentCrescent, false, true, kGovernmentSince, kGovernmentMoves},
    {"restricted",
     "Restricted holidays of central-government offices, of which an employee may take two",
     ListId::restricted, Where::delhi, kGovernmentCrescent, false, true, kGovernmentSince},
    // The capital-market segment of the exchange began trading in November 1994.
    {"nse", "Trading holidays of the National Stock Exchange of India (weekdays only)", ListId::nse,
     Where::delhi, kExchangeCrescent, true, false, {1994, 11, 3, "the exchange's first day of trading"}, kExchangeClosures},
};

/// The list of that key, or null.
constexpr const HolidayList* find_list(std::string_view key) {
    for (const HolidayList& l : kLists)
        if (key == l.key) return &l;
    return nullptr;
}

/// Whether the list `list` (null: the calendar without a list) reads row `r`
/// of kObservances: it keeps it in some year, or its choice of options weighs
/// it (every option, and the compulsory holidays an option may coincide with).
constexpr bool reads(const HolidayList* list, int r) {
    const Observance& o = kObservances[r];
    if (list == nullptr) return o.in_calendar;
    return o.lists.any(list->id) || (list->chooses_options && (o.option > 0 || o.lists.any(ListId::gazetted)));
}

}  // namespace observed
