// islamic/hijri.cpp: Gregorian to Hijri with the day changing at sunset, and the
// table of Islamic festivals.
#include "islamic/hijri.hpp"

#include "frame/pyops.hpp"

#include <cmath>

namespace islamic {

using namespace pybind11::literals;

namespace {

struct IslamicFestival {
    int month;
    int day;
    const char* name;
};

constexpr IslamicFestival kIslamicFestivals[] = {
    {1, 1, "Muharram"},        {1, 10, "Day_of_Ashura"},   {3, 12, "Eid_Milad_un_Nabi"},
    {7, 27, "Shab_e_Miraj"},   {8, 15, "Shab_e_Barat"},    {9, 1, "Ramadan_Start"},
    {9, 27, "Shab_e_Qadr"},    {10, 1, "Eid_ul_Fitr"},     {12, 9, "Arafah"},
    {12, 10, "Bakrid"},
};

// (month, day) -> name; made once at import, never released.
py::dict* festivals = nullptr;

}  // namespace

void make_tables() {
    if (festivals != nullptr) return;
    auto* table = new py::dict();
    for (const IslamicFestival& f : kIslamicFestivals)
        (*table)[py::make_tuple(f.month, f.day)] = py::str(f.name);
    festivals = table;
}

std::array<long long, 3> hijri_from_ordinal(double ordinal) {
    // The Julian date at 00:00 of the day; one day lower would shift every Hijri
    // date one day earlier.
    double jd = ordinal + 1721424.5;
    // The tabular calendar's 30-year cycle of 10631 days.  Every quotient is
    // truncated toward zero, as C++ integer division does (never floored).
    long long l = static_cast<long long>(std::trunc((jd - 1948440) + 10632));
    long long n = (l - 1) / 10631;
    l = l - 10631 * n + 354;
    long long j = ((10985 - l) / 5316) * ((50 * l) / 17719) + (l / 5670) * ((43 * l) / 15238);
    l = l - ((30 - j) / 15) * ((17719 * j) / 50) - (j / 16) * ((15238 * j) / 43) + 29;
    long long m = (24 * l) / 709;
    long long d = l - (709 * m) / 24;
    long long y = 30 * n + j - 30;
    return {y, m, d};
}

py::object festival_on(py::handle h_m, py::handle h_d) {
    return frame::dict_get(*festivals, py::make_tuple(h_m, h_d));
}

py::object get_hijri_date(Call& call, Args a) {
    py::handle self = a[0];
    py::object dt_obj = py::reinterpret_borrow<py::object>(a[1]);
    call.at(1);
    self.attr("_Tavrolen__initialize_astronomy")();
    call.at(2);
    py::object datetime = call.global("datetime");
    if (!frame::is_instance(dt_obj, datetime))
        dt_obj = datetime.attr("combine")(dt_obj, datetime.attr("min").attr("time")());
    call.at(3);
    // A naive value is wall-clock time in Asia/Kolkata; an aware one keeps its zone.
    if (dt_obj.attr("tzinfo").is_none()) dt_obj = self.attr("_IST").attr("localize")(dt_obj);
    call.at(4);
    py::object g_date = dt_obj.attr("date")();
    call.at(5);
    py::object t_sunset = self.attr("_Tavrolen__get_sunset")(g_date);
    call.at(6);
    py::object working_date = g_date;
    call.at(7);
    if (!t_sunset.is_none()) {
        py::object sunset_ist = t_sunset.attr("utc_datetime")()
                                    .attr("replace")("tzinfo"_a = call.global("pytz").attr("utc"))
                                    .attr("astimezone")(self.attr("_IST"));
        // Strictly after sunset: the Hijri day of the next civil date has begun.
        if (frame::truthy(frame::rich_compare(dt_obj, sunset_ist, Py_GT)))
            working_date = working_date + call.global("timedelta")("days"_a = 1);
    }
    call.at(8);
    auto [y, m, d] = hijri_from_ordinal(frame::as_double(working_date.attr("toordinal")()));
    return py::make_tuple(y, m, d);
}

py::object get_islamic_festival(Call& call, Args a) {
    py::handle self = a[0], year = a[1], month = a[2], day = a[3], hour = a[4], minute = a[5];
    call.at(1);
    py::object dt_obj = call.global("datetime")(year, month, day, hour, minute);
    call.at(2);
    auto [_year, h_m, h_d] = frame::unpack<3>(self.attr("_Tavrolen__get_hijri_date")(dt_obj));
    call.at(4);
    return festival_on(h_m, h_d);
}

}  // namespace islamic
