// frame/batch.hpp: the festival strings of many date-times at once, for get_festival.
#pragma once

#include "runtime/module.hpp"

#include <vector>

namespace frame {

using runtime::Call;
namespace py = pybind11;

/// Takes note, right after the module body, of the objects that the one-date path
/// resolves: the class entries of the module's class, every global its body
/// imported, and the attributes of those globals that the methods read.  The
/// batch steps aside when any of them was replaced.
void remember_import_state(const runtime::ModuleSpec& module, py::dict globals);

/// The (global, attribute) pairs the one-date path reads, watched by the batch.
struct WatchedAttribute {
    const char* global;
    const char* attribute;
};
extern const std::vector<WatchedAttribute> kWatchedAttributes;

/// Fills `festival_map` for the leading date-times of `dates` (pandas Timestamps)
/// with exactly what one call of __get_festival_holiday per date-time gives, and
/// returns how many it filled.  Where the batch cannot be sure of that (a name
/// rebound, a quantity too close to a boundary, an input the one-date path would
/// fail on) it leaves the date-time, or the rest of them, to the one-date path.
std::size_t fill_in_batch(Call& call, py::handle self, const std::vector<py::object>& dates,
                          py::dict festival_map);

/// The one-date path for one date-time: self.__get_festival_holiday(y, m, d, h, mi,
/// purnimanta=True).
py::object festival_of_date(const Call& call, py::handle self, py::handle date);

}  // namespace frame
