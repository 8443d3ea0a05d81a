// panchang/panchang.hpp: the panchang of one moment and the Hindu festival lookup.
#pragma once

#include "frame/method.hpp"

namespace panchang {

using frame::Args;
using frame::Call;
namespace py = pybind11;

/// Creates the name strings and the festival dict, once per process.
void make_tables();

/// __get_accurate_panchang(self, year, month, day, hour, minute, purnimanta).
py::object get_accurate_panchang(Call& call, Args a);

/// __get_festivals(self, result): the Hindu festival of a panchang record, or None.
py::object get_festivals(Call& call, Args a);

}  // namespace panchang
