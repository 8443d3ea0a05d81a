// panchang/panchang.cpp: tithi, paksha, nakshatra, rashis and lunar month of one
// moment, and the Hindu festival table.
#include "panchang/panchang.hpp"

#include "astronomy/library.hpp"
#include "astronomy/observer.hpp"
#include "panchang/tables.hpp"
#include "runtime/pyops.hpp"

#include <cmath>
#include <vector>

namespace panchang {

using astronomy::Lib;
using astronomy::read;

using runtime::as_double;

namespace {

// The new-moon search starts at 00:00 UTC this many days before the civil date:
// a window of at least 44 days always holds a new moon.
constexpr int kNewMoonLookBackDays = 45;

// The name strings and the festival dict, made once at import and shared by every
// call (never released: they live as long as the module).
struct Names {
    std::vector<py::str> nakshatras, months, rashis;
    py::str shukla{"Shukla"}, krishna{"Krishna"};
    py::str purnimanta{"Purnimanta (North India)"}, amanta{"Amanta (South/West)"};
    py::dict festivals;  // (maas, paksha, tithi) -> name
};
Names* names = nullptr;

template <std::size_t N>
std::vector<py::str> strings(const char* const (&table)[N]) {
    return std::vector<py::str>(std::begin(table), std::end(table));
}

// int(angle / width): the bin of an angle in [0, 360), as a list index.  The
// floored reduction of a negative angle within rounding of zero gives exactly
// 360.0, which stands for an angle just below 360: it takes the last bin rather
// than running off the table.  An angle far outside [0, 360] (a replaced
// longitude method) gives the index Python's int() gives, which the table then
// refuses as Python's list does.
long long bin_of(double angle, double width, long long bins) {
    const double q = angle / width;
    long long i = std::fabs(q) < runtime::kExactIntegerRange
                      ? runtime::small_int_of_float(q)
                      : runtime::as_index(runtime::int_of_float(q));  // NaN, inf: int()'s errors
    if (i == bins && angle == 360.0) i = bins - 1;
    return i;
}

// table[i] with Python's list indexing: negative indices count from the end.
const py::str& element(const std::vector<py::str>& table, long long i) {
    const long long n = static_cast<long long>(table.size());
    if (i < 0) i += n;
    if (i < 0 || i >= n) {
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        throw py::error_already_set();
    }
    return table[static_cast<std::size_t>(i)];
}

// str(day) + "-" + str(month) + "-" + str(year) + " " + str(hour) + ":" + str(minute)
py::str date_text(Args a) {
    py::list parts;
    const char* seps[] = {"-", "-", " ", ":", ""};
    const int order[] = {3, 2, 1, 4, 5};  // day, month, year, hour, minute
    for (int i = 0; i < 5; ++i) {
        parts.append(py::str(a[order[i]]));
        parts.append(py::str(seps[i]));
    }
    return py::str("").attr("join")(parts);
}

}  // namespace

void make_tables() {
    if (names != nullptr) return;
    auto* n = new Names();
    n->nakshatras = strings(kNakshatras);
    n->months = strings(kHinduMonths);
    n->rashis = strings(kRashis);
    for (const HinduFestival& f : kHinduFestivals)
        n->festivals[py::make_tuple(f.maas, f.paksha, f.tithi)] = py::str(f.name);
    names = n;
}

long long amanta_index(double sun_at_nm) {
    const double q = sun_at_nm / 30;
    if (std::fabs(q) < runtime::kExactIntegerRange)
        return runtime::floored_mod(bin_of(sun_at_nm, 30, 12) + 1, 12LL);
    // (int(sun_at_nm / 30) + 1) % 12 on a Python int of any size.
    py::object idx = runtime::remainder(runtime::int_of_float(q) + py::int_(1), py::int_(12));
    return idx.cast<long long>();
}

long long tithi_number(double diff) { return bin_of(diff, 12, 30) + 1; }

py::object festival_on(long long month_idx, bool krishna, long long tithi_no) {
    py::tuple key = py::make_tuple(names->months[static_cast<std::size_t>(month_idx)],
                                   krishna ? names->krishna : names->shukla,
                                   tithi_in_paksha(tithi_no));
    return runtime::dict_get(names->festivals, key);
}

py::object get_accurate_panchang(Call& call, Args a) {
    py::handle self = a[0], year = a[1], month = a[2], day = a[3], hour = a[4], minute = a[5],
               purnimanta = a[6];
    call.at(1);
    call.method(self, "__initialize_astronomy")();
    call.at(2);
    // IST to UTC: the fixed offset, subtracted field by field; utc() carries over.
    py::object t = read(self.attr("_TS"), Lib::TimescaleUtc)(year, month, day,
                                                hour - py::int_(astronomy::kIstOffsetHours),
                                                minute - py::int_(astronomy::kIstOffsetMinutes));
    call.at(3);
    py::object nirayana_lon = call.method(self, "__get_nirayana_lon");
    double sun_nir = as_double(nirayana_lon(self.attr("_SUN"), t));
    double moon_nir = as_double(nirayana_lon(self.attr("_MOON"), t));
    call.at(4);
    const py::str& nakshatra = element(names->nakshatras, bin_of(moon_nir, 360.0 / 27, 27));
    call.at(5);
    py::object t_start =
        read(self.attr("_TS"), Lib::TimescaleUtc)(year, month, day - py::int_(kNewMoonLookBackDays));
    call.at(6);
    py::object f = read(call.global("almanac"), Lib::AlmanacMoonPhases)(self.attr("_EPH"));
    auto [times, phases] =
        runtime::unpack<2>(read(call.global("almanac"), Lib::AlmanacFindDiscrete)(t_start, t, f));
    call.at(7);
    py::object last_nm_t = times[runtime::rich_compare(phases, py::int_(0), Py_EQ)][py::int_(-1)];
    call.at(8);
    double sun_at_nm = as_double(call.method(self, "__get_nirayana_lon")(self.attr("_SUN"), last_nm_t));
    call.at(9);
    long long amanta_idx = amanta_index(sun_at_nm);
    call.at(10);
    double diff = runtime::floored_mod(moon_nir - sun_nir, 360.0);
    call.at(11);
    long long tithi_no = tithi_number(diff);
    call.at(12);
    const py::str& paksha = is_krishna(diff) ? names->krishna : names->shukla;
    call.at(13);
    // The paksha is compared only when purnimanta is truthy.
    bool purnimanta_month = runtime::truthy(purnimanta);
    bool krishna = purnimanta_month && paksha.equal(names->krishna);
    const py::str& final_maas = element(names->months, month_index(amanta_idx, purnimanta_month, krishna));
    call.at(14);
    const py::str& sun_rashi = element(names->rashis, bin_of(sun_nir, 30, 12));
    const py::str& moon_rashi = element(names->rashis, bin_of(moon_nir, 30, 12));
    call.at(15);
    py::dict record;
    record["date"] = date_text(a);
    record["method"] = runtime::truthy(purnimanta) ? names->purnimanta : names->amanta;
    record["maas"] = final_maas;
    record["paksha"] = paksha;
    record["tithi"] = py::int_(tithi_in_paksha(tithi_no));
    record["nakshatra"] = nakshatra;
    record["sun_rashi"] = sun_rashi;
    record["moon_rashi"] = moon_rashi;
    record["last_amavasya"] = last_nm_t;
    return record;
}

py::object get_festivals(Call& call, Args a) {
    py::handle result = a[1];
    call.at(1);
    py::object maas = result["maas"];
    py::object paksha = result["paksha"];
    py::object tithi = result["tithi"];
    py::object nakshatra = result["nakshatra"];  // read, as every record has one; not a key
    call.at(3);
    return runtime::dict_get(names->festivals, py::make_tuple(maas, paksha, tithi));
}

}  // namespace panchang
