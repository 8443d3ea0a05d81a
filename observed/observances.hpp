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

/// The solar months as the regions count them, named by the sign the Sun is
/// in (panchang::kRashis).
inline constexpr int kNoSign = -1;

/// A tithi (1 to 15) of a fortnight of a lunar month, the month named by its
/// purnimanta name as the column names it (panchang::kHinduMonths): the dark
/// fortnight carries the name of the month that follows it.  `days_after` moves
/// the day the rule gives (the day after it, for a list that keeps that).
struct Tithi {
    int month;  ///< its place in panchang::kHinduMonths
    Paksha paksha;
    int tithi;
    int days_after = 0;
    /// Kept only where the day falls in the solar month of this sign, by the
    /// Malayalam rule (Kerala's festivals of a solar month): kNoSign for any.
    int solar_month = kNoSign;
    constexpr Tithi(std::string_view month_name, Paksha paksha, int tithi, int days_after = 0)
        : month(index_in(panchang::kHinduMonths, month_name)), paksha(paksha), tithi(tithi),
          days_after(days_after) {}
    /// The same tithi, kept only in the solar month of the sign `sign_name`.
    constexpr Tithi in_solar_month(std::string_view sign_name) const {
        Tithi t = *this;
        t.solar_month = index_in(panchang::kRashis, sign_name);
        return t;
    }
};

/// The solar month that begins when the Sun enters the sidereal sign `sign`
/// (named as panchang::kRashis names it): its first day plus `days_after`
/// (negative: the days before it), or the day of that month whose star is the
/// nakshatra `star` (panchang::kNakshatras), plus `days_after`.
struct Ingress {
    int sign;  ///< its place in panchang::kRashis, 30 degrees each from 0
    int days_after;
    int star = -1;  ///< its place in panchang::kNakshatras, or -1
    constexpr Ingress(std::string_view sign_name, int days_after = 0)
        : sign(index_in(panchang::kRashis, sign_name)), days_after(days_after) {}
    constexpr Ingress(std::string_view sign_name, std::string_view star_name, int days_after = 0)
        : sign(index_in(panchang::kRashis, sign_name)), days_after(days_after),
          star(index_in(panchang::kNakshatras, star_name)) {}
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
    six_nazhikas,        ///< ... in force six nazhikas after sunrise (Kerala)
    sunrise_and_six_nazhikas,  ///< ... in force from sunrise to six nazhikas after it
    ardharatri_rohini,   ///< ... at midnight; of two midnights, the one with Rohini
    arunodaya,           ///< ... in force at dawn, four ghatikas before sunrise
    vavu,                ///< ... covering the six nazhikas before sunset, else at sunrise
    last_monday,         ///< the last Monday before the tithi ends (Bonalu)
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
    vishu,               ///< ... the day of the first sunrise after it
    // The day of a solar month whose star (six nazhikas after sunrise) is the
    // Ingress's nakshatra, the later of two; the month by the rule of ...
    kerala_star,         ///< ... Kerala (Onam: Thiruvonam in Chingam)
    tamil_star,          ///< ... Tamil Nadu (Thai Poosam: Pushya in Thai)
};

/// The published lists.
enum class ListId : unsigned char { gazetted, restricted, nse, mh, ka, tn, tg, kl };

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
/// The states' lists, by their ISO 3166-2:IN codes.
inline constexpr Member mh{ListId::mh}, ka{ListId::ka}, tn{ListId::tn}, tg{ListId::tg}, kl{ListId::kl};

/// The lists that keep a row.
class Members {
public:
    static constexpr int kCapacity = 10;
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
     .kept = Kept::sunrise, .lists = {restricted, mh, ka, tn, tg}},
    // Ram Navami is kept on the Smarta day, the ninth at madhyahna, the hour of
    // Rama's birth (in every published list 2011-2026).  Delhi passes over the
    // option when the Vaishnava day, the ninth at sunrise, is a Sunday (2019:
    // Saturday 13 April Smarta, Sunday 14 April Vaishnava): that row weighs in
    // the choice only.
    {.name = "Shree_Ram_Navami", .by = Column{}, .kept = Kept::madhyahna,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen(), nse, mh, tg}, .option = 3},
    {.name = "Shree_Ram_Navami", .by = Column{}, .kept = Kept::sunrise,
     .option = 3, .in_calendar = false},
    {.name = "Mahavir_Jayanti", .by = Tithi{"Chaitra", Paksha::shukla, 13}, .kept = Kept::sunrise,
     .lists = {gazetted, nse, mh, ka, tn}},
    {.name = "Shree_Hanuman_Janmotsav", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Akshaya_Tritiya", .by = Column{}, .kept = Kept::sunrise},
    // Karnataka keeps Basava Jayanti on Akshaya Tritiya, the third of Vaishakha's
    // bright fortnight (its lists: 7 May 2019, 14 May 2021, 3 May 2022).
    {.name = "Basava_Jayanti", .by = Tithi{"Vaishakha", Paksha::shukla, 3}, .kept = Kept::sunrise,
     .lists = {ka}, .in_calendar = false},
    {.name = "Buddha_Purnima", .by = Column{}, .kept = Kept::sunrise,
     .lists = {gazetted, mh}},
    {.name = "Rath_Yatra", .by = Tithi{"Ashadha", Paksha::shukla, 2}, .kept = Kept::sunrise,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 7},
    {.name = "Devshayani_Ekadashi", .by = Column{}, .kept = Kept::sunrise},
    {.name = "Guru_Purnima", .by = Column{}, .kept = Kept::sunrise},
    // Hyderabad's Bonalu: the Monday after the last Sunday of Ashada (amanta),
    // the month that ends with the amavasya the purnimanta calendar names
    // Shravana's.
    {.name = "Bonalu", .by = Tithi{"Shravana", Paksha::krishna, 15}, .kept = Kept::last_monday,
     .lists = {tg}, .in_calendar = false},
    // Kerala's Karkidaka Vavu: the amavasya of the solar month Karkidakam.
    {.name = "Karkidaka_Vavu", .by = Tithi{"Shravana", Paksha::krishna, 15}.in_solar_month("Kark"),
     .kept = Kept::vavu, .lists = {kl}, .in_calendar = false},
    {.name = "Karkidaka_Vavu", .by = Tithi{"Bhadrapada", Paksha::krishna, 15}.in_solar_month("Kark"),
     .kept = Kept::vavu, .lists = {kl}, .in_calendar = false},
    {.name = "Raksha_Bandhan", .by = Column{}, .kept = Kept::raksha_bandhan,
     .lists = {restricted}},
    // The gazetted option is the Vaishnava day, the eighth at sunrise; the
    // restricted list always has the Smarta day, the eighth at midnight.
    {.name = "Shree_Krishna_Janmashtami", .by = Column{},
     .kept = Kept::sunrise, .lists = {gazetted.if_chosen()}, .option = 2},
    {.name = "Shree_Krishna_Janmashtami", .by = Column{},
     .kept = Kept::nishita_later, .lists = {restricted}, .in_calendar = false},
    // Tamil Nadu keeps Krishna Jayanthi where the ashtami covers madhyahna
    // longest (its lists: 23 August 2019, 11 August 2020, 19 August 2022).
    {.name = "Krishna_Jayanthi", .by = Tithi{"Bhadrapada", Paksha::krishna, 8}, .kept = Kept::madhyahna,
     .lists = {tn}, .in_calendar = false},
    // Kerala keeps Sreekrishna Jayanthi on the Krishna ashtami of the solar
    // month Chingam at midnight ("in Kerala, the day on which the dark-fortnight
    // ashtami of Chingam comes at midnight is Sreekrishna Jayanthi":
    // Manorama, 2024; of two such midnights, the one with Rohini), which is
    // Bhadrapada's or, after an early Chingam, the next month's (10 September
    // 2020).
    {.name = "Sreekrishna_Jayanthi", .by = Tithi{"Bhadrapada", Paksha::krishna, 8}.in_solar_month("Sinha"),
     .kept = Kept::ardharatri_rohini, .lists = {kl}, .in_calendar = false},
    {.name = "Sreekrishna_Jayanthi", .by = Tithi{"Ashvina", Paksha::krishna, 8}.in_solar_month("Sinha"),
     .kept = Kept::ardharatri_rohini, .lists = {kl}, .in_calendar = false},
    {.name = "Ganesh_Chaturthi", .by = Column{}, .kept = Kept::madhyahna,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen(), nse, mh, ka, tn, tg}, .option = 5},
    {.name = "Shree_Radha_Ashtami", .by = Column{}, .kept = Kept::sunrise},
    // Mahalaya Amavasya, the new moon that ends the fortnight of the ancestors
    // before Navaratri; Telangana's Bathukamma begins on it.
    {.name = "Mahalaya_Amavasya", .by = Tithi{"Ashvina", Paksha::krishna, 15}, .kept = Kept::sunrise,
     .lists = {ka}, .in_calendar = false},
    {.name = "Bathukamma_Starting_Day", .by = Tithi{"Ashvina", Paksha::krishna, 15}, .kept = Kept::sunrise,
     .lists = {tg}, .in_calendar = false},
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
    // The south keeps Navaratri's last days by the tithi at sunrise: Ayudha
    // Puja (Mahanavami) and Vijaya Dasami (Karnataka, Tamil Nadu: 7 and 8
    // October 2019, 25 and 26 October 2020); Telangana's Durgashtami likewise,
    // until its list of 2021.
    {.name = "Durgashtami", .by = Tithi{"Ashvina", Paksha::shukla, 8}, .kept = Kept::sunrise,
     .lists = {tg.to(2020)}, .in_calendar = false},
    {.name = "Ayudha_Puja/Mahanavami", .by = Tithi{"Ashvina", Paksha::shukla, 9}, .kept = Kept::sunrise,
     .lists = {ka, tn}, .in_calendar = false},
    {.name = "Vijaya_Dasami", .by = Tithi{"Ashvina", Paksha::shukla, 10}, .kept = Kept::sunrise,
     .lists = {ka, tn}, .in_calendar = false},
    // Kerala's Mahanavami is the day after Durgashtami, the day with ashtami six
    // nazhikas after sunrise (the list takes the working day of two Navami
    // days: 24 October 2020); its Vijayadasami the day dashami holds six
    // nazhikas after sunrise (26 October 2020).
    {.name = "Mahanavami", .by = Tithi{"Ashvina", Paksha::shukla, 8, 1}, .kept = Kept::six_nazhikas,
     .lists = {kl}, .in_calendar = false},
    {.name = "Vijaya_Dasami", .by = Tithi{"Ashvina", Paksha::shukla, 10}, .kept = Kept::sunrise_and_six_nazhikas,
     .lists = {kl}, .in_calendar = false},
    {.name = "Dassehra", .by = Column{}, .kept = Kept::dassehra,
     .lists = {gazetted, tg}},
    {.name = "Dassehra", .by = Column{}, .kept = Kept::dassehra_by_dharmasindhu,
     .lists = {nse, mh}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Maharishi_Valmiki_Jayanti", .by = Tithi{"Ashvina", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {restricted, ka}},
    {.name = "Karva_Chauth", .by = Tithi{"Kartika", Paksha::krishna, 4}, .kept = Kept::moonrise,
     .lists = {restricted}},
    {.name = "Dhanteras", .by = Column{}, .kept = Kept::pradosh},
    {.name = "Narak_Chaturdashi", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Deepavali", .by = Tithi{"Kartika", Paksha::krishna, 14}, .kept = Kept::arunodaya,
     .lists = {ka, tn, kl}, .in_calendar = false},
    {.name = "Dipawali", .by = Column{}, .kept = Kept::pradosh,
     .lists = {gazetted, tg}},
    {.name = "Diwali_Laxmi_Pujan", .by = Tithi{"Kartika", Paksha::krishna, 15}, .kept = Kept::lakshmi_puja,
     .lists = {nse, mh}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Gowardhan_Pooja", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    // The exchange's Diwali closes the day after Laxmi Pujan, Balipratipada,
    // since its list of 2011 (F&O circular No. 130 of 22.11.2010); its lists of
    // 2009 and 2010 closed on Bhaubeej instead ("Diwali (Bhaubeez)", Monday 19
    // October 2009).
    {.name = "Diwali_Balipratipada", .by = Tithi{"Kartika", Paksha::shukla, 1}, .kept = Kept::sunrise,
     .lists = {nse.from(2011), mh}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Diwali_Bhaubeej", .by = Tithi{"Kartika", Paksha::shukla, 2}, .kept = Kept::aparahna,
     .lists = {nse.to(2010)}, .in_calendar = false, .at = Where::mumbai},
    // Karnataka's Balipadyami, the first of Kartika's bright fortnight at sunrise.
    {.name = "Balipadyami", .by = Tithi{"Kartika", Paksha::shukla, 1}, .kept = Kept::sunrise, .lists = {ka},
     .in_calendar = false},
    {.name = "Bhai_Dooj", .by = Column{}, .kept = Kept::aparahna,
     .lists = {restricted}},
    // Chhath's evening arghya is offered at the sunset of the day whose sunrise
    // has Shashthi, whether or not Shashthi still holds at that sunset: the
    // published days 2021-11-10 and 2023-11-19 are those; the tithi at sunset
    // would give the day before in both years.
    {.name = "Chhath_Pooja", .by = Column{}, .kept = Kept::sunrise,
     .lists = {restricted}},
    {.name = "Guru_Nanak_Jayanti", .by = Tithi{"Kartika", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {gazetted, nse, mh, tg}},
    {.name = "Mokshada_Ekadashi", .by = Column{}, .kept = Kept::sunrise},
    // Kanakadasa Jayanti: the third of the dark fortnight after Kartika's full
    // moon (22 November 2021, 11 November 2022).
    {.name = "Kanakadasa_Jayanti", .by = Tithi{"Margashirsha", Paksha::krishna, 3}, .kept = Kept::sunrise,
     .lists = {ka}, .in_calendar = false},
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
     .lists = {gazetted.if_chosen(), restricted.unless_chosen(), ka, tg, kl}, .option = 4},
    {.name = "Maha_Shiv_Ratri", .by = Column{}, .kept = Kept::nishita,
     .lists = {nse, mh}, .in_calendar = false, .at = Where::mumbai},
    // The column keys Holika Dahan to the fourteenth; it is kept in the evening
    // of the full-moon tithi once Bhadra has ended.
    {.name = "Holika_Dahan", .by = Tithi{"Phalguna", Paksha::shukla, 15}, .kept = Kept::holika_dahan,
     .lists = {restricted}},
    {.name = "Holi", .by = Column{}, .kept = Kept::after_holika_dahan,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen(), tg}, .option = 1},
    {.name = "Holi", .by = Column{}, .kept = Kept::dhulivandan,
     .lists = {nse, mh}, .in_calendar = false, .at = Where::mumbai},
    {.name = "Dolyatra", .by = Tithi{"Phalguna", Paksha::shukla, 15}, .kept = Kept::sunrise,
     .lists = {restricted}},

    // --- Hindu solar: the Sun's sidereal entry into a sign --------------------
    {.name = "Lohri", .by = Ingress{"Makar", -1}, .kept = Kept::punjab, .lists = {restricted}},
    // Telangana's Bhogi and Sankranti, and Karnataka's Makara Sankranti
    // (Uttarayana Punyakala), begin the month by the Malayalam rule: an ingress
    // after madhyahna (14:29, 14 January 2022) gives the next day.
    {.name = "Bhogi", .by = Ingress{"Makar", -1}, .kept = Kept::kerala, .lists = {tg}, .in_calendar = false},
    {.name = "Makara_Sankranti", .by = Ingress{"Makar"}, .kept = Kept::kerala, .lists = {ka, tg},
     .in_calendar = false},
    {.name = "Makar_Sankranti", .by = Ingress{"Makar"}, .kept = Kept::punjab,
     .lists = {gazetted.if_chosen(), restricted.unless_chosen()}, .option = 6},
    {.name = "Magha_Bihu", .by = Ingress{"Makar"}, .kept = Kept::civil_day, .lists = {restricted}},
    {.name = "Pongal", .by = Ingress{"Makar"}, .kept = Kept::tamil, .lists = {gazetted.if_chosen(), restricted.unless_chosen(), tn},
     .option = 9},
    // Tamil Nadu's second and third days of Thai, and its Thai Poosam (a public
    // holiday from 2021: the Chief Minister's announcement of January 2021,
    // "to be included in the list every year").
    {.name = "Thiruvalluvar_Day", .by = Ingress{"Makar", 1}, .kept = Kept::tamil, .lists = {tn},
     .in_calendar = false},
    {.name = "Uzhavar_Thirunal", .by = Ingress{"Makar", 2}, .kept = Kept::tamil, .lists = {tn},
     .in_calendar = false},
    {.name = "Thai_Poosam", .by = Ingress{"Makar", "Pushya"}, .kept = Kept::tamil_star, .lists = {tn.from(2021)},
     .in_calendar = false},
    {.name = "Vaisakhi/Vishu", .by = Ingress{"Mesh"}, .kept = Kept::punjab, .lists = {restricted}},
    {.name = "Meshadi/Puthandu", .by = Ingress{"Mesh"}, .kept = Kept::tamil, .lists = {restricted, tn}},
    {.name = "Vaisakhadi/Bahag_Bihu", .by = Ingress{"Mesh"}, .kept = Kept::bengal, .lists = {restricted}},
    {.name = "Vishu", .by = Ingress{"Mesh"}, .kept = Kept::vishu, .lists = {kl}, .in_calendar = false},
    // Telangana keeps Sri Krishna Ashtami as the Sri Jayanthi of the
    // Srivaishnavas, the star Rohini in the solar month Avani (Simha): 24
    // August 2019, 31 August 2021, 20 August 2022 (in 2020 its list kept the
    // midnight ashtami, 11 August, before Avani began).
    {.name = "Sri_Krishna_Ashtami", .by = Ingress{"Sinha", "Rohini"}, .kept = Kept::tamil_star, .lists = {tg},
     .in_calendar = false},
    {.name = "Guru_Rabindranath_Jayanti", .by = Ingress{"Mesh", 24}, .kept = Kept::bengal,
     .lists = {restricted}},
    {.name = "Onam", .by = Ingress{"Sinha", "Shravan"}, .kept = Kept::kerala_star, .lists = {gazetted.if_chosen(), restricted.unless_chosen(), kl},
     .option = 8},
    // Kerala's Onam days, Uthradom, Thiruvonam and the third and fourth Onam,
    // are consecutive (every list 2019-2022); Sree Narayana Guru Jayanthi is
    // Chathayam in Chingam, and his Samadhi the fifth of Kanni.
    {.name = "First_Onam", .by = Ingress{"Sinha", "Shravan", -1}, .kept = Kept::kerala_star, .lists = {kl},
     .in_calendar = false},
    {.name = "Third_Onam", .by = Ingress{"Sinha", "Shravan", 1}, .kept = Kept::kerala_star, .lists = {kl},
     .in_calendar = false},
    {.name = "Fourth_Onam", .by = Ingress{"Sinha", "Shravan", 2}, .kept = Kept::kerala_star, .lists = {kl},
     .in_calendar = false},
    {.name = "Sree_Narayana_Guru_Jayanthi", .by = Ingress{"Sinha", "Shatabhisha"}, .kept = Kept::kerala_star,
     .lists = {kl}, .in_calendar = false},
    {.name = "Sree_Narayana_Guru_Samadhi", .by = Ingress{"Kanya", 4}, .kept = Kept::kerala, .lists = {kl},
     .in_calendar = false},

    // --- Islamic: the Hijri day, months by the crescent ----------------------
    {.name = "Muharram", .by = Column{}},
    {.name = "Day_of_Ashura", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    // The exchange closed for Id-e-Milad in 2009 (Tuesday 10 March); its lists
    // from 2011 (F&O circular No. 130 of 22.11.2010) have it no more.
    {.name = "Eid_Milad_un_Nabi", .by = Column{}, .lists = {gazetted, nse.to(2010), mh, ka, tn, tg, kl}},
    {.name = "Hazarat_Ali_Birthday", .by = Hijri{islamic::rajab, 13}, .lists = {restricted}},
    {.name = "Shab_e_Miraj", .by = Column{}},
    {.name = "Shab_e_Barat", .by = Column{}},
    {.name = "Ramadan_Start", .by = Column{}},
    {.name = "Jamat_ul_Vida", .by = LastWeekday{islamic::ramadan, friday}, .lists = {restricted}},
    {.name = "Shab_e_Qadr", .by = Column{}},
    {.name = "Eid_ul_Fitr", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    {.name = "Arafah", .by = Column{}},
    {.name = "Bakrid", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},

    // --- Christian: the Gregorian computus ------------------------------------
    {.name = "Good_Friday", .by = Easter{-2}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    {.name = "Maundy_Thursday", .by = Easter{-3}, .lists = {kl}, .in_calendar = false},
    {.name = "Easter_Sunday", .by = Easter{}, .lists = {restricted, kl}},

    // --- Parsi: the Shahenshahi year ------------------------------------------
    {.name = "Parsi_New_Year", .by = Navroz{}, .lists = {restricted, mh}},

    // --- Fixed Gregorian dates -------------------------------------------------
    // The exchange closed on New Year's Day in 2010 (Friday; IANS, 1 January
    // 2010: "today has been declared a holiday") and listed it in 2011 and 2012
    // (on a Saturday and a Sunday); not in 2009 (a Thursday, traded) nor from
    // 2013.
    {.name = "New_Year", .by = Column{}, .lists = {restricted, nse.from(2010).to(2012), tn, tg}},
    // Kerala's Mannam Jayanthi (born 2 January 1878) and Ayyankali Jayanthi (28
    // August 1863), on its list since 2015.
    {.name = "Mannam_Jayanthi", .by = Gregorian{1, 2}, .lists = {kl.from(2015)}, .in_calendar = false},
    {.name = "National_Youth_Day", .by = Column{}},
    {.name = "Indian_Army_Day", .by = Column{}},
    {.name = "Netaji_Subhash_Chandra_Bose_Jayanti", .by = Column{}},
    {.name = "Republic_Day", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    {.name = "Martyrs_Day", .by = Column{}},
    {.name = "Valentines_Day/Black_Day", .by = Column{}},
    {.name = "Shivaji_Jayanti", .by = Gregorian{2, 19}, .lists = {restricted, mh}},
    {.name = "National_Science_Day", .by = Column{}},
    {.name = "International_Womens_Day", .by = Column{}},
    {.name = "Shaheed_Diwas_Veer_Bhagat_Singh", .by = Column{}},
    {.name = "April_Fool_Day", .by = Column{}},
    {.name = "World_Health_Day", .by = Column{}},
    {.name = "Babu_Jagjivan_Ram_Jayanti", .by = Gregorian{4, 5}, .lists = {tg}, .in_calendar = false},
    {.name = "Baba_Shaheb_Ambedkar_Jayanti", .by = Column{}, .lists = {nse, mh, ka, tn, tg, kl}},
    {.name = "Earth_Day", .by = Column{}},
    {.name = "Labour_Day", .by = Column{}, .lists = {ka, tn, kl}},
    {.name = "Maharashtra_Day", .by = Gregorian{5, 1}, .lists = {nse, mh}},
    {.name = "World_Red_Cross_Day", .by = Column{}},
    {.name = "National_Technology_Day", .by = Column{}},
    {.name = "Anti_Terrorism_Day", .by = Column{}},
    {.name = "No_Tobacco_Day", .by = Column{}},
    {.name = "World_Environment_Day", .by = Column{}},
    {.name = "International_Yoga_Day", .by = Column{}},
    {.name = "Doctors_Day", .by = Column{}},
    {.name = "Kargil_Vijay_Diwas", .by = Column{}},
    {.name = "Ayyankali_Jayanthi", .by = Gregorian{8, 28}, .lists = {kl.from(2015)}, .in_calendar = false},
    {.name = "Independence_Day", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    {.name = "National_Sports_Day", .by = Column{}},
    {.name = "Teachers_Day", .by = Column{}},
    {.name = "Hindi_Diwas", .by = Column{}},
    {.name = "Mahatma_Gandhi_Jayanti", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    {.name = "Indian_Air_Force_Day", .by = Column{}},
    {.name = "Kannada_Rajyotsava", .by = Gregorian{11, 1}, .lists = {ka}, .in_calendar = false},
    {.name = "National_Unit_Day", .by = Column{}},
    {.name = "Childrens_Day", .by = Column{}},
    {.name = "Guru_Teg_Bahadur_Martyrdom_Day", .by = Gregorian{11, 24}, .lists = {restricted}},
    {.name = "Constitution_Day", .by = Column{}},
    {.name = "Indian_Navy_Day", .by = Column{}},
    {.name = "Christmas_Eve", .by = Gregorian{12, 24}, .lists = {restricted}},
    {.name = "Christmas", .by = Column{}, .lists = {gazetted, nse, mh, ka, tn, tg, kl}},
    {.name = "Boxing_Day", .by = Gregorian{12, 26}, .lists = {tg}, .in_calendar = false},
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
                       kept == Kept::bengal || kept == Kept::kerala || kept == Kept::vishu;
    const bool star = kept == Kept::kerala_star || kept == Kept::tamil_star;
    if (std::holds_alternative<Tithi>(fix)) return kept != Kept::on_the_day && !solar && !star;
    if (const auto* in = std::get_if<Ingress>(&fix)) return star ? in->star >= 0 : solar && in->star < 0;
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
