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

/// A list's custom of a second day: the day after `after` is kept as well,
/// from the year `since`.
struct SecondDay {
    const char* after;
    const char* name;
    int since = kFirstYear;
};

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

// The states' lists, also published a year ahead, predict the crescent at
// their capitals.  Kerala's planned days take the evening on which the Moon
// sets after the Sun by a few minutes (q above about -0.95), often a day before
// the rest of India.
inline constexpr Reckoning kKarnatakaCrescent{Where::bengaluru, 0.35};
inline constexpr Reckoning kTamilNaduCrescent{Where::chennai, 0.35};
inline constexpr Reckoning kTelanganaCrescent{Where::hyderabad, 0.15};
inline constexpr Reckoning kKeralaCrescent{Where::kozhikode, -0.83};

/// Telangana keeps the day after Eid-ul-Fitr ("Second day of Eid-ul-Fitr" in
/// 2019, "Following day of Ramzan" from 2020), and after Vijaya Dasami from its
/// list of 2021, which has no Durgashtami.
inline constexpr SecondDay kTelanganaSecondDays[] = {
    {"Eid_ul_Fitr", "Following_Day_of_Ramzan"},
    {"Dassehra", "Following_Day_of_Vijaya_Dasami", 2021},
};

/// The first day a list answers for, and why that day.
struct FirstDay {
    int year, month, day;
    const char* why;
};

/// The Saturdays a list's offices close, from a day on (every Sunday is closed).
struct Saturdays {
    int year, month, day;  ///< from this day
    unsigned closed;       ///< bit k - 1: the k-th Saturday of the month
};
inline constexpr unsigned kEverySaturday = 0b11111, kSecondSaturday = 0b00010, kSecondAndFourth = 0b01010;
inline constexpr Saturdays kSaturdaysClosed[] = {{1, 1, 1, kEverySaturday}};

struct HolidayList {
    const char* key;
    const char* description;
    ListId id;
    Where where = Where::delhi;  ///< where its almanacs read the sky
    Reckoning islamic;
    bool weekdays_only = false;    ///< a holiday on a Saturday or Sunday is not listed
    bool chooses_options = false;  ///< Delhi's three optional holidays are chosen per year
    FirstDay since;
    std::span<const Closure> closures = {};  ///< the days it closes or moves that no rule predicts
    std::span<const SecondDay> second_days = {};
    /// The weekly closures of its offices, latest last.
    std::span<const Saturdays> saturdays = kSaturdaysClosed;
};

// The Department of Personnel and Training's memoranda on each year's holidays
// are found from 2009; the rules reproduce every list found from 2015 on, with
// the memoranda that moved a day (closures.hpp).  2014's list has Dussehra and
// Id-ul-Zuha a day after the rules' days (3 and 6 October), and the whole lists
// of 2011 and 2013 were not found.
inline constexpr FirstDay kGovernmentSince{
    2015, 1, 1, "the first year from which the rules reproduce the government's published lists"};

// A state's list answers from the day the state was formed: Kerala, Mysore
// (Karnataka from 1973) and Madras (Tamil Nadu from 1969) in their present
// borders by the States Reorganisation Act on 1 November 1956, Maharashtra by
// the Bombay Reorganisation Act on 1 May 1960, Telangana by the Andhra Pradesh
// Reorganisation Act on 2 June 2014.  Its rows carry the years a change of
// composition is known for; before the lists found (2019-2022) a row without
// years is taken to have been kept as it is now.
inline constexpr const char* kStateFormed = "the day the state was formed";
inline constexpr FirstDay kReorganisation1956{1956, 11, 1, kStateFormed};

// Maharashtra's offices closed on the second and fourth Saturdays, and on every
// Saturday from 29 February 2020 (GAD resolution of 24 February 2020, the
// five-day week); Karnataka's on the second, and on the fourth too from 2020
// (the 2020 list's note on the weekly closures); Telangana's and Kerala's on the
// second (each year's order: "all Sundays and second Saturdays").
inline constexpr Saturdays kMaharashtraSaturdays[] = {{1, 1, 1, kSecondAndFourth}, {2020, 2, 29, kEverySaturday}};
inline constexpr Saturdays kKarnatakaSaturdays[] = {{1, 1, 1, kSecondSaturday}, {2020, 1, 1, kSecondAndFourth}};
inline constexpr Saturdays kSecondSaturdays[] = {{1, 1, 1, kSecondSaturday}};

inline constexpr HolidayList kLists[] = {
    {.key = "gazetted",
     .description = "Gazetted holidays of central-government offices in Delhi: the 14 compulsory everywhere and "
                    "the three chosen for Delhi",
     .id = ListId::gazetted, .islamic = kGovernmentCrescent, .chooses_options = true, .since = kGovernmentSince,
     .closures = kGovernmentMoves},
    {.key = "restricted",
     .description = "Restricted holidays of central-government offices, of which an employee may take two",
     .id = ListId::restricted, .islamic = kGovernmentCrescent, .chooses_options = true, .since = kGovernmentSince},
    // The capital-market segment of the exchange began trading in November 1994.
    {.key = "nse", .description = "Trading holidays of the National Stock Exchange of India (weekdays only)",
     .id = ListId::nse, .islamic = kExchangeCrescent, .weekdays_only = true,
     .since = {1994, 11, 3, "the exchange's first day of trading"}, .closures = kExchangeClosures},
    {.key = "MH",
     .description = "Public holidays of Maharashtra's government offices (General Administration Department)",
     .id = ListId::mh, .where = Where::mumbai, .islamic = kExchangeCrescent, .since = {1960, 5, 1, kStateFormed},
     .closures = kMaharashtraOrders, .saturdays = kMaharashtraSaturdays},
    {.key = "KA",
     .description = "General holidays of Karnataka's government offices (DPAR notification)",
     .id = ListId::ka, .where = Where::bengaluru, .islamic = kKarnatakaCrescent, .since = kReorganisation1956,
     .saturdays = kKarnatakaSaturdays},
    {.key = "TN",
     .description = "Public holidays of Tamil Nadu's government offices (Negotiable Instruments Act order)",
     .id = ListId::tn, .where = Where::chennai, .islamic = kTamilNaduCrescent, .since = kReorganisation1956,
     .closures = kTamilNaduOrders},
    {.key = "TG",
     .description = "General holidays of Telangana's government offices (General Administration Department)",
     .id = ListId::tg, .where = Where::hyderabad, .islamic = kTelanganaCrescent, .since = {2014, 6, 2, kStateFormed},
     .closures = kTelanganaOrders, .second_days = kTelanganaSecondDays, .saturdays = kSecondSaturdays},
    {.key = "KL",
     .description = "Public holidays of Kerala's government offices (General Administration Department)",
     .id = ListId::kl, .where = Where::thiruvananthapuram, .islamic = kKeralaCrescent, .since = kReorganisation1956,
     .closures = kKeralaOrders, .saturdays = kSecondSaturdays},
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
