// frame/holidays.hpp: the fixed-date observances, keyed by Gregorian (month, day).
#pragma once

#include <pybind11/pybind11.h>

#include <iterator>

namespace frame {

/// The fixed-date observances, by civil month and day, in the order of the
/// class table _FIXED_HOLIDAYS.
struct FixedHoliday {
    int month;
    int day;
    const char* name;
};

inline constexpr FixedHoliday kFixedHolidays[] = {
    {1, 1, "New_Year"},
    {1, 12, "National_Youth_Day"},
    {1, 15, "Indian_Army_Day"},
    {1, 23, "Netaji_Subhash_Chandra_Bose_Jayanti"},
    {1, 26, "Republic_Day"},
    {1, 30, "Martyrs_Day"},
    {2, 14, "Valentines_Day/Black_Day"},
    {2, 28, "National_Science_Day"},
    {3, 8, "International_Womens_Day"},
    {3, 23, "Shaheed_Diwas_Veer_Bhagat_Singh"},
    {4, 1, "April_Fool_Day"},
    {4, 7, "World_Health_Day"},
    {4, 14, "Baba_Shaheb_Ambedkar_Jayanti"},
    {4, 22, "Earth_Day"},
    {5, 1, "Labour_Day"},
    {5, 8, "World_Red_Cross_Day"},
    {5, 11, "National_Technology_Day"},
    {5, 21, "Anti_Terrorism_Day"},
    {5, 31, "No_Tobacco_Day"},
    {6, 5, "World_Environment_Day"},
    {6, 21, "International_Yoga_Day"},
    {7, 1, "Doctors_Day"},
    {7, 26, "Kargil_Vijay_Diwas"},
    {8, 15, "Independence_Day"},
    {8, 29, "National_Sports_Day"},
    {9, 5, "Teachers_Day"},
    {9, 14, "Hindi_Diwas"},
    {10, 2, "Mahatma_Gandhi_Jayanti"},
    {10, 8, "Indian_Air_Force_Day"},
    {10, 31, "National_Unit_Day"},
    {11, 14, "Childrens_Day"},
    {11, 26, "Constitution_Day"},
    {12, 4, "Indian_Navy_Day"},
    {12, 25, "Christmas"},
};
static_assert(std::size(kFixedHolidays) == 34);


/// A new dict {(month, day): name} of the 34 fixed-date observances, in order.
pybind11::object make_fixed_holidays();

}  // namespace frame
