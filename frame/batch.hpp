// frame/batch.hpp: the festival strings of many date-times at once, for get_festival.
#pragma once

#include "frame/method.hpp"

namespace frame {

/// Takes note, right after the module body, of the objects that the one-date path
/// resolves (the methods and _FIXED_HOLIDAYS of the class, the module globals and
/// the almanac functions), so that the batch can tell when one was replaced.
void remember_import_state(py::dict globals);

/// Fills `festival_map` for the leading date-times of `dates` (pandas Timestamps)
/// with exactly what one call of __get_festival_holiday per date-time gives, and
/// returns how many it filled.  Where the batch cannot be sure of that (a name
/// rebound, a quantity too close to a boundary, an input the one-date path would
/// fail on) it leaves the date-time, or the rest of them, to the one-date path.
std::size_t fill_in_batch(Call& call, py::handle self, const std::vector<py::object>& dates,
                          py::dict festival_map);

/// The one-date path for one date-time: self.__get_festival_holiday(y, m, d, h, mi,
/// purnimanta=True).
py::object festival_of_date(py::handle self, py::handle date);

}  // namespace frame
