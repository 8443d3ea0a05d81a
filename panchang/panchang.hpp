// panchang/panchang.hpp: the panchang of one moment and the Hindu festival lookup.
#pragma once

#include "runtime/method.hpp"

namespace panchang {

using runtime::Args;
using runtime::Call;
namespace py = pybind11;

/// Amanta month index (0 "Chaitra" to 11 "Phalguna") of the lunation whose new
/// moon found the Sun at sidereal longitude `sun_at_nm`: the month after its sign.
long long amanta_index(double sun_at_nm);

/// The month index a date carries: in the purnimanta convention the dark
/// fortnight belongs to the month after the amanta month.
inline long long month_index(long long amanta_idx, bool purnimanta, bool krishna) {
    return purnimanta && krishna ? (amanta_idx + 1) % 12 : amanta_idx;
}

/// The tithi, 1 to 30, of the Sun-Moon elongation `diff` in [0, 360].
long long tithi_number(double diff);

/// The dark fortnight: an elongation of 180 degrees or more.
inline bool is_krishna(double diff) { return !(diff < 180); }

/// The tithi within its paksha, 1 to 15.
inline long long tithi_in_paksha(long long tithi_no) { return tithi_no <= 15 ? tithi_no : tithi_no - 15; }

/// The Hindu festival of a month (index), paksha and tithi (1 to 30), or None.
py::object festival_on(long long month_idx, bool krishna, long long tithi_no);

/// Creates the name strings and the festival dict, once per process.
void make_tables();

/// __get_accurate_panchang(self, year, month, day, hour, minute, purnimanta).
py::object get_accurate_panchang(Call& call, Args a);

/// __get_festivals(self, result): the Hindu festival of a panchang record, or None.
py::object get_festivals(Call& call, Args a);

}  // namespace panchang
