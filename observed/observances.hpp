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
#include "observed/days.hpp"
#include "islamic/hijri.hpp"
#include "panchang/tables.hpp"

#include <array>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string_view>
#include <variant>

namespace observed {

/// The place of `name` in `table`.  Not a constant expression where the table
/// has no such name, so a misspelt row fails to compile.
template <std::size_t N>
constexpr int index_in(const char* const (&table)[N], std::string_view name) {
    for (std::size_t i = 0; i < N; ++i)
        if (name == table[i]) return static_cast<int>(i);
    throw "no such name in the table";
}

enum class Paksha { shukla, krishna };

/// A tithi (1 to 15) of a fortnight of a lunar month, the month named by its
/// purnimanta name as the column names it (panchang::kHinduMonths): the dark
/// fortnight carries the name of the month that follows it.
struct Tithi {
    int month;  ///< its place in panchang::kHinduMonths
    Paksha paksha;
    int tithi;
    constexpr Tithi(std::string_view month_name, Paksha paksha, int tithi)
        : month(index_in(panchang::kHinduMonths, month_name)), paksha(paksha), tithi(tithi) {}
};

/// The solar month that begins when the Sun enters the sidereal sign `sign`
/// (named as panchang::kRashis names it): its first day plus `days_after`
/// (negative: the days before it).
struct Ingress {
    int sign;  ///< its place in panchang::kRashis, 30 degrees each from 0
    int days_after;
    constexpr Ingress(std::string_view sign_name, int days_after = 0)
        : sign(index_in(panchang::kRashis, sign_name)), days_after(days_after) {}
};

/// A day of a Hijri month.
struct Hijri {
    islamic::HijriMonth month;
    int day;
};

/// The last given weekday of a Hijri month.
struct LastWeekday {
    islamic::HijriMonth month;
    Weekday weekday;
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
/// frame::kFixedHolidays, its Hijri day in islamic::kIslamicFestivals, or its
/// tithi in panchang::kHinduFestivals.
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

/// The published lists.
enum class ListId : unsigned char { gazetted, restricted, nse };

/// The years a list can keep a row in, as far as anyone needs: a Member kept
/// since the list began and still kept spans them.
inline constexpr int kFirstYear = 1, kLastYear = 9999;

/// How a list keeps a row that is one of Delhi's optional holidays.
enum class Choice : unsigned char {
    always,         ///< every year of the membership
    if_chosen,      ///< in the years Delhi's committee chooses the row's option
    unless_chosen,  ///< in the years it does not
};

/// One list's keeping of a row, for the years `since` to `until` (the years the
/// list printed it, as pandas' Holiday(start_date=, end_date=) gives them).
struct Member {
    ListId list{};
    Choice choice = Choice::always;
    int since = kFirstYear, until = kLastYear;

    constexpr Member if_chosen() const { return with(Choice::if_chosen, since, until); }
    constexpr Member unless_chosen() const { return with(Choice::unless_chosen, since, until); }
    constexpr Member from(int year) const { return with(choice, year, until); }
    constexpr Member to(int year) const { return with(choice, since, year); }
    constexpr bool holds(long long year) const { return since <= year && year <= until; }

private:
    constexpr Member with(Choice c, int first, int last) const { return {list, c, first, last}; }
};

inline constexpr Member gazetted{ListId::gazetted}, restricted{ListId::restricted}, nse{ListId::nse};

/// The lists that keep a row.
class Members {
public:
    static constexpr int kCapacity = 8;
    constexpr Members() = default;
    constexpr Members(std::initializer_list<Member> members) {
        for (const Member& m : members) {
            if (count_ == kCapacity) throw "more lists than Members holds";
            members_[count_++] = m;
        }
    }
    /// The membership of `list` that holds `year`, or null.
    constexpr const Member* in(ListId list, long long year) const {
        for (const Member& m : *this)
            if (m.list == list && m.holds(year)) return &m;
        return nullptr;
    }
    /// Whether `list` keeps the row in any year.
    constexpr bool any(ListId list) const {
        for (const Member& m : *this)
            if (m.list == list) return true;
        return false;
    }
    constexpr const Member* begin() const { return members_.data(); }
    constexpr const Member* end() const { return members_.data() + count_; }

private:
    std::array<Member, kCapacity> members_{};
    int count_ = 0;
};

/// The options of the central government's memorandum on each year's holidays,
/// numbered from 1 in its order.
inline constexpr int kOptionCount = 12;

/// One observance, or one list's reckoning of it.
///
/// `option` is the observance's place (from 1) among the optional holidays
/// from which three are chosen for Delhi (lists.cpp), and a list's Member says
/// whether it keeps the row in a year that chooses it (gazetted.if_chosen())
/// or in one that does not (restricted.unless_chosen()).  A row with an option
/// and no list weighs in the choice only.
///
/// The calendar without a list (`in_calendar`) holds every observance once, by
/// Delhi's reckoning; a row that is only a list's own reckoning of an
/// observance (the Vaishnava or Smarta day, Maharashtra's almanacs for the
/// exchange) is kept by that list alone.  A row reads sunrise and sunset where
/// the list that reads it reckons (Delhi for the calendar without a list), or
/// at its own place: Mumbai for a row reckoned by Maharashtra's almanacs.
struct Observance {
    const char* name;
    Fix by;
    Kept kept = Kept::on_the_day;
    Members lists = {};
    int option = 0;
    bool in_calendar = true;
    /// Where its rule reads the sky, if not where the list reading it does.
    std::optional<Where> at = std::nullopt;
};

// Rows of one civil day are listed in table order within each source (Hindu,
// Islamic, Christian, Parsi, fixed).
inline constexpr Observance kObservances[] = {
    // --- Hindu lunar: purnimanta month, paksha, tithi -------------------------
    {.name = "Hindu_Nav_Varsh/Gudi_Padwa/Ugadi", .by = Column{},
     .kept = Kept::sunrise, .lists = {restricted}},
    // Ram Navami is kept on the Smarta day, the ninth at madhyahna, the hour of
    // Rama's birth (in every published list 2011-2026).  Delhi passes over the
    // option when the Vaishnava day, the ninth at sunrise, is a Sunday (2019:
    // Saturday 13 April Smarta, Sunday 14 April Vaishnava): that row weighs in
    // the choice only.
    {.name = "Shree_Ram_Navami", .by = Column{}, .kept = Kept::madhyahna,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen(), nse}, .option = 3},
    {.name = "Shree_Ram_Navami", .by = Column{}, .kept = Kept::sunrise,
     .option = 3, .in_calendar = false},
    {.name = "Mahavir_Jayanti", .by = Tithi{"Chaitra", Paksha::shukla, 13}, .kept = Kept::sunrise,
     .lists = {gazetted, nse}},
    {.name = "Shree_Hanuman_Janmotsav", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Akshaya_Tritiya", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Buddha_Purnima", .by = Column{}, .kept = Kept::sunrise,
     .lists = {gazetted}},
    {.name = "Rath_Yatra", .by = Tithi{"Ashadha", Paksha::shukla, 2}, .kept = Kept::sunrise,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 7},
    {.name = "Devshayani_Ekadashi", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Guru_Purnima", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Raksha_Bandhan", .by = Column{}, .kept = Kept::raksha_bandhan,
     .lists = {restricted}},
    // The gazetted option is the Vaishnava day, the eighth at sunrise; the
    // restricted list always has the Smarta day, the eighth at midnight.
    {.name = "Shree_Krishna_Janmashtami", .by = Column{},
     .kept = Kept::sunrise, .lists = {gazetted.if_chosen()}, .option = 2},
    {.name = "Shree_Krishna_Janmashtami", .by = Column{},
     .kept = Kept::nishita_later, .lists = {restricted}, .in_calendar = false},
    {.name = "Ganesh_Chaturthi", .by = Column{}, .kept = Kept::madhyahna,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen(), nse}, .option = 5},
    {.name = "Shree_Radha_Ashtami", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Navratri_Start", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Maha_Saptami", .by = Tithi{"Ashvina", Paksha::shukla, 7}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Durga_Ashtami", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Maha_Navami", .by = Column{}, .kept = Kept::sunrise},
    // The restricted list keeps Maha Navami by madhyahna (2021-10-14, and
    // 2024-10-11, beside Maha Ashtami).
    {.name = "Maha_Navami", .by = Column{}, .kept = Kept::madhyahna,
     .lists = {restricted}, .in_calendar = false},
    {.name = "Dassehra", .by = Column{}, .kept = Kept::dassehra,
     .lists = {gazetted}},
    {.name = "Dassehra", .by = Column{}, .kept = Kept::dassehra_by_dharmasindhu,
     .lists = {nse}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Maharishi_Valmiki_Jayanti", .by = Tithi{"Ashvina", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Karva_Chauth", .by = Tithi{"Kartika", Paksha::krishna, 4}, .kept = Kept::moonrise,
     .lists = {restricted}},
    {.name = "Dhanteras", .by = Column{}, .kept = Kept::pradosh},
    {.name = "Narak_Chaturdashi", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Dipawali", .by = Column{}, .kept = Kept::pradosh,
     .lists = {gazetted}},
    {.name = "Diwali_Laxmi_Pujan", .by = Tithi{"Kartika", Paksha::krishna, 15}, .kept = Kept::lakshmi_puja,
     .lists = {nse}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Gowardhan_Pooja", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    // The exchange's Diwali closes the day after Laxmi Pujan, Balipratipada,
    // since its list of 2011 (F&O circular No. 130 of 22.11.2010); its lists of
    // 2009 and 2010 closed on Bhaubeej instead ("Diwali (Bhaubeez)", Monday 19
    // October 2009).
    {.name = "Diwali_Balipratipada", .by = Tithi{"Kartika", Paksha::shukla, 1}, .kept = Kept::sunrise,
     .lists = {nse.from(2011)}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Diwali_Bhaubeej", .by = Tithi{"Kartika", Paksha::shukla, 2}, .kept = Kept::aparahna,
     .lists = {nse.to(2010)}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Bhai_Dooj", .by = Column{}, .kept = Kept::aparahna,
     .lists = {restricted}},
    // Chhath's evening arghya is offered at the sunset of the day whose sunrise
    // has Shashthi, whether or not Shashthi still holds at that sunset: the
    // published days 2021-11-10 and 2023-11-19 are those; the tithi at sunset
    // would give the day before in both years.
    {.name = "Chhath_Pooja", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Guru_Nanak_Jayanti", .by = Tithi{"Kartika", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {gazetted, nse}},
    {.name = "Mokshada_Ekadashi", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Guru_Gobind_Singh_Jayanti", .by = Tithi{"Pausha", Paksha::shukla, 7}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Pausha_Purnima", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Basant_Panchami/Saraswati_Pooja", .by = Column{}, .kept = Kept::sunrise,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 10},
    {.name = "Guru_Ravidas_Jayanti", .by = Tithi{"Magha", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Swami_Dayananda_Saraswati_Jayanti", .by = Tithi{"Phalguna", Paksha::krishna, 10},
     .kept = Kept::last_sunrise, .lists = {restricted}},
    {.name = "Maha_Shiv_Ratri", .by = Column{}, .kept = Kept::nishita_later,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 4},
    {.name = "Maha_Shiv_Ratri", .by = Column{}, .kept = Kept::nishita,
     .lists = {nse}, .in_calendar = false, .at = Where::mumbai},
    // The column keys Holika Dahan to the fourteenth; it is kept in the evening
    // of the full-moon tithi once Bhadra has ended.
    {.name = "Holika_Dahan", .by = Tithi{"Phalguna", Paksha::shukla, 15}, .kept = Kept::holika_dahan,
     .lists = {restricted}},
    {.name = "Holi", .by = Column{}, .kept = Kept::after_holika_dahan,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 1},
    {.name = "Holi", .by = Column{}, .kept = Kept::dhulivandan,
     .lists = {nse}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Dolyatra", .by = Tithi{"Phalguna", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {restricted}},

    // --- Hindu solar: the Sun's sidereal entry into a sign --------------------
    {.name = "Lohri", .by = Ingress{"Makar", -1}, .kept = Kept::punjab, .lists = {restricted}},
    {.name = "Makar_Sankranti", .by = Ingress{"Makar"}, .kept = Kept::punjab,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 6},
    {.name = "Magha_Bihu", .by = Ingress{"Makar"}, .kept = Kept::civil_day, .lists = {restricted}},
    {.name = "Pongal", .by = Ingress{"Makar"}, .kept = Kept::tamil, .lists = {gazetted.if_chosen(), restricted.unless_chosen()},
     .option = 9},
    {.name = "Vaisakhi/Vishu", .by = Ingress{"Mesh"}, .kept = Kept::punjab, .lists = {restricted}},
    {.name = "Meshadi/Puthandu", .by = Ingress{"Mesh"}, .kept = Kept::tamil, .lists = {restricted}},
    {.name = "Vaisakhadi/Bahag_Bihu", .by = Ingress{"Mesh"}, .kept = Kept::bengal, .lists = {restricted}},
    {.name = "Guru_Rabindranath_Jayanti", .by = Ingress{"Mesh", 24}, .kept = Kept::bengal,
     .lists = {restricted}},
    {.name = "Onam", .by = Ingress{"Sinha"}, .kept = Kept::onam, .lists = {gazetted.if_chosen(), restricted.unless_chosen()},
     .option = 8},

    // --- Islamic: the Hijri day, months by the crescent ----------------------
    {.name = "Muharram", .by = Column{}},
    {.name = "Day_of_Ashura", .by = Column{}, .lists = {gazetted, nse}},
    // The exchange closed for Id-e-Milad in 2009 (Tuesday 10 March); its lists
    // from 2011 (F&O circular No. 130 of 22.11.2010) have it no more.
    {.name = "Eid_Milad_un_Nabi", .by = Column{}, .lists = {gazetted, nse.to(2010)}},
    {.name = "Hazarat_Ali_Birthday", .by = Hijri{islamic::rajab, 13}, .lists = {restricted}},
    {.name = "Shab_e_Miraj", .by = Column{}},
    {.name = "Shab_e_Barat", .by = Column{}},
    {.name = "Ramadan_Start", .by = Column{}},
    {.name = "Jamat_ul_Vida", .by = LastWeekday{islamic::ramadan, friday}, .lists = {restricted}},
    {.name = "Shab_e_Qadr", .by = Column{}},
    {.name = "Eid_ul_Fitr", .by = Column{}, .lists = {gazetted, nse}},
    {.name = "Arafah", .by = Column{}},
    {.name = "Bakrid", .by = Column{}, .lists = {gazetted, nse}},

    // --- Christian: the Gregorian computus ------------------------------------
    {.name = "Good_Friday", .by = Easter{-2}, .lists = {gazetted, nse}},
    {.name = "Easter_Sunday", .by = Easter{}, .lists = {restricted}},

    // --- Parsi: the Shahenshahi year ------------------------------------------
    {.name = "Parsi_New_Year", .by = Navroz{}, .lists = {restricted}},

    // --- Fixed Gregorian dates -------------------------------------------------
    // The exchange closed on New Year's Day in 2010 (Friday; IANS, 1 January
    // 2010: "today has been declared a holiday") and listed it in 2011 and 2012
    // (on a Saturday and a Sunday); not in 2009 (a Thursday, traded) nor from
    // 2013.
    {.name = "New_Year", .by = Column{}, .lists = {restricted, nse.from(2010).to(2012)}},
    {.name = "National_Youth_Day", .by = Column{}},
    {.name = "Indian_Army_Day", .by = Column{}},
    {.name = "Netaji_Subhash_Chandra_Bose_Jayanti", .by = Column{}},
    {.name = "Republic_Day", .by = Column{}, .lists = {gazetted, nse}},
    {.name = "Martyrs_Day", .by = Column{}},
    {.name = "Valentines_Day/Black_Day", .by = Column{}},
    {.name = "Shivaji_Jayanti", .by = Gregorian{2, 19}, .lists = {restricted}},
    {.name = "National_Science_Day", .by = Column{}},
    {.name = "International_Womens_Day", .by = Column{}},
    {.name = "Shaheed_Diwas_Veer_Bhagat_Singh", .by = Column{}},
    {.name = "April_Fool_Day", .by = Column{}},
    {.name = "World_Health_Day", .by = Column{}},
    {.name = "Baba_Shaheb_Ambedkar_Jayanti", .by = Column{}, .lists = {nse}},
    {.name = "Earth_Day", .by = Column{}},
    {.name = "Labour_Day", .by = Column{}},
    {.name = "Maharashtra_Day", .by = Gregorian{5, 1}, .lists = {nse}},
    {.name = "World_Red_Cross_Day", .by = Column{}},
    {.name = "National_Technology_Day", .by = Column{}},
    {.name = "Anti_Terrorism_Day", .by = Column{}},
    {.name = "No_Tobacco_Day", .by = Column{}},
    {.name = "World_Environment_Day", .by = Column{}},
    {.name = "International_Yoga_Day", .by = Column{}},
    {.name = "Doctors_Day", .by = Column{}},
    {.name = "Kargil_Vijay_Diwas", .by = Column{}},
    {.name = "Independence_Day", .by = Column{}, .lists = {gazetted, nse}},
    {.name = "National_Sports_Day", .by = Column{}},
    {.name = "Teachers_Day", .by = Column{}},
    {.name = "Hindi_Diwas", .by = Column{}},
    {.name = "Mahatma_Gandhi_Jayanti", .by = Column{}, .lists = {gazetted, nse}},
    {.name = "Indian_Air_Force_Day", .by = Column{}},
    {.name = "National_Unit_Day", .by = Column{}},
    {.name = "Childrens_Day", .by = Column{}},
    {.name = "Guru_Teg_Bahadur_Martyrdom_Day", .by = Gregorian{11, 24}, .lists = {restricted}},
    {.name = "Constitution_Day", .by = Column{}},
    {.name = "Indian_Navy_Day", .by = Column{}},
    {.name = "Christmas_Eve", .by = Gregorian{12, 24}, .lists = {restricted}},
    {.name = "Christmas", .by = Column{}, .lists = {gazetted, nse}},
};

inline constexpr int kObservanceCount = static_cast<int>(std::size(kObservances));

/// Where the "festival" column fixes `name`: a Gregorian date, a Hijri day or a
/// tithi.
constexpr Fix column_fix(std::string_view name) {
    for (const frame::FixedHoliday& h : frame::kFixedHolidays)
        if (name == h.name) return Gregorian{h.month, h.day};
    for (const islamic::IslamicFestival& f : islamic::kIslamicFestivals)
        if (name == f.name) return Hijri{f.month, f.day};
    for (const panchang::HinduFestival& f : panchang::kHinduFestivals)
        if (name == f.name)
            return Tithi{f.maas, std::string_view(f.paksha) == "Krishna" ? Paksha::krishna : Paksha::shukla, f.tithi};
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
/// what fixes it, a list keeps a row by Delhi's choice only if the row is an
/// option, every option has one row that a list prints when it is chosen, and every festival of the column is an observance of the
/// calendar without a list, once.
constexpr bool table_is_consistent() {
    for (const Observance& o : kObservances) {
        if (!rule_fits(fix_of(o), o.kept)) return false;
        if (o.at && o.in_calendar) return false;
    }
    for (const Observance& o : kObservances) {
        if (o.option < 0 || o.option > kOptionCount) return false;
        for (const Member& m : o.lists)
            if ((m.choice != Choice::always && o.option == 0) || m.since > m.until) return false;
    }
    for (int option = 1; option <= kOptionCount; ++option) {
        int printed = 0, rows = 0;
        for (const Observance& o : kObservances) {
            rows += o.option == option;
            for (const Member& m : o.lists) printed += o.option == option && m.choice == Choice::if_chosen;
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
