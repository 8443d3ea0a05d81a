// frame/festival.hpp: the festival combiner of one date-time and the "festival"
// column over a DataFrame.
#pragma once

#include "runtime/method.hpp"

namespace frame {

using runtime::Args;
using runtime::Call;
namespace py = pybind11;

/// __get_festival_holiday(self, year, month, day, hour, minute, purnimanta):
/// Hindu, Islamic and fixed-date names joined by "/", or None.
py::object get_festival_holiday(Call& call, Args a);

/// The names that are present, in this order, joined by "/"; None when none is.
py::object join_festivals(const py::object& hindu, const py::object& islamic,
                          const py::object& fixed);

/// get_festival(self, df, date_col_name): normalises the column in place, adds
/// the "festival" column and returns df.
py::object get_festival(Call& call, Args a);

}  // namespace frame
