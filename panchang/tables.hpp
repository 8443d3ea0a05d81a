// panchang/tables.hpp: the calendar name tables and the Hindu festival table.
// Their order is their meaning: the panchang indexes them arithmetically.
#pragma once

#include <iterator>

namespace panchang {

/// Lunar mansions, 360/27 degrees of sidereal lunar longitude each, from 0.
inline constexpr const char* kNakshatras[] = {
    "Ashwini",       "Bharani",        "Krittika",         "Rohini",
    "Mrigashira",    "Ardra",          "Punarvasu",        "Pushya",
    "Ashlesha",      "Magha",          "Purva_Phalguni",   "Uttara_Phalguni",
    "Hasta",         "Chitra",         "Swati",            "Vishakha",
    "Anuradha",      "Jyeshta",        "Mula",             "Purva_Ashadha",
    "Uttara_Ashadha", "Shravan",       "Dhanishta",        "Shatabhisha",
    "Purva_Bhadrapada", "Uttara_Bhadrapada", "Revati",
};
static_assert(std::size(kNakshatras) == 27);

/// Lunar months; the amanta month is the one after the Sun's sign at new moon.
inline constexpr const char* kHinduMonths[] = {
    "Chaitra", "Vaishakha", "Jyeshtha", "Ashadha", "Shravana", "Bhadrapada",
    "Ashvina", "Kartika",   "Margashirsha", "Pausha", "Magha", "Phalguna",
};
static_assert(std::size(kHinduMonths) == 12);

/// Sidereal signs, 30 degrees each, from 0.
inline constexpr const char* kRashis[] = {
    "Mesh", "Vrishabh", "Mithun",    "Kark",  "Sinha", "Kanya",
    "Tula", "Vrishchik", "Dhanu",    "Makar", "Kumbh", "Meen",
};
static_assert(std::size(kRashis) == 12);

/// Keyed the purnimanta way, as get_festival names months: the dark fortnight
/// (Krishna) carries the name of the month that follows it, so Janmashtami,
/// Maha Shivaratri and Dipawali fall in the Krishna paksha of Bhadrapada,
/// Phalguna and Kartika.
struct HinduFestival {
    const char* maas;
    const char* paksha;
    int tithi;  // within the paksha, 1 to 15
    const char* name;
};

inline constexpr HinduFestival kHinduFestivals[] = {
    {"Chaitra", "Shukla", 1, "Hindu_Nav_Varsh/Gudi_Padwa/Ugadi"},
    {"Chaitra", "Shukla", 9, "Shree_Ram_Navami"},
    {"Chaitra", "Shukla", 15, "Shree_Hanuman_Janmotsav"},
    {"Vaishakha", "Shukla", 3, "Akshaya_Tritiya"},
    {"Vaishakha", "Shukla", 15, "Buddha_Purnima"},
    {"Ashadha", "Shukla", 11, "Devshayani_Ekadashi"},
    {"Ashadha", "Shukla", 15, "Guru_Purnima"},
    {"Bhadrapada", "Krishna", 8, "Shree_Krishna_Janmashtami"},
    {"Shravana", "Shukla", 15, "Raksha_Bandhan"},
    {"Bhadrapada", "Shukla", 4, "Ganesh_Chaturthi"},
    {"Bhadrapada", "Shukla", 8, "Shree_Radha_Ashtami"},
    {"Ashvina", "Shukla", 1, "Navratri_Start"},
    {"Ashvina", "Shukla", 8, "Durga_Ashtami"},
    {"Ashvina", "Shukla", 9, "Maha_Navami"},
    {"Ashvina", "Shukla", 10, "Dassehra"},
    {"Kartika", "Krishna", 13, "Dhanteras"},
    {"Kartika", "Krishna", 14, "Narak_Chaturdashi"},
    {"Kartika", "Krishna", 15, "Dipawali"},
    {"Kartika", "Shukla", 1, "Gowardhan_Pooja"},
    {"Kartika", "Shukla", 2, "Bhai_Dooj"},
    {"Kartika", "Shukla", 6, "Chhath_Pooja"},
    {"Margashirsha", "Shukla", 11, "Mokshada_Ekadashi"},
    {"Pausha", "Shukla", 15, "Pausha_Purnima"},
    {"Magha", "Shukla", 5, "Basant_Panchami/Saraswati_Pooja"},
    {"Phalguna", "Krishna", 14, "Maha_Shiv_Ratri"},
    {"Phalguna", "Shukla", 14, "Holika_Dahan"},
    {"Phalguna", "Shukla", 15, "Holi"},
};
static_assert(std::size(kHinduFestivals) == 27);

}  // namespace panchang
