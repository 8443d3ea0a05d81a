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
/// first evening the crescent, seen from Delhi or from Mumbai, has Yallop's q
/// above `seen_above` (crescent.cpp).
struct Reckoning {
    bool at_mumbai;
    double seen_above;
};

/// The calendar without a list: Yallop's category A at Delhi.  His category B
/// (q above -0.014, visible under perfect conditions) counts evenings India does
/// not see: on 2020-07-21 q was 0.041 at Delhi, the crescent was not reported in
/// India and Dhu al-Hijjah began on the 23rd (Bakrid 2020-08-01).
inline constexpr Reckoning kDelhiCrescent{false, kYallopA};

/// The central government's lists, published a year ahead, predict the
/// crescent at Mumbai a little below category A: q above 0.15 gives every
/// Islamic holiday of its lists from 2017 to 2026 (the evenings decided lie
/// between q = 0.133, not counted seen, and 0.161, seen: 2026-05-17).
inline constexpr Reckoning kGovernmentCrescent{true, 0.15};

/// The exchange follows Maharashtra's list, which predicts the crescent at
/// Mumbai by category A: the evening of 2026-05-17 (q = 0.161) is not seen
/// there, and Bakri Id falls a day after the central government's.
inline constexpr Reckoning kExchangeCrescent{true, kYallopA};

struct HolidayList {
    const char* key;
    const char* description;
    ListId id;
    Reckoning islamic;
    bool weekdays_only;    ///< a holiday on a Saturday or Sunday is not listed
    bool chooses_options;  ///< Delhi's three optional holidays are chosen per year
    std::span<const Closure> closures = {};  ///< the days it closes that no rule predicts
};

inline constexpr HolidayList kLists[] = {
    {"gazetted",
     "Gazetted holidays of central-government offices in Delhi: the 14 compulsory everywhere and the "
     "three chosen for Delhi",
     ListId::gazetted, kGovernmentCrescent, false, true},
    {"restricted",
     "Restricted holidays of central-government offices, of which an employee may take two",
     ListId::restricted, kGovernmentCrescent, false, true},
    {"nse", "Trading holidays of the National Stock Exchange of India (weekdays only)", ListId::nse,
     kExchangeCrescent, true, false, kExchangeClosures},
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
