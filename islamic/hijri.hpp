// islamic/hijri.hpp: the Hijri date of a moment (day changing at sunset in Delhi)
// and the Islamic festival lookup.
#pragma once

#include "runtime/method.hpp"

#include <array>

namespace islamic {

using runtime::Args;
using runtime::Call;
namespace py = pybind11;

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
