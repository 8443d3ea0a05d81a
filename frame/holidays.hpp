// frame/holidays.hpp: the fixed-date observances, keyed by Gregorian (month, day).
#pragma once

#include <pybind11/pybind11.h>

namespace frame {

/// A new dict {(month, day): name} of the 34 fixed-date observances, in order.
pybind11::object make_fixed_holidays();

}  // namespace frame
