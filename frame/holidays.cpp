// frame/holidays.cpp: the class-level table _FIXED_HOLIDAYS.
#include "frame/holidays.hpp"

namespace frame {

pybind11::object make_fixed_holidays() {
    pybind11::dict table;
    for (const FixedHoliday& h : kFixedHolidays)
        table[pybind11::make_tuple(h.month, h.day)] = pybind11::str(h.name);
    return table;
}

}  // namespace frame
