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
#include "astronomy/observer.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"
#include "runtime/pyops.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace frame {

using namespace pybind11::literals;
using runtime::as_double;

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

// date.max.toordinal(): 9999-12-31, the last day the date type holds.
constexpr long long kLastOrdinal = 3652059;

// What the one-date path resolved to right after the module body.  Strong
// references, never released, like the module itself.
struct Remembered {
    std::string name;
    PyObject* object;
};
struct ImportState {
    std::vector<Remembered> class_entries;  // by the name the class stores them under
    std::vector<Remembered> globals;        // every name the module body imported
    std::vector<Remembered> attributes;     // "global.attribute", as stored (unbound)
    std::string skipped_method;             // get_festival's own entry: it runs either way
};
ImportState* import_state = nullptr;

PyObject* remembered_global(const char* name) {
    for (const Remembered& r : import_state->globals)
        if (r.name == name) return r.object;
    throw std::logic_error(std::string("the module body imports no ") + name);
}

// inspect.getattr_static(obj, name): the attribute as stored on the object or its
// class, without running descriptors, so that a method or a class method compares
// by identity.  Null when absent.
py::object static_attribute(py::handle obj, const char* name) {
    static py::handle getattr_static =
        py::object(py::module_::import("inspect").attr("getattr_static")).release();
    static py::handle absent = py::object(py::module_::import("builtins").attr("object")()).release();
    py::object value = getattr_static(obj, name, absent);
    return value.is(absent) ? py::object() : value;
}

// Every name the one-date path looks up resolves to the object it resolved to at
// import: no override on the instance, in a subclass or in the module, and no
// replaced attribute of an imported module or class.
bool resolves_as_at_import(py::handle self, PyObject* globals) {
    if (import_state == nullptr) return false;
    PyTypeObject* type = Py_TYPE(self.ptr());
    if (type->tp_getattro != PyObject_GenericGetAttr || Py_TYPE(type) != &PyType_Type)
        return false;
    py::object instance_dict = runtime::getattr_or_absent(self, "__dict__");
    for (const Remembered& entry : import_state->class_entries) {
        if (instance_dict && py::isinstance<py::dict>(instance_dict) &&
            py::reinterpret_borrow<py::dict>(instance_dict).contains(entry.name))
            return false;
        py::object found = runtime::getattr_or_absent(reinterpret_cast<PyObject*>(type),
                                                      entry.name.c_str());
        if (!found || found.ptr() != entry.object) return false;
    }
    for (const Remembered& global : import_state->globals)
        if (PyDict_GetItemString(globals, global.name.c_str()) != global.object) return false;
    for (const WatchedAttribute& watched : kWatchedAttributes) {
        py::object value = static_attribute(remembered_global(watched.global), watched.attribute);
        std::string key = std::string(watched.global) + "." + watched.attribute;
        for (const Remembered& r : import_state->attributes)
            if (r.name == key && value.ptr() != r.object) return false;
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
        *field = runtime::getattr_or_absent(self, name);
        if (!*field) return std::nullopt;
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
    py::handle pytz = remembered_global("pytz");
    if (!ctx.ist.is(pytz.attr("timezone")(astronomy::kZoneName))) return std::nullopt;
    py::handle topos = remembered_global("Topos");
    py::object delhi = topos(astronomy::kDelhiLatitude, astronomy::kDelhiLongitude,
                             "elevation_m"_a = astronomy::kDelhiElevationM);
    if (!py::type::of(ctx.delhi).is(py::type::of(delhi))) return std::nullopt;
    for (const char* coordinate : {"latitude", "longitude"})
        if (as_double(ctx.delhi.attr(coordinate).attr("degrees")) !=
            as_double(delhi.attr(coordinate).attr("degrees")))
            return std::nullopt;
    if (as_double(ctx.delhi.attr("elevation").attr("m")) != astronomy::kDelhiElevationM)
        return std::nullopt;
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
std::vector<py::object> evaluate(const Call& call, const astronomy::Context& ctx, py::handle self,
                                 const std::vector<Moment>& moments) {
    const std::size_t n = moments.size();
    // Panchang moments: IST to UTC field by field, as the one-date path does.
    py::object t = ctx.ts.attr("utc")(
        column(moments, &Moment::y, 0), column(moments, &Moment::m, 0),
        column(moments, &Moment::d, 0), column(moments, &Moment::h, -astronomy::kIstOffsetHours),
        column(moments, &Moment::mi, -astronomy::kIstOffsetMinutes));
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
    py::handle datetime = remembered_global("datetime");
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
        double diff = runtime::floored_mod(moon_nir[i] - sun_nir[i], 360.0);
        auto after = std::upper_bound(new_moons.begin(), new_moons.end(), tt[i]);
        bool undecided = near_multiple(diff, 12, kTithiMargin) || after == new_moons.begin() ||
                         after == new_moons.end() || tt[i] - after[-1] < kNewMoonMargin ||
                         after[0] - tt[i] < kNewMoonMargin;
        double sun_at_last_nm = undecided ? 0 : sun_at_nm[after - new_moons.begin() - 1];
        undecided = undecided || near_multiple(sun_at_last_nm, 30, kSignMargin) ||
                    std::fabs(altitude[i] - astronomy::kSunUpAltitude) < kAltitudeMargin;
        long long working_day =
            ordinal(mo.y, mo.m, mo.d) + (altitude[i] < astronomy::kSunUpAltitude);
        // Past the last civil day, the one-date path's date arithmetic raises.
        if (undecided || working_day > kLastOrdinal) {
            out[i] = festival_of_date(call, self, mo.key);
            continue;
        }
        long long tithi_no = panchang::tithi_number(diff);
        bool krishna = panchang::is_krishna(diff);
        long long amanta = panchang::amanta_index(sun_at_last_nm);
        // get_festival asks for purnimanta month names.
        py::object hindu = panchang::festival_on(panchang::month_index(amanta, true, krishna),
                                                 krishna, tithi_no);
        auto [hijri_y, hijri_m, hijri_d] = islamic::hijri_from_ordinal(working_day);
        py::object islamic = islamic::festival_on(py::int_(hijri_m), py::int_(hijri_d));
        py::object fixed = runtime::dict_get(fixed_holidays, py::make_tuple(mo.month, mo.day));
        out[i] = join_festivals(hindu, islamic, fixed);
    }
    return out;
}

// The Julian date of a moment to within a minute (UTC for TT): enough to tell
// whether the batch's array calls stay inside the ephemeris.
double approximate_jd(const Moment& mo) {
    constexpr double kOrdinalToJulianDate = 1721424.5;
    double minutes = static_cast<double>(mo.h * 60 + mo.mi) -
                     (astronomy::kIstOffsetHours * 60 + astronomy::kIstOffsetMinutes);
    return static_cast<double>(ordinal(mo.y, mo.m, mo.d)) + kOrdinalToJulianDate + minutes / 1440;
}

}  // namespace

// The attributes of imported globals that the one-date path reads and that can
// change while the global stays the same object.  (The datetime and timedelta
// classes are built-in types, whose attributes cannot be rebound.)
const std::vector<WatchedAttribute> kWatchedAttributes = {
    {"load", "timescale"},          {"almanac", "find_discrete"}, {"almanac", "moon_phases"},
    {"almanac", "sunrise_sunset"},  {"pytz", "timezone"},         {"pytz", "utc"},
};

void remember_import_state(const runtime::ModuleSpec& module, py::dict globals) {
    const runtime::ClassSpec& cls = *module.cls;
    if (!globals.contains(cls.class_name)) return;
    auto* state = new ImportState();
    // Every entry of the class but get_festival itself, which runs on either route.
    py::dict namespace_ = globals[cls.class_name].attr("__dict__");
    for (const runtime::ClassEntry& entry : cls.entries) {
        if (entry.method != nullptr && entry.method->body == get_festival) continue;
        std::string name = entry.method ? cls.stored_name(*entry.method) : entry.value_name;
        state->class_entries.push_back({name, py::object(namespace_[name.c_str()]).release().ptr()});
    }
    for (const char* name : module.imported_names())
        state->globals.push_back({name, py::object(globals[name]).release().ptr()});
    import_state = state;
    for (const WatchedAttribute& watched : kWatchedAttributes) {
        py::object value = static_attribute(remembered_global(watched.global), watched.attribute);
        state->attributes.push_back({std::string(watched.global) + "." + watched.attribute,
                                     value.release().ptr()});
    }
}

py::object festival_of_date(const Call& call, py::handle self, py::handle date) {
    py::object y = date.attr("year"), m = date.attr("month"), d = date.attr("day"),
               h = date.attr("hour"), mi = date.attr("minute");
    return call.method(self, "__get_festival_holiday")(y, m, d, h, mi, "purnimanta"_a = true);
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
    if (!runtime::has_attr(self, "_EPH")) {
        festival_map[dates[0]] = festival_of_date(call, self, dates[0]);
        done = 1;
    }
    std::optional<astronomy::Context> ctx = context_of(self);
    if (!ctx || done == dates.size()) return done;
    // A moment whose computation would leave the ephemeris goes to the one-date
    // path alone, before any other work: if it fails there, the call fails with
    // exactly the definition's exception and traceback, and the answers of the
    // other moments, never written, were not worth computing.
    auto [first_jd, last_jd] = astronomy::batch_span(*ctx);
    std::vector<Moment> inside;
    std::vector<std::size_t> inside_index;
    for (std::size_t i = done; i < dates.size(); ++i) {
        double jd = approximate_jd(moments[i]);
        if (jd >= first_jd && jd <= last_jd) {
            inside.push_back(moments[i]);
            inside_index.push_back(i);
        } else {
            festival_map[dates[i]] = festival_of_date(call, self, dates[i]);
        }
    }
    std::vector<py::object> results;
    try {
        results = evaluate(call, *ctx, self, inside);
    } catch (py::error_already_set& e) {
        // Anything unforeseen: the one-date path decides every remaining moment,
        // raising what it raises.
        if (!e.matches(PyExc_Exception)) throw;
    } catch (const std::exception&) {
    }
    for (std::size_t k = 0; k < inside.size(); ++k)
        festival_map[dates[inside_index[k]]] =
            results.empty() ? festival_of_date(call, self, dates[inside_index[k]]) : results[k];
    return dates.size();
}

}  // namespace frame
