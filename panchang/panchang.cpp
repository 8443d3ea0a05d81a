// panchang/panchang.cpp: tithi, paksha, nakshatra, rashis and lunar month of one
// moment, and the Hindu festival table.
#include "panchang/panchang.hpp"

#include "frame/pyops.hpp"
#include "panchang/tables.hpp"

#include <vector>

namespace panchang {

using frame::as_double;
using frame::int_of_float;

namespace {

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

// int(angle / width): the bin of an angle in [0, 360).  The floored reduction of a
// negative angle within rounding of zero gives exactly 360.0, which stands for an
// angle just below 360: it takes the last bin rather than running off the table.
long long bin_of(double angle, double width, long long bins) {
    long long i = int_of_float(angle / width);
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

long long floored_mod(long long x, long long m) { return ((x % m) + m) % m; }

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

long long amanta_index(double sun_at_nm) { return floored_mod(bin_of(sun_at_nm, 30, 12) + 1, 12); }

long long tithi_number(double diff) { return bin_of(diff, 12, 30) + 1; }

py::object festival_on(long long month_idx, bool krishna, long long tithi_no) {
    py::tuple key = py::make_tuple(names->months[static_cast<std::size_t>(month_idx)],
                                   krishna ? names->krishna : names->shukla,
                                   tithi_in_paksha(tithi_no));
    return frame::dict_get(names->festivals, key);
}

py::object get_accurate_panchang(Call& call, Args a) {
    py::handle self = a[0], year = a[1], month = a[2], day = a[3], hour = a[4], minute = a[5],
               purnimanta = a[6];
    call.at(1);
    self.attr("_Tavrolen__initialize_astronomy")();
    call.at(2);
    // IST to UTC: the fixed offset, subtracted field by field; utc() carries over.
    py::object t = self.attr("_TS").attr("utc")(year, month, day, hour - py::int_(5),
                                                minute - py::int_(30));
    call.at(3);
    double sun_nir = as_double(self.attr("_Tavrolen__get_nirayana_lon")(self.attr("_SUN"), t));
    double moon_nir = as_double(self.attr("_Tavrolen__get_nirayana_lon")(self.attr("_MOON"), t));
    call.at(4);
    const py::str& nakshatra = element(names->nakshatras, bin_of(moon_nir, 360.0 / 27, 27));
    call.at(5);
    py::object t_start = self.attr("_TS").attr("utc")(year, month, day - py::int_(45));
    call.at(6);
    py::object f = call.global("almanac").attr("moon_phases")(self.attr("_EPH"));
    auto [times, phases] =
        frame::unpack<2>(call.global("almanac").attr("find_discrete")(t_start, t, f));
    call.at(7);
    py::object last_nm_t = times[frame::rich_compare(phases, py::int_(0), Py_EQ)][py::int_(-1)];
    call.at(8);
    double sun_at_nm =
        as_double(self.attr("_Tavrolen__get_nirayana_lon")(self.attr("_SUN"), last_nm_t));
    call.at(9);
    long long amanta_idx = amanta_index(sun_at_nm);
    call.at(10);
    double diff = frame::floored_mod(moon_nir - sun_nir, 360);
    call.at(11);
    long long tithi_no = tithi_number(diff);
    call.at(12);
    const py::str& paksha = is_krishna(diff) ? names->krishna : names->shukla;
    call.at(13);
    bool dark_half_next_month = frame::truthy(purnimanta) && paksha.equal(names->krishna);
    const py::str& final_maas =
        element(names->months, dark_half_next_month ? (amanta_idx + 1) % 12 : amanta_idx);
    call.at(14);
    const py::str& sun_rashi = element(names->rashis, bin_of(sun_nir, 30, 12));
    const py::str& moon_rashi = element(names->rashis, bin_of(moon_nir, 30, 12));
    call.at(15);
    py::dict record;
    record["date"] = date_text(a);
    record["method"] = frame::truthy(purnimanta) ? names->purnimanta : names->amanta;
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
    return frame::dict_get(names->festivals, py::make_tuple(maas, paksha, tithi));
}

}  // namespace panchang
