// frame/batch.cpp: the festival strings of all distinct date-times of a DataFrame
// column at once.
//
// The one-date path (one __get_festival_holiday call per date-time) is the
// definition.  The batch computes the same quantities for all moments together
// with Skyfield's array calls, and decides a moment itself only where every
// quantity is farther from its decision boundary than the margins below; every
// other moment, and every call where a name the one-date path looks up no longer
// resolves to what it did at import, goes through the one-date path.
#include "frame/batch.hpp"

#include "astronomy/batch.hpp"
#include "frame/festival.hpp"
#include "frame/pyops.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

namespace frame {

using namespace pybind11::literals;

namespace {

// Margins.  Each is far wider than the largest difference measured between the
// batch quantity and the one-date quantity it stands for, over 2,000 random
// date-times from 1901 to 2049 (bench/batch_margins.py prints them):
//
// - elongation (tithi and paksha): the array positions equal the scalar ones
//   bit for bit (difference 0); 1e-6 degrees, about 7 ms of lunar motion, covers
//   numerical libraries that vectorise differently.
constexpr double kTithiMargin = 1e-6;
// - new moon instants: the one-date path refines each by bisection to about a
//   millisecond, Newton's method here to 1e-9 days; measured at most 0.3 ms
//   apart.  A moment within 60 s of a new moon is left to the one-date path.
constexpr double kNewMoonMargin = 60.0 / 86400.0;
// - the Sun's sidereal longitude at the new moon (the month): 0.3 ms of solar
//   motion is 1e-8 degrees; 1e-4 degrees is about 9 s of it.
constexpr double kSignMargin = 1e-4;
// - the Sun's altitude against the sunset threshold: the array altitude equals
//   the scalar one to 2e-14 degrees, and the one-date sunset instant is within
//   about a millisecond (bisection) plus a microsecond (rounding) of the
//   threshold crossing, 5e-6 degrees of solar motion; 0.01 degrees is about 2 s.
constexpr double kAltitudeMargin = 0.01;

// What the one-date path resolved to right after the module body.  Strong
// references, never released, like the module itself.
struct ImportState {
    std::vector<std::pair<std::string, PyObject*>> class_entries;
    std::vector<std::pair<std::string, PyObject*>> globals;
    std::vector<std::pair<std::string, PyObject*>> almanac_functions;
};
ImportState* import_state = nullptr;

constexpr const char* kGlobals[] = {"load", "Topos", "almanac", "datetime", "timedelta", "pytz"};
constexpr const char* kAlmanacFunctions[] = {"find_discrete", "moon_phases", "sunrise_sunset"};

PyObject* remembered(const std::vector<std::pair<std::string, PyObject*>>& entries,
                     const char* name) {
    for (const auto& [n, object] : entries)
        if (n == name) return object;
    return nullptr;
}

// Every name the one-date path looks up resolves to the object it resolved to at
// import: no override on the instance, in a subclass or in the module.
bool resolves_as_at_import(py::handle self, PyObject* globals) {
    if (import_state == nullptr) return false;
    PyTypeObject* type = Py_TYPE(self.ptr());
    if (type->tp_getattro != PyObject_GenericGetAttr || Py_TYPE(type) != &PyType_Type)
        return false;
    py::object instance_dict = py::getattr(self, "__dict__", py::none());
    for (const auto& [name, original] : import_state->class_entries) {
        if (!instance_dict.is_none() && py::reinterpret_borrow<py::dict>(instance_dict).contains(name))
            return false;
        PyObject* found = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), name.c_str());
        if (found == nullptr) {
            PyErr_Clear();
            return false;
        }
        Py_DECREF(found);
        if (found != original) return false;
    }
    for (const auto& [name, original] : import_state->globals) {
        PyObject* value = PyDict_GetItemString(globals, name.c_str());  // borrowed
        if (value != original) return false;
    }
    py::handle almanac = remembered(import_state->globals, "almanac");
    for (const auto& [name, original] : import_state->almanac_functions) {
        py::object value = py::getattr(almanac, name.c_str(), py::none());
        if (value.ptr() != original) return false;
    }
    return true;
}

// The astronomy context stored on `self`, if it is complete and made of the
// objects that __initialize_astronomy makes; otherwise the one-date path runs
// (and raises what it raises for a missing attribute).
std::optional<astronomy::Context> context_of(py::handle self) {
    astronomy::Context ctx;
    std::pair<const char*, py::object*> fields[] = {
        {"_EPH", &ctx.eph},     {"_SUN", &ctx.sun}, {"_MOON", &ctx.moon}, {"_EARTH", &ctx.earth},
        {"_TS", &ctx.ts},       {"_DELHI", &ctx.delhi}, {"_IST", &ctx.ist},
    };
    for (auto [name, field] : fields) {
        *field = py::getattr(self, name, py::none());
        if (field->is_none()) return std::nullopt;
    }
    auto type_of = [](const char* module, const char* name) {
        return py::module_::import(module).attr(name);
    };
    // Bodies are any of Skyfield's vector functions: their array positions are the
    // scalar ones, element by element.
    py::object vector_function = type_of("skyfield.vectorlib", "VectorFunction");
    bool expected = py::type::of(ctx.eph).is(type_of("skyfield.jpllib", "SpiceKernel")) &&
                    py::type::of(ctx.ts).is(type_of("skyfield.timelib", "Timescale")) &&
                    py::isinstance(ctx.sun, vector_function) &&
                    py::isinstance(ctx.moon, vector_function) &&
                    py::isinstance(ctx.earth, vector_function);
    if (!expected) return std::nullopt;
    // The zone and the observer are the ones made at loading time: the rule that
    // a moment before local noon is before sunset rests on the observer being Delhi.
    py::handle pytz = remembered(import_state->globals, "pytz");
    if (!ctx.ist.is(pytz.attr("timezone")("Asia/Kolkata"))) return std::nullopt;
    py::handle topos = remembered(import_state->globals, "Topos");
    py::object delhi = topos("28.6139 N", "77.2090 E", "elevation_m"_a = 213);
    if (!py::type::of(ctx.delhi).is(py::type::of(delhi))) return std::nullopt;
    for (const char* coordinate : {"latitude", "longitude"})
        if (as_double(ctx.delhi.attr(coordinate).attr("degrees")) !=
            as_double(delhi.attr(coordinate).attr("degrees")))
            return std::nullopt;
    if (as_double(ctx.delhi.attr("elevation").attr("m")) != 213.0) return std::nullopt;
    return ctx;
}

struct Moment {
    py::object key, month, day;  // the Timestamp; month and day as the one-date path passes them
    long long y, m, d, h, mi;
};

long long field(py::handle date, const char* name) {
    long long v = PyLong_AsLongLong(date.attr(name).ptr());
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

// Python's date.toordinal(): 0001-01-01 is day 1 of the proleptic Gregorian calendar.
long long ordinal(long long y, long long m, long long d) {
    static constexpr int before_month[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    long long years = y - 1;
    bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
    return years * 365 + years / 4 - years / 100 + years / 400 + before_month[m - 1] +
           (m > 2 && leap) + d;
}

bool near_multiple(double x, double width, double margin) {
    double r = std::fmod(x, width);
    return !(r >= margin && width - r >= margin);  // NaN counts as near
}

py::array_t<long long> column(const std::vector<Moment>& moments, long long Moment::*member,
                              long long shift) {
    py::array_t<long long> out(static_cast<py::ssize_t>(moments.size()));
    auto view = out.mutable_unchecked<1>();
    for (std::size_t i = 0; i < moments.size(); ++i)
        view(static_cast<py::ssize_t>(i)) = moments[i].*member + shift;
    return out;
}

// The festival strings of `moments`, each either decided here or computed by the
// one-date path.
std::vector<py::object> evaluate(const astronomy::Context& ctx, py::handle self,
                                 const std::vector<Moment>& moments) {
    const std::size_t n = moments.size();
    // Panchang moments: IST to UTC field by field, as the one-date path does.
    py::object t = ctx.ts.attr("utc")(column(moments, &Moment::y, 0), column(moments, &Moment::m, 0),
                                      column(moments, &Moment::d, 0), column(moments, &Moment::h, -5),
                                      column(moments, &Moment::mi, -30));
    std::vector<double> tt = astronomy::to_vector(t.attr("tt"));
    std::vector<double> sun_nir = astronomy::nirayana_longitudes(ctx, ctx.sun, t);
    std::vector<double> moon_nir = astronomy::nirayana_longitudes(ctx, ctx.moon, t);
    std::vector<double> new_moons = astronomy::new_moons_around(ctx, tt);
    std::vector<double> sun_at_nm =
        astronomy::nirayana_longitudes(ctx, ctx.sun, astronomy::times_tt(ctx, new_moons));

    // Hijri day change: a moment before local noon is before that day's sunset at
    // Delhi; a later one is after it exactly when the Sun is down.
    std::vector<std::size_t> afternoon;
    py::list instants;
    py::handle datetime = remembered(import_state->globals, "datetime");
    for (std::size_t i = 0; i < n; ++i) {
        const Moment& mo = moments[i];
        if (mo.h < 12) continue;
        afternoon.push_back(i);
        instants.append(ctx.ist.attr("localize")(datetime(mo.y, mo.m, mo.d, mo.h, mo.mi)));
    }
    std::vector<double> altitude(n, 90.0);
    if (!afternoon.empty()) {
        std::vector<double> alt =
            astronomy::sun_altitudes(ctx, ctx.ts.attr("from_datetimes")(instants));
        for (std::size_t k = 0; k < afternoon.size(); ++k) altitude[afternoon[k]] = alt[k];
    }

    py::dict fixed_holidays = self.attr("_FIXED_HOLIDAYS");
    std::vector<py::object> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Moment& mo = moments[i];
        double diff = floored_mod(moon_nir[i] - sun_nir[i], 360);
        auto after = std::upper_bound(new_moons.begin(), new_moons.end(), tt[i]);
        bool undecided = near_multiple(diff, 12, kTithiMargin) || after == new_moons.begin() ||
                         after == new_moons.end() || tt[i] - after[-1] < kNewMoonMargin ||
                         after[0] - tt[i] < kNewMoonMargin;
        double sun_at_last_nm = undecided ? 0 : sun_at_nm[after - new_moons.begin() - 1];
        undecided = undecided || near_multiple(sun_at_last_nm, 30, kSignMargin) ||
                    std::fabs(altitude[i] - astronomy::kSunUpAltitude) < kAltitudeMargin;
        long long working_day =
            ordinal(mo.y, mo.m, mo.d) + (altitude[i] < astronomy::kSunUpAltitude);
        if (undecided || working_day > 3652059) {  // past 9999-12-31: the one-date path raises
            out[i] = festival_of_date(self, mo.key);
            continue;
        }
        long long tithi_no = panchang::tithi_number(diff);
        bool krishna = panchang::is_krishna(diff);
        long long amanta = panchang::amanta_index(sun_at_last_nm);
        // The DataFrame path names months the purnimanta way.
        py::object hindu =
            panchang::festival_on(krishna ? (amanta + 1) % 12 : amanta, krishna, tithi_no);
        auto [hijri_y, hijri_m, hijri_d] =
            islamic::hijri_from_ordinal(static_cast<double>(working_day));
        py::object islamic = islamic::festival_on(py::int_(hijri_m), py::int_(hijri_d));
        py::object fixed = dict_get(fixed_holidays, py::make_tuple(mo.month, mo.day));
        out[i] = join_festivals(hindu, islamic, fixed);
    }
    return out;
}

}  // namespace

void remember_import_state(py::dict globals) {
    if (!globals.contains("Tavrolen")) return;
    auto* state = new ImportState();
    // Every entry of the class namespace but the dunders and get_festival itself:
    // the eight private methods and _FIXED_HOLIDAYS.
    py::dict namespace_ = globals["Tavrolen"].attr("__dict__");
    for (auto [key, value] : namespace_) {
        std::string name = py::str(key);
        if (name.starts_with("__") || name == "get_festival") continue;
        state->class_entries.emplace_back(name, py::reinterpret_borrow<py::object>(value).release().ptr());
    }
    for (const char* name : kGlobals)
        state->globals.emplace_back(name, py::object(globals[name]).release().ptr());
    for (const char* name : kAlmanacFunctions)
        state->almanac_functions.emplace_back(
            name, py::object(globals["almanac"].attr(name)).release().ptr());
    import_state = state;
}

py::object festival_of_date(py::handle self, py::handle date) {
    py::object y = date.attr("year"), m = date.attr("month"), d = date.attr("day"),
               h = date.attr("hour"), mi = date.attr("minute");
    return self.attr("_Tavrolen__get_festival_holiday")(y, m, d, h, mi, "purnimanta"_a = true);
}

std::size_t fill_in_batch(Call& call, py::handle self, const std::vector<py::object>& dates,
                          py::dict festival_map) {
    if (dates.empty() || !resolves_as_at_import(self, call.globals())) return 0;
    py::handle timestamp = py::module_::import("pandas").attr("Timestamp");
    std::vector<Moment> moments;
    for (const py::object& date : dates) {
        if (!py::type::of(date).is(timestamp)) return 0;
        moments.push_back({date, date.attr("month"), date.attr("day"), field(date, "year"),
                           field(date, "month"), field(date, "day"), field(date, "hour"),
                           field(date, "minute")});
    }
    // Loading the context belongs to the one-date path, with its traceback entries.
    std::size_t done = 0;
    if (!has_attr(self, "_EPH")) {
        festival_map[dates[0]] = festival_of_date(self, dates[0]);
        done = 1;
    }
    std::optional<astronomy::Context> ctx = context_of(self);
    if (!ctx || done == dates.size()) return done;
    std::vector<py::object> results;
    try {
        results = evaluate(*ctx, self, std::vector<Moment>(moments.begin() + done, moments.end()));
    } catch (py::error_already_set& e) {
        // Whatever failed here (a moment outside the ephemeris, say) fails the
        // one-date path too, which then raises it with its own traceback entries.
        if (!e.matches(PyExc_Exception)) throw;
        return done;
    } catch (const std::exception&) {
        return done;
    }
    for (std::size_t i = done; i < dates.size(); ++i) festival_map[dates[i]] = results[i - done];
    return dates.size();
}

}  // namespace frame
