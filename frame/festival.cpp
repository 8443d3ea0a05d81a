// frame/festival.cpp: the festival combiner and the "festival" column.
#include "frame/festival.hpp"

#include "frame/batch.hpp"
#include "runtime/pyops.hpp"


namespace frame {

using namespace pybind11::literals;

py::object get_festival_holiday(Call& call, Args a) {
    py::handle self = a[0], year = a[1], month = a[2], day = a[3], hour = a[4], minute = a[5],
               purnimanta = a[6];
    call.at(1);
    py::object panchang =
        call.method(self, "__get_accurate_panchang")(year, month, day, hour, minute, purnimanta);
    call.at(2);
    py::object hindu_fest = call.method(self, "__get_festivals")(panchang);
    call.at(3);
    py::object islamic_fest =
        call.method(self, "__get_islamic_festival")(year, month, day, hour, minute);
    call.at(4);
    py::object fixed_hol = self.attr("_FIXED_HOLIDAYS").attr("get")(py::make_tuple(month, day));
    call.at(5);
    return join_festivals(hindu_fest, islamic_fest, fixed_hol);
}

py::object join_festivals(const py::object& hindu, const py::object& islamic,
                          const py::object& fixed) {
    py::list parts;
    for (const py::object& name : {hindu, islamic, fixed})
        if (runtime::truthy(name)) parts.append(name);
    if (parts.empty()) return py::none();
    return py::str("/").attr("join")(parts);
}

py::object get_festival(Call& call, Args a) {
    py::handle self = a[0], df = a[1], date_col_name = a[2];
    call.at(1);
    // Value by value ("mixed"), month first when ambiguous, unparsable -> NaT.
    df[date_col_name] = call.global("pd").attr("to_datetime")(
        df[date_col_name], "dayfirst"_a = false, "format"_a = "mixed", "errors"_a = "coerce");
    call.at(2);
    // A time in the hour after midnight (a bare date among them) is read at noon.
    py::object column = df[date_col_name];
    py::object outside_midnight_hour =
        runtime::rich_compare(df[date_col_name].attr("dt").attr("hour"), py::int_(0), Py_NE);
    py::object twelve_hours_later =
        py::object(df[date_col_name]) + call.global("pd").attr("Timedelta")("hours"_a = 12);
    df[date_col_name] = column.attr("where")(outside_midnight_hour, twelve_hours_later);
    call.at(3);
    py::object unique_dates = df[date_col_name].attr("dropna")().attr("unique")();
    call.at(4);
    py::dict festival_map;
    call.at(5);
    // One __get_festival_holiday call per distinct date-time defines the result;
    // the batch evaluator gives the same, for all of them at once, as a Series
    // that map() reads as it reads the dict.
    py::object mapper = festival_mapper(call, self, unique_dates, festival_map);
    if (mapper.is_none()) {
        for (py::handle date : unique_dates)
            if (!festival_map.contains(date)) festival_map[date] = festival_of_date(call, self, date);
        mapper = festival_map;
    }
    call.at(6);
    df["festival"] = df[date_col_name].attr("map")(mapper);
    call.at(7);
    return py::reinterpret_borrow<py::object>(df);
}

}  // namespace frame
