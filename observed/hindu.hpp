// observed/hindu.hpp: the civil days on which the Hindu festivals are kept.
#pragma once

#include "observed/days.hpp"

#include <vector>

namespace observed {

/// How the day of a festival follows from its tithi.
enum class Kept {
    sunrise,         ///< the day whose sunrise has the tithi in force
    madhyahna,       ///< the day whose madhyahna the tithi covers longest
    aparahna,        ///< the same for aparahna
    pradosh,         ///< the same for pradosh
    nishita,         ///< the same for nishita
    raksha_bandhan,  ///< aparahna or pradosh after Bhadra (see hindu.cpp)
    holika_dahan,    ///< the pradosh after Bhadra (see hindu.cpp)
    dassehra,        ///< aparahna, moved by the nakshatra Shravana (see hindu.cpp)
    day_after,       ///< the civil day after the festival before it in the table
};

struct HinduRule {
    int month;     ///< 0 "Chaitra" to 11 "Phalguna", the purnimanta name
    bool krishna;  ///< the dark fortnight
    int tithi;     ///< within the fortnight, 1 to 15
    const char* name;
    Kept kept;
};

/// The festivals and how each is kept, in the order rows of one day are listed.
inline constexpr HinduRule kHinduRules[] = {
    {0, false, 1, "Hindu_Nav_Varsh/Gudi_Padwa/Ugadi", Kept::sunrise},
    {0, false, 9, "Shree_Ram_Navami", Kept::madhyahna},
    {0, false, 15, "Shree_Hanuman_Janmotsav", Kept::sunrise},
    {1, false, 3, "Akshaya_Tritiya", Kept::sunrise},
    {1, false, 15, "Buddha_Purnima", Kept::sunrise},
    {3, false, 11, "Devshayani_Ekadashi", Kept::sunrise},
    {3, false, 15, "Guru_Purnima", Kept::sunrise},
    {4, false, 15, "Raksha_Bandhan", Kept::raksha_bandhan},
    {5, true, 8, "Shree_Krishna_Janmashtami", Kept::sunrise},
    {5, false, 4, "Ganesh_Chaturthi", Kept::madhyahna},
    {5, false, 8, "Shree_Radha_Ashtami", Kept::sunrise},
    {6, false, 1, "Navratri_Start", Kept::sunrise},
    {6, false, 8, "Durga_Ashtami", Kept::sunrise},
    {6, false, 9, "Maha_Navami", Kept::sunrise},
    {6, false, 10, "Dassehra", Kept::dassehra},
    {7, true, 13, "Dhanteras", Kept::pradosh},
    {7, true, 14, "Narak_Chaturdashi", Kept::sunrise},
    {7, true, 15, "Dipawali", Kept::pradosh},
    {7, false, 1, "Gowardhan_Pooja", Kept::sunrise},
    {7, false, 2, "Bhai_Dooj", Kept::aparahna},
    // Chhath's evening arghya is offered at the sunset of the day whose sunrise
    // has Shashthi, whether or not Shashthi still holds at that sunset: the
    // published days 2021-11-10 and 2023-11-19 are those; the tithi at sunset
    // would give the day before in both years.
    {7, false, 6, "Chhath_Pooja", Kept::sunrise},
    {8, false, 11, "Mokshada_Ekadashi", Kept::sunrise},
    {9, false, 15, "Pausha_Purnima", Kept::sunrise},
    {10, false, 5, "Basant_Panchami/Saraswati_Pooja", Kept::sunrise},
    {11, true, 14, "Maha_Shiv_Ratri", Kept::nishita},
    {11, false, 15, "Holika_Dahan", Kept::holika_dahan},
    {11, false, 15, "Holi", Kept::day_after},
};

/// A festival (an index of kHinduRules or of another source's table) on a day.
struct KeptOn {
    DayNumber day;
    int festival;
};

/// The Hindu festivals kept from civil day `first` to `last`, from the new moons
/// `new_moons` (TT, ascending, as almanac.moon_phases finds them) that reach
/// 47 days before `first` and 3 days after `last`.
std::vector<KeptOn> hindu_festivals(const Context& ctx, Days& days, const std::vector<double>& new_moons,
                                    DayNumber first, DayNumber last);

}  // namespace observed
