"""An independent reference for the festival string of one IST date and time,
written straight from the calendar rules with Skyfield and plain Python: no
code of orvik is used.  Tests compare the engine against it."""

from datetime import date, datetime, timedelta

import pytz

IST = pytz.timezone("Asia/Kolkata")

# The tabular Islamic calendar: 30-year cycles of 10631 days with leap years
# (355 days) at these positions, months of 30 and 29 days alternating, month 12
# of a leap year 30 days.  In this engine's reckoning 1 Muharram 1 AH is the
# proleptic Gregorian 622-07-20.
LEAP_YEARS = {2, 5, 7, 10, 13, 16, 18, 21, 24, 26, 29}
EPOCH = date(622, 7, 20).toordinal()


def tabular_hijri(day):
    cycle, rest = divmod(day.toordinal() - EPOCH, 10631)
    year = 1
    while rest >= (355 if year in LEAP_YEARS else 354):
        rest -= 355 if year in LEAP_YEARS else 354
        year += 1
    for month in range(1, 13):
        length = 30 if month % 2 or (month == 12 and year in LEAP_YEARS) else 29
        if rest < length:
            return cycle * 30 + year, month, rest + 1
        rest -= length
    raise AssertionError("day beyond the year")


MONTHS = ["Chaitra", "Vaishakha", "Jyeshtha", "Ashadha", "Shravana", "Bhadrapada", "Ashvina",
          "Kartika", "Margashirsha", "Pausha", "Magha", "Phalguna"]

HINDU = {
    ("Chaitra", "Shukla", 1): "Hindu_Nav_Varsh/Gudi_Padwa/Ugadi",
    ("Chaitra", "Shukla", 9): "Shree_Ram_Navami",
    ("Chaitra", "Shukla", 15): "Shree_Hanuman_Janmotsav",
    ("Vaishakha", "Shukla", 3): "Akshaya_Tritiya",
    ("Vaishakha", "Shukla", 15): "Buddha_Purnima",
    ("Ashadha", "Shukla", 11): "Devshayani_Ekadashi",
    ("Ashadha", "Shukla", 15): "Guru_Purnima",
    ("Bhadrapada", "Krishna", 8): "Shree_Krishna_Janmashtami",
    ("Shravana", "Shukla", 15): "Raksha_Bandhan",
    ("Bhadrapada", "Shukla", 4): "Ganesh_Chaturthi",
    ("Bhadrapada", "Shukla", 8): "Shree_Radha_Ashtami",
    ("Ashvina", "Shukla", 1): "Navratri_Start",
    ("Ashvina", "Shukla", 8): "Durga_Ashtami",
    ("Ashvina", "Shukla", 9): "Maha_Navami",
    ("Ashvina", "Shukla", 10): "Dassehra",
    ("Kartika", "Krishna", 13): "Dhanteras",
    ("Kartika", "Krishna", 14): "Narak_Chaturdashi",
    ("Kartika", "Krishna", 15): "Dipawali",
    ("Kartika", "Shukla", 1): "Gowardhan_Pooja",
    ("Kartika", "Shukla", 2): "Bhai_Dooj",
    ("Kartika", "Shukla", 6): "Chhath_Pooja",
    ("Margashirsha", "Shukla", 11): "Mokshada_Ekadashi",
    ("Pausha", "Shukla", 15): "Pausha_Purnima",
    ("Magha", "Shukla", 5): "Basant_Panchami/Saraswati_Pooja",
    ("Phalguna", "Krishna", 14): "Maha_Shiv_Ratri",
    ("Phalguna", "Shukla", 14): "Holika_Dahan",
    ("Phalguna", "Shukla", 15): "Holi",
}

ISLAMIC = {(1, 1): "Muharram", (1, 10): "Day_of_Ashura", (3, 12): "Eid_Milad_un_Nabi",
           (7, 27): "Shab_e_Miraj", (8, 15): "Shab_e_Barat", (9, 1): "Ramadan_Start",
           (9, 27): "Shab_e_Qadr", (10, 1): "Eid_ul_Fitr", (12, 9): "Arafah", (12, 10): "Bakrid"}

FIXED = {
    (1, 1): "New_Year", (1, 12): "National_Youth_Day", (1, 15): "Indian_Army_Day",
    (1, 23): "Netaji_Subhash_Chandra_Bose_Jayanti", (1, 26): "Republic_Day",
    (1, 30): "Martyrs_Day", (2, 14): "Valentines_Day/Black_Day", (2, 28): "National_Science_Day",
    (3, 8): "International_Womens_Day", (3, 23): "Shaheed_Diwas_Veer_Bhagat_Singh",
    (4, 1): "April_Fool_Day", (4, 7): "World_Health_Day", (4, 14): "Baba_Shaheb_Ambedkar_Jayanti",
    (4, 22): "Earth_Day", (5, 1): "Labour_Day", (5, 8): "World_Red_Cross_Day",
    (5, 11): "National_Technology_Day", (5, 21): "Anti_Terrorism_Day", (5, 31): "No_Tobacco_Day",
    (6, 5): "World_Environment_Day", (6, 21): "International_Yoga_Day", (7, 1): "Doctors_Day",
    (7, 26): "Kargil_Vijay_Diwas", (8, 15): "Independence_Day", (8, 29): "National_Sports_Day",
    (9, 5): "Teachers_Day", (9, 14): "Hindi_Diwas", (10, 2): "Mahatma_Gandhi_Jayanti",
    (10, 8): "Indian_Air_Force_Day", (10, 31): "National_Unit_Day", (11, 14): "Childrens_Day",
    (11, 26): "Constitution_Day", (12, 4): "Indian_Navy_Day", (12, 25): "Christmas",
}


def lahiri(tt):
    T = (tt - 2451545.0) / 36525
    return (84404.78 + 5028.7965 * T + 1.111 * T ** 2) / 3600.0


def sidereal(sky, body, t):
    lon = sky.eph["earth"].at(t).observe(sky.eph[body]).ecliptic_latlon()[1].degrees
    return (lon - lahiri(t.tt)) % 360


def hindu_festival(sky, when):
    t = sky.ts.from_datetime(IST.localize(when))
    diff = (sidereal(sky, "moon", t) - sidereal(sky, "sun", t)) % 360
    tithi_no = int(diff // 12) + 1
    paksha = "Shukla" if tithi_no <= 15 else "Krishna"
    start = sky.ts.utc(when.year, when.month, when.day) - 45
    times, phases = sky.almanac.find_discrete(start, t, sky.almanac.moon_phases(sky.eph))
    new_moon = times[phases == 0][-1]
    amanta = (int(sidereal(sky, "sun", new_moon) // 30) + 1) % 12
    maas = MONTHS[(amanta + 1) % 12 if paksha == "Krishna" else amanta]   # purnimanta
    return HINDU.get((maas, paksha, (tithi_no - 1) % 15 + 1))


def islamic_festival(sky, when):
    day = when.date()
    start = sky.ts.from_datetime(IST.localize(datetime(day.year, day.month, day.day)))
    times, events = sky.almanac.find_discrete(start, start + 1, sky.almanac.sunrise_sunset(sky.eph, sky.delhi))
    sunsets = [t.utc_datetime() for t, e in zip(times, events) if e == 0]
    if sunsets and IST.localize(when) > sunsets[0]:
        day += timedelta(days=1)
    return ISLAMIC.get(tabular_hijri(day)[1:])


def festival(sky, when):
    """The festival string of a naive IST date-time, or None."""
    names = [hindu_festival(sky, when), islamic_festival(sky, when),
             FIXED.get((when.month, when.day))]
    names = [n for n in names if n]
    return "/".join(names) or None
