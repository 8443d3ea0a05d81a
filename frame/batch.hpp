// frame/batch.hpp: the festival strings of many date-times at once, for get_festival.
#pragma once

#include "runtime/module.hpp"


namespace frame {

using runtime::Call;
namespace py = pybind11;

/// What get_festival maps its column through: for `unique_dates` (the distinct
/// date-times as pandas returns them), a pandas Series indexed by them that holds
/// exactly what one __get_festival_holiday call per date-time gives.  Minutes too
/// close to a decision boundary, outside the ephemeris or not decidable here are
/// computed by the one-date path.  Dates the one-date path computed before the
/// batch could start (the first, which loads the context) are put in
/// `festival_map`.  None where the batch cannot stand in for the one-date path (a
/// name rebound, an unexpected column or context: batch_refused, in
/// frame/batch.cpp, lists why it may not): the caller then completes
/// `festival_map` date by date.
py::object festival_mapper(Call& call, py::handle self, py::handle unique_dates,
                           py::dict festival_map);

/// The one-date path for one date-time: self.__get_festival_holiday(y, m, d, h, mi,
/// purnimanta=True).
py::object festival_of_date(const Call& call, py::handle self, py::handle date);

}  // namespace frame
