// observed/observances.hpp: every observance the observed calendar knows, one
// row each: its name, what fixes it, the rule that picks its civil day, and the
// published lists that keep it.
//
// A row reads as a holiday of pandas.tseries.holiday does: the name, the date in
// its own calendar (a tithi of a lunar month, the Sun's entry into a sign, a
// Hijri day, a Gregorian date, Easter), and the day rule, by name.  The rules
// are defined, each in one place with the published description it follows, in
// lunar.cpp (tithis), solar.cpp (ingresses) and calendar.cpp (whole days).
#pragma once

#include "frame/holidays.hpp"
#include "islamic/hijri.hpp"
#include "panchang/tables.hpp"

#include <iterator>
#include <string_view>
#include <variant>

namespace observed {

/// Lunar months by their purnimanta names, as the column names them
/// (panchang::kHinduMonths): the dark fortnight carries the name of the month
/// that follows it.
enum Month { chaitra, vaishakha, jyeshtha, ashadha, shravana, bhadrapada, ashvina, kartika,
             margashirsha, pausha, magha, phalguna };
enum class Paksha { shukla, krishna };

/// The sidereal signs (panchang::kRashis), from 0 degrees.
enum Sign { mesha, vrishabha, mithuna, karka, simha, kanya, tula, vrishchika, dhanu, makara, kumbha,
            meena };

/// A tithi (1 to 15) of a fortnight of a lunar month.
struct Tithi {
    Month month;
    Paksha paksha;
    int tithi;
};

/// The solar month that begins when the Sun enters `sign`: its first day plus
/// `days_after` (negative: the days before it).
struct Ingress {
    Sign sign;
    int days_after = 0;
};

/// A day of a Hijri month.
struct Hijri {
    int month;
    int day;
};

/// The last given weekday (0 Monday to 6 Sunday) of a Hijri month.
struct LastWeekday {
    int month;
    int weekday;
};

/// A Gregorian month and day.
struct Gregorian {
    int month;
    int day;
};

/// Easter Sunday of the Gregorian computus, plus `days_after`.
struct Easter {
    int days_after = 0;
};

/// The first day (Navroz) of the Shahenshahi year of the Parsis.
struct Navroz {};

/// Fixed as the "festival" column fixes the same name: its Gregorian date in
/// frame::kFixedHolidays, or its Hijri day in islamic::kIslamicFestivals.
struct Column {};

using Fix = std::variant<Tithi, Ingress, Hijri, LastWeekday, Gregorian, Easter, Navroz, Column>;

/// How the civil day of an observance follows from what fixes it.  Each rule is
/// defined once, beside the published description it follows: the tithi rules
/// in lunar.cpp, the ingress rules in solar.cpp.
enum class Kept {
    on_the_day,          ///< a whole-day calendar gives the day itself
    // A tithi ...
    sunrise,             ///< ... in force at the day's sunrise (udaya tithi)
    last_sunrise,        ///< ... the same; of two sunrises, the later
    madhyahna,           ///< ... covering the day's madhyahna longest
    aparahna,            ///< ... the same for aparahna
    pradosh,             ///< ... the same for pradosh
    nishita,             ///< ... the same for nishita
    nishita_later,       ///< ... touching nishita; of two nights, the later
    moonrise,            ///< ... in force at the day's moonrise
    raksha_bandhan,      ///< the full-moon tithi after Bhadra, in aparahna or pradosh
    holika_dahan,        ///< the pradosh of the full-moon tithi after Bhadra
    after_holika_dahan,  ///< the day after Holika Dahan
    dassehra,            ///< aparahna, moved by the nakshatra Shravana
    // Maharashtra's almanacs, after the Dharmasindhu:
    lakshmi_puja,              ///< the amavasya's pradosh, or the longer day after
    dhulivandan,               ///< the day after Holika Dahan by its rule
    dassehra_by_dharmasindhu,  ///< aparahna, with Shravana and three muhurtas
    // The Sun's entry into a sign, by each region's rule for the day a solar
    // month begins ...
    civil_day,           ///< ... the civil day (midnight to midnight) of the entry
    punjab,              ///< ... the day whose sunrise-to-sunrise span holds it
    tamil,               ///< ... that day if before sunset, else the next
    bengal,              ///< ... the day after the civil day of the entry
    kerala,              ///< ... that day if before the end of madhyahna, else the next
    onam,                ///< the day of Chingam whose sunrise has Thiruvonam (Shravana)
};

/// The published lists, as bits.
enum ListBits : unsigned {
    kGazetted = 1,    ///< compulsory for central-government offices everywhere
    kRestricted = 2,  ///< the restricted holidays of central-government offices
    kExchange = 4,    ///< the National Stock Exchange's trading holidays
};

/// One observance, or one list's reckoning of it.
///
/// `option` is the observance's place (from 1) in the set of optional holidays
/// from which three are chosen for Delhi's gazetted list (lists.cpp): a row with
/// an option and kGazetted is kept there when its option is chosen, one with an
/// option and kRestricted is kept in the restricted list when it is not.
///
/// The calendar without a list (`in_calendar`) holds every observance once, by
/// Delhi's reckoning; a row that is only a list's own reckoning of an
/// observance (the Vaishnava or Smarta day, Maharashtra's almanacs for the
/// exchange) is kept by that list alone.  A row reckoned by Maharashtra's
/// almanacs reads sunrise and sunset at Mumbai.
struct Observance {
    const char* name;
    Fix by;
    Kept kept = Kept::on_the_day;
    unsigned lists = 0;
    int option = 0;
    bool in_calendar = true;
    bool maharashtra = false;
};

// Rows of one civil day are listed in table order within each source (Hindu,
// Islamic, Christian, Parsi, fixed).
inline constexpr Observance kObservances[] = {
    // --- Hindu lunar: purnimanta month, paksha, tithi -------------------------
    {.name = "Hindu_Nav_Varsh/Gudi_Padwa/Ugadi", .by = Tithi{chaitra, Paksha::shukla, 1},
     .kept = Kept::sunrise, .lists = kRestricted},
    // Ram Navami is kept on the Smarta day, the ninth at madhyahna, the hour of
    // Rama's birth (in every published list 2011-2026).  Delhi passes over the
    // option when the Vaishnava day, the ninth at sunrise, is a Sunday (2019:
    // Saturday 13 April Smarta, Sunday 14 April Vaishnava): that row weighs in
    // the choice only.
    {.name = "Shree_Ram_Navami", .by = Tithi{chaitra, Paksha::shukla, 9}, .kept = Kept::madhyahna,
     .lists = kGazetted | kRestricted | kExchange, .option = 3},
    {.name = "Shree_Ram_Navami", .by = Tithi{chaitra, Paksha::shukla, 9}, .kept = Kept::sunrise,
     .option = 3, .in_calendar = false},
    {.name = "Mahavir_Jayanti", .by = Tithi{chaitra, Paksha::shukla, 13}, .kept = Kept::sunrise,
     .lists = kGazetted | kExchange},
    {.name = "Shree_Hanuman_Janmotsav", .by = Tithi{chaitra, Paksha::shukla, 15}, .kept = Kept::sunrise},
    {.name = "Akshaya_Tritiya", .by = Tithi{vaishakha, Paksha::shukla, 3}, .kept = Kept::sunrise},
    {.name = "Buddha_Purnima", .by = Tithi{vaishakha, Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = kGazetted},
    {.name = "Rath_Yatra", .by = Tithi{ashadha, Paksha::shukla, 2}, .kept = Kept::sunrise,
     .lists = kGazetted | kRestricted, .option = 7},
    {.name = "Devshayani_Ekadashi", .by = Tithi{ashadha, Paksha::shukla, 11}, .kept = Kept::sunrise},
    {.name = "Guru_Purnima", .by = Tithi{ashadha, Paksha::shukla, 15}, .kept = Kept::sunrise},
    {.name = "Raksha_Bandhan", .by = Tithi{shravana, Paksha::shukla, 15}, .kept = Kept::raksha_bandhan,
     .lists = kRestricted},
    // The gazetted option is the Vaishnava day, the eighth at sunrise; the
    // restricted list always has the Smarta day, the eighth at midnight.
    {.name = "Shree_Krishna_Janmashtami", .by = Tithi{bhadrapada, Paksha::krishna, 8},
     .kept = Kept::sunrise, .lists = kGazetted, .option = 2},
    {.name = "Shree_Krishna_Janmashtami", .by = Tithi{bhadrapada, Paksha::krishna, 8},
     .kept = Kept::nishita_later, .lists = kRestricted, .in_calendar = false},
    {.name = "Ganesh_Chaturthi", .by = Tithi{bhadrapada, Paksha::shukla, 4}, .kept = Kept::madhyahna,
     .lists = kGazetted | kRestricted | kExchange, .option = 5},
    {.name = "Shree_Radha_Ashtami", .by = Tithi{bhadrapada, Paksha::shukla, 8}, .kept = Kept::sunrise},
    {.name = "Navratri_Start", .by = Tithi{ashvina, Paksha::shukla, 1}, .kept = Kept::sunrise},
    {.name = "Maha_Saptami", .by = Tithi{ashvina, Paksha::shukla, 7}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Durga_Ashtami", .by = Tithi{ashvina, Paksha::shukla, 8}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Maha_Navami", .by = Tithi{ashvina, Paksha::shukla, 9}, .kept = Kept::sunrise},
    // The restricted list keeps Maha Navami by madhyahna (2021-10-14, and
    // 2024-10-11, beside Maha Ashtami).
    {.name = "Maha_Navami", .by = Tithi{ashvina, Paksha::shukla, 9}, .kept = Kept::madhyahna,
     .lists = kRestricted, .in_calendar = false},
    {.name = "Dassehra", .by = Tithi{ashvina, Paksha::shukla, 10}, .kept = Kept::dassehra,
     .lists = kGazetted},
    {.name = "Dassehra", .by = Tithi{ashvina, Paksha::shukla, 10}, .kept = Kept::dassehra_by_dharmasindhu,
     .lists = kExchange, .in_calendar = false, .maharashtra = true},
    {.name = "Maharishi_Valmiki_Jayanti", .by = Tithi{ashvina, Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Karva_Chauth", .by = Tithi{kartika, Paksha::krishna, 4}, .kept = Kept::moonrise,
     .lists = kRestricted},
    {.name = "Dhanteras", .by = Tithi{kartika, Paksha::krishna, 13}, .kept = Kept::pradosh},
    {.name = "Narak_Chaturdashi", .by = Tithi{kartika, Paksha::krishna, 14}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Dipawali", .by = Tithi{kartika, Paksha::krishna, 15}, .kept = Kept::pradosh,
     .lists = kGazetted},
    {.name = "Diwali_Laxmi_Pujan", .by = Tithi{kartika, Paksha::krishna, 15}, .kept = Kept::lakshmi_puja,
     .lists = kExchange, .in_calendar = false, .maharashtra = true},
    {.name = "Gowardhan_Pooja", .by = Tithi{kartika, Paksha::shukla, 1}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Diwali_Balipratipada", .by = Tithi{kartika, Paksha::shukla, 1}, .kept = Kept::sunrise,
     .lists = kExchange, .in_calendar = false, .maharashtra = true},
    {.name = "Bhai_Dooj", .by = Tithi{kartika, Paksha::shukla, 2}, .kept = Kept::aparahna,
     .lists = kRestricted},
    // Chhath's evening arghya is offered at the sunset of the day whose sunrise
    // has Shashthi, whether or not Shashthi still holds at that sunset: the
    // published days 2021-11-10 and 2023-11-19 are those; the tithi at sunset
    // would give the day before in both years.
    {.name = "Chhath_Pooja", .by = Tithi{kartika, Paksha::shukla, 6}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Guru_Nanak_Jayanti", .by = Tithi{kartika, Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = kGazetted | kExchange},
    {.name = "Mokshada_Ekadashi", .by = Tithi{margashirsha, Paksha::shukla, 11}, .kept = Kept::sunrise},
    {.name = "Guru_Gobind_Singh_Jayanti", .by = Tithi{pausha, Paksha::shukla, 7}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Pausha_Purnima", .by = Tithi{pausha, Paksha::shukla, 15}, .kept = Kept::sunrise},
    {.name = "Basant_Panchami/Saraswati_Pooja", .by = Tithi{magha, Paksha::shukla, 5}, .kept = Kept::sunrise,
     .lists = kGazetted | kRestricted, .option = 10},
    {.name = "Guru_Ravidas_Jayanti", .by = Tithi{magha, Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = kRestricted},
    {.name = "Swami_Dayananda_Saraswati_Jayanti", .by = Tithi{phalguna, Paksha::krishna, 10},
     .kept = Kept::last_sunrise, .lists = kRestricted},
    {.name = "Maha_Shiv_Ratri", .by = Tithi{phalguna, Paksha::krishna, 14}, .kept = Kept::nishita_later,
     .lists = kGazetted | kRestricted, .option = 4},
    {.name = "Maha_Shiv_Ratri", .by = Tithi{phalguna, Paksha::krishna, 14}, .kept = Kept::nishita,
     .lists = kExchange, .in_calendar = false, .maharashtra = true},
    // The column keys Holika Dahan to the fourteenth; it is kept in the evening
    // of the full-moon tithi once Bhadra has ended.
    {.name = "Holika_Dahan", .by = Tithi{phalguna, Paksha::shukla, 15}, .kept = Kept::holika_dahan,
     .lists = kRestricted},
    {.name = "Holi", .by = Tithi{phalguna, Paksha::shukla, 15}, .kept = Kept::after_holika_dahan,
     .lists = kGazetted | kRestricted, .option = 1},
    {.name = "Holi", .by = Tithi{phalguna, Paksha::shukla, 15}, .kept = Kept::dhulivandan,
     .lists = kExchange, .in_calendar = false, .maharashtra = true},
    {.name = "Dolyatra", .by = Tithi{phalguna, Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = kRestricted},

    // --- Hindu solar: the Sun's sidereal entry into a sign --------------------
    {.name = "Lohri", .by = Ingress{makara, -1}, .kept = Kept::punjab, .lists = kRestricted},
    {.name = "Makar_Sankranti", .by = Ingress{makara}, .kept = Kept::punjab,
     .lists = kGazetted | kRestricted, .option = 6},
    {.name = "Magha_Bihu", .by = Ingress{makara}, .kept = Kept::civil_day, .lists = kRestricted},
    {.name = "Pongal", .by = Ingress{makara}, .kept = Kept::tamil, .lists = kGazetted | kRestricted,
     .option = 9},
    {.name = "Vaisakhi/Vishu", .by = Ingress{mesha}, .kept = Kept::punjab, .lists = kRestricted},
    {.name = "Meshadi/Puthandu", .by = Ingress{mesha}, .kept = Kept::tamil, .lists = kRestricted},
    {.name = "Vaisakhadi/Bahag_Bihu", .by = Ingress{mesha}, .kept = Kept::bengal, .lists = kRestricted},
    {.name = "Guru_Rabindranath_Jayanti", .by = Ingress{mesha, 24}, .kept = Kept::bengal,
     .lists = kRestricted},
    {.name = "Onam", .by = Ingress{simha}, .kept = Kept::onam, .lists = kGazetted | kRestricted,
     .option = 8},

    // --- Islamic: the Hijri day, months by the crescent ----------------------
    {.name = "Muharram", .by = Column{}},
    {.name = "Day_of_Ashura", .by = Column{}, .lists = kGazetted | kExchange},
    {.name = "Eid_Milad_un_Nabi", .by = Column{}, .lists = kGazetted},
    {.name = "Hazarat_Ali_Birthday", .by = Hijri{7, 13}, .lists = kRestricted},
    {.name = "Shab_e_Miraj", .by = Column{}},
    {.name = "Shab_e_Barat", .by = Column{}},
    {.name = "Ramadan_Start", .by = Column{}},
    {.name = "Jamat_ul_Vida", .by = LastWeekday{9, 4}, .lists = kRestricted},
    {.name = "Shab_e_Qadr", .by = Column{}},
    {.name = "Eid_ul_Fitr", .by = Column{}, .lists = kGazetted | kExchange},
    {.name = "Arafah", .by = Column{}},
    {.name = "Bakrid", .by = Column{}, .lists = kGazetted | kExchange},

    // --- Christian: the Gregorian computus ------------------------------------
    {.name = "Good_Friday", .by = Easter{-2}, .lists = kGazetted | kExchange},
    {.name = "Easter_Sunday", .by = Easter{}, .lists = kRestricted},

    // --- Parsi: the Shahenshahi year ------------------------------------------
    {.name = "Parsi_New_Year", .by = Navroz{}, .lists = kRestricted},

    // --- Fixed Gregorian dates -------------------------------------------------
    {.name = "New_Year", .by = Column{}, .lists = kRestricted},
    {.name = "National_Youth_Day", .by = Column{}},
    {.name = "Indian_Army_Day", .by = Column{}},
    {.name = "Netaji_Subhash_Chandra_Bose_Jayanti", .by = Column{}},
    {.name = "Republic_Day", .by = Column{}, .lists = kGazetted | kExchange},
    {.name = "Martyrs_Day", .by = Column{}},
    {.name = "Valentines_Day/Black_Day", .by = Column{}},
    {.name = "Shivaji_Jayanti", .by = Gregorian{2, 19}, .lists = kRestricted},
    {.name = "National_Science_Day", .by = Column{}},
    {.name = "International_Womens_Day", .by = Column{}},
    {.name = "Shaheed_Diwas_Veer_Bhagat_Singh", .by = Column{}},
    {.name = "April_Fool_Day", .by = Column{}},
    {.name = "World_Health_Day", .by = Column{}},
    {.name = "Baba_Shaheb_Ambedkar_Jayanti", .by = Column{}, .lists = kExchange},
    {.name = "Earth_Day", .by = Column{}},
    {.name = "Labour_Day", .by = Column{}},
    {.name = "Maharashtra_Day", .by = Gregorian{5, 1}, .lists = kExchange},
    {.name = "World_Red_Cross_Day", .by = Column{}},
    {.name = "National_Technology_Day", .by = Column{}},
    {.name = "Anti_Terrorism_Day", .by = Column{}},
    {.name = "No_Tobacco_Day", .by = Column{}},
    {.name = "World_Environment_Day", .by = Column{}},
    {.name = "International_Yoga_Day", .by = Column{}},
    {.name = "Doctors_Day", .by = Column{}},
    {.name = "Kargil_Vijay_Diwas", .by = Column{}},
    {.name = "Independence_Day", .by = Column{}, .lists = kGazetted | kExchange},
    {.name = "National_Sports_Day", .by = Column{}},
    {.name = "Teachers_Day", .by = Column{}},
    {.name = "Hindi_Diwas", .by = Column{}},
    {.name = "Mahatma_Gandhi_Jayanti", .by = Column{}, .lists = kGazetted | kExchange},
    {.name = "Indian_Air_Force_Day", .by = Column{}},
    {.name = "National_Unit_Day", .by = Column{}},
    {.name = "Childrens_Day", .by = Column{}},
    {.name = "Guru_Teg_Bahadur_Martyrdom_Day", .by = Gregorian{11, 24}, .lists = kRestricted},
    {.name = "Constitution_Day", .by = Column{}},
    {.name = "Indian_Navy_Day", .by = Column{}},
    {.name = "Christmas_Eve", .by = Gregorian{12, 24}, .lists = kRestricted},
    {.name = "Christmas", .by = Column{}, .lists = kGazetted | kExchange},
};

inline constexpr int kObservanceCount = static_cast<int>(std::size(kObservances));

/// Where the "festival" column fixes `name`: a Gregorian date or a Hijri day.
constexpr Fix column_fix(std::string_view name) {
    for (const frame::FixedHoliday& h : frame::kFixedHolidays)
        if (name == h.name) return Gregorian{h.month, h.day};
    for (const islamic::IslamicFestival& f : islamic::kIslamicFestivals)
        if (name == f.name) return Hijri{f.month, f.day};
    throw "no festival of the column has this name";  // not a constant expression: fails to compile
}

/// What fixes observance `o`, its Column{} resolved.
constexpr Fix fix_of(const Observance& o) {
    return std::holds_alternative<Column>(o.by) ? column_fix(o.name) : o.by;
}

}  // namespace observed

namespace observed {

/// Whether the rule `kept` can place an observance fixed by `fix`.
constexpr bool rule_fits(const Fix& fix, Kept kept) {
    const bool solar = kept == Kept::civil_day || kept == Kept::punjab || kept == Kept::tamil ||
                       kept == Kept::bengal || kept == Kept::kerala || kept == Kept::onam;
    if (std::holds_alternative<Tithi>(fix)) return kept != Kept::on_the_day && !solar;
    if (std::holds_alternative<Ingress>(fix)) return solar;
    return kept == Kept::on_the_day;
}

/// The table's own consistency, checked when it compiles: every row's rule fits
/// what fixes it, every option of Delhi's choice has one row that the gazetted
/// list prints, and every festival of the column is an observance of the
/// calendar without a list, once.
constexpr bool table_is_consistent() {
    for (const Observance& o : kObservances) {
        if (!rule_fits(fix_of(o), o.kept)) return false;
        if (o.maharashtra && o.in_calendar) return false;
    }
    for (int option = 1; option <= 10; ++option) {
        int printed = 0, rows = 0;
        for (const Observance& o : kObservances) {
            rows += o.option == option;
            printed += o.option == option && (o.lists & kGazetted);
        }
        if (rows > 0 && printed != 1) return false;
    }
    auto in_calendar_once = [](std::string_view name) {
        int n = 0;
        for (const Observance& o : kObservances) n += o.in_calendar && name == o.name;
        return n == 1;
    };
    for (const panchang::HinduFestival& f : panchang::kHinduFestivals)
        if (!in_calendar_once(f.name)) return false;
    for (const islamic::IslamicFestival& f : islamic::kIslamicFestivals)
        if (!in_calendar_once(f.name)) return false;
    for (const frame::FixedHoliday& h : frame::kFixedHolidays)
        if (!in_calendar_once(h.name)) return false;
    return true;
}
static_assert(table_is_consistent());

}  // namespace observed
