// islamic/hijri.hpp: the Hijri date of a moment (day changing at sunset in Delhi)
// and the Islamic festival lookup.
#pragma once

#include "runtime/method.hpp"

#include <array>
#include <iterator>

namespace islamic {

using runtime::Args;
using runtime::Call;
namespace py = pybind11;

/// The months of the Hijri year, from 1.
enum HijriMonth {
    muharram = 1, safar, rabi_al_awwal, rabi_al_thani, jumada_al_ula, jumada_al_akhirah, rajab, shaban,
    ramadan, shawwal, dhu_al_qadah, dhu_al_hijjah,
};

/// The Islamic festivals by Hijri month and day.
struct IslamicFestival {
    HijriMonth month;
    int day;
    const char* name;
};

inline constexpr IslamicFestival kIslamicFestivals[] = {
    {muharram, 1, "Muharram"},          {muharram, 10, "Day_of_Ashura"},  {rabi_al_awwal, 12, "Eid_Milad_un_Nabi"},
    {rajab, 27, "Shab_e_Miraj"},        {shaban, 15, "Shab_e_Barat"},     {ramadan, 1, "Ramadan_Start"},
    {ramadan, 27, "Shab_e_Qadr"},       {shawwal, 1, "Eid_ul_Fitr"},      {dhu_al_hijjah, 9, "Arafah"},
    {dhu_al_hijjah, 10, "Bakrid"},
};
static_assert(std::size(kIslamicFestivals) == 10);

/// Creates the festival dict, once per process.
void make_tables();

/// __get_hijri_date(self, dt_obj): (year, month, day) of the tabular Hijri calendar.
py::object get_hijri_date(Call& call, Args a);

/// __get_islamic_festival(self, year, month, day, hour, minute): a name or None.
py::object get_islamic_festival(Call& call, Args a);

/// The Islamic festival of a Hijri month and day, or None.
py::object festival_on(py::handle h_m, py::handle h_d);

/// Hijri (year, month, day) of the civil day with proleptic Gregorian ordinal
/// `ordinal` (date.toordinal(): 0001-01-01 is 1), for ordinals of real dates.
std::array<long long, 3> hijri_from_ordinal(long long ordinal);

/// The same for whatever toordinal() returned, with Python's arithmetic all the
/// way (Python ints of any size): a tuple of three ints.
py::tuple hijri_from_ordinal_object(py::handle ordinal);

}  // namespace islamic
