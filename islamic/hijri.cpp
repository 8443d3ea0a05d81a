// islamic/hijri.cpp: Gregorian to Hijri with the day changing at sunset, and the
// table of Islamic festivals.
#include "islamic/hijri.hpp"

#include "astronomy/library.hpp"
#include "runtime/pyops.hpp"

#include <cmath>

namespace islamic {

using namespace pybind11::literals;
using astronomy::Lib;

namespace {

// (month, day) -> name; made once at import, never released.
py::dict* festivals = nullptr;

// The Julian date at 00:00 of the civil day is its ordinal plus this; one day
// lower would shift every Hijri date one day earlier.
constexpr double kOrdinalToJulianDate = 1721424.5;

// A Python int with the operators the arithmetic below uses, for values beyond
// the range where long long arithmetic is exact.
struct PyInt {
    py::object v;
    friend PyInt operator+(const PyInt& a, long long b) { return {a.v + py::int_(b)}; }
    friend PyInt operator-(const PyInt& a, long long b) { return {a.v - py::int_(b)}; }
    friend PyInt operator-(long long a, const PyInt& b) { return {py::int_(a) - b.v}; }
    friend PyInt operator-(const PyInt& a, const PyInt& b) { return {a.v - b.v}; }
    friend PyInt operator+(const PyInt& a, const PyInt& b) { return {a.v + b.v}; }
    friend PyInt operator*(long long a, const PyInt& b) { return {py::int_(a) * b.v}; }
    friend PyInt operator*(const PyInt& a, const PyInt& b) { return {a.v * b.v}; }
};

// int(a / b): true division, then truncation toward zero.  On long long values
// whose magnitude stays below 2**53 it equals C++ integer division.
long long trunc_div(long long a, long long b) { return a / b; }
PyInt trunc_div(const PyInt& a, long long b) {
    PyObject* q = PyNumber_TrueDivide(a.v.ptr(), py::int_(b).ptr());
    if (q == nullptr) throw py::error_already_set();
    return {runtime::int_of_float(runtime::as_double(py::reinterpret_steal<py::object>(q)))};
}

// The tabular calendar's 30-year cycle of 10631 days, from
// l = int(jd - 1948440 + 10632).  No quotient is floored.
template <typename Int>
std::array<Int, 3> tabular_hijri(Int l) {
    Int n = trunc_div(l - 1, 10631);
    l = l - 10631 * n + 354;
    Int j = trunc_div(10985 - l, 5316) * trunc_div(50 * l, 17719) +
            trunc_div(l, 5670) * trunc_div(43 * l, 15238);
    l = l - trunc_div(30 - j, 15) * trunc_div(17719 * j, 50) -
        trunc_div(j, 16) * trunc_div(15238 * j, 43) + 29;
    Int m = trunc_div(24 * l, 709);
    Int d = l - trunc_div(709 * m, 24);
    Int y = 30 * n + j - 30;
    return {y, m, d};
}

// Below this magnitude of l, 50 * l and every other intermediate value stays
// under 2**53, where long long arithmetic is exactly Python's.
constexpr double kExactDays = 1e12;

}  // namespace

void make_tables() {
    if (festivals != nullptr) return;
    auto* table = new py::dict();
    for (const IslamicFestival& f : kIslamicFestivals)
        (*table)[py::make_tuple(static_cast<int>(f.month), f.day)] = py::str(f.name);
    festivals = table;
}

std::array<long long, 3> hijri_from_ordinal(long long ordinal) {
    double jd = static_cast<double>(ordinal) + kOrdinalToJulianDate;
    return tabular_hijri(runtime::small_int_of_float((jd - 1948440) + 10632));
}

py::tuple hijri_from_ordinal_object(py::handle ordinal) {
    PyObject* sum = PyNumber_Add(ordinal.ptr(), py::float_(kOrdinalToJulianDate).ptr());
    if (sum == nullptr) throw py::error_already_set();
    double jd = runtime::as_double(py::reinterpret_steal<py::object>(sum));
    double l = (jd - 1948440) + 10632;
    if (std::fabs(l) < kExactDays) {
        auto [y, m, d] = tabular_hijri(runtime::small_int_of_float(l));
        return py::make_tuple(y, m, d);
    }
    auto [y, m, d] = tabular_hijri(PyInt{runtime::int_of_float(l)});  // NaN, inf: int()'s errors
    return py::make_tuple(y.v, m.v, d.v);
}

py::object festival_on(py::handle h_m, py::handle h_d) {
    return runtime::dict_get(*festivals, py::make_tuple(h_m, h_d));
}

py::object get_hijri_date(Call& call, Args a) {
    py::handle self = a[0];
    py::object dt_obj = py::reinterpret_borrow<py::object>(a[1]);
    call.at(1);
    call.method(self, "__initialize_astronomy")();
    call.at(2);
    py::object datetime = call.global("datetime");
    if (!runtime::is_instance(dt_obj, datetime))
        dt_obj = datetime.attr("combine")(dt_obj, datetime.attr("min").attr("time")());
    call.at(3);
    // A naive value is wall-clock time in Asia/Kolkata; an aware one keeps its zone.
    if (dt_obj.attr("tzinfo").is_none()) dt_obj = astronomy::read(self.attr("_IST"), Lib::ZoneLocalize)(dt_obj);
    call.at(4);
    py::object g_date = dt_obj.attr("date")();
    call.at(5);
    py::object t_sunset = call.method(self, "__get_sunset")(g_date);
    call.at(6);
    py::object working_date = g_date;
    call.at(7);
    if (!t_sunset.is_none()) {
        py::object sunset_ist = astronomy::read(t_sunset, Lib::TimeUtcDatetime)()
                                    .attr("replace")("tzinfo"_a = astronomy::read(call.global("pytz"), Lib::PytzUtc))
                                    .attr("astimezone")(self.attr("_IST"));
        // Strictly after sunset: the Hijri day of the next civil date has begun.
        if (runtime::truthy(runtime::rich_compare(dt_obj, sunset_ist, Py_GT)))
            working_date = working_date + call.global("timedelta")("days"_a = 1);
    }
    call.at(8);
    return hijri_from_ordinal_object(working_date.attr("toordinal")());
}

py::object get_islamic_festival(Call& call, Args a) {
    py::handle self = a[0], year = a[1], month = a[2], day = a[3], hour = a[4], minute = a[5];
    call.at(1);
    py::object dt_obj = call.global("datetime")(year, month, day, hour, minute);
    call.at(2);
    auto [_year, h_m, h_d] = runtime::unpack<3>(call.method(self, "__get_hijri_date")(dt_obj));
    call.at(4);
    return festival_on(h_m, h_d);
}

}  // namespace islamic
