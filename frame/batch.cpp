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
#include "astronomy/observer.hpp"
#include "frame/festival.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"
#include "runtime/pyops.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

namespace frame {

using namespace pybind11::literals;
using runtime::as_double;

namespace {

// Margins.  Each is far wider than the largest difference measured between the
// batch quantity and the one-date quantity it stands for, over random date-times
// from 1901 to 2049 (bench/batch_margins.py prints them):
//
// - elongation (tithi and paksha): the array positions equal the scalar ones
//   bit for bit (difference 0); 1e-6 degrees, about 7 ms of lunar motion, covers
//   numerical libraries that vectorise differently.
constexpr double kTithiMargin = 1e-6;
// - new moon instants: the one-date path refines each by bisection to about a
//   millisecond, Newton's method here to 1e-9 days; measured at most 0.3 ms
//   apart.  A minute within 2 s of a new moon is left to the one-date path.
constexpr double kNewMoonMargin = 2.0 / 86400.0;
// - the Sun's sidereal longitude at the new moon (the month): 0.3 ms of solar
//   motion is 1e-8 degrees; 1e-4 degrees is about 9 s of it.
constexpr double kSignMargin = 1e-4;
// - the Sun's altitude against the sunset threshold (sparse minutes): the array
//   altitude equals the scalar one to 1e-14 degrees, and the one-date sunset
//   instant is within 0.2 ms (bisection) plus a microsecond (rounding) of the
//   threshold crossing, 1e-6 degrees of solar motion; 0.01 degrees is about 2 s.
constexpr double kAltitudeMargin = 0.01;
// - a minute's TT, from its UTC day's midnight plus the minutes since: within
//   0.04 ms of the timescale's own conversion.
// - tithi changes (dense minutes): each change instant is found to 0.02 ms of
//   lunar motion; a minute within 1 s of a change has its elongation computed
//   exactly, and is then held to kTithiMargin.
constexpr double kTithiChangeMargin = 1.0 / 86400.0;
// - sunset (dense minutes): the one-date path's sunset instant is within 0.2 ms
//   of the threshold crossing found here; a minute within 0.1 s of it takes the
//   one-date path's own Hijri date.
constexpr double kSunsetMargin = 0.1 / 86400.0;

// Delhi's sunset is never before 17:00 IST: an earlier minute is before it, and
// minutes at noon need no sunset at all.
constexpr int kEarliestSunsetHour = 16;

// Above this many distinct minutes per day of span, finding the events of the
// span (a tithi change about every 24 hours, a sunset a day) costs less than the
// positions of every minute.
constexpr double kDenseMinutesPerDay = 8;

// What the one-date path resolved to right after the module body.  Strong
// references, never released, like the module itself.
struct Remembered {
    std::string name;
    PyObject* object;
};
struct ImportState {
    std::vector<Remembered> class_entries;  // by the name the class stores them under
    std::vector<Remembered> globals;        // every name the module body imported
    std::vector<PyObject*> attributes;      // kWatchedAttributes[i], as stored (unbound)
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
    for (std::size_t i = 0; i < kWatchedAttributes.size(); ++i) {
        const WatchedAttribute& watched = kWatchedAttributes[i];
        py::object value = static_attribute(remembered_global(watched.global), watched.attribute);
        if (value.ptr() != import_state->attributes[i]) return false;
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
    // a minute before 16:00 is before sunset rests on the observer being Delhi.
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

// ---------------------------------------------------------------------------
// Civil calendar arithmetic on whole minutes

constexpr long long kMinutesPerDay = 1440;
// date(1970, 1, 1).toordinal(): the ordinal of the Unix epoch's day.
constexpr long long kEpochOrdinal = 719163;
// IST is this many minutes ahead of UTC.
constexpr long long kIstOffset = astronomy::kIstOffsetHours * 60 + astronomy::kIstOffsetMinutes;

long long floor_div(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

struct Civil {
    long long y;
    int m, d;
};

// The proleptic Gregorian date of a day counted from 1970-01-01 (H. Hinnant's
// civil_from_days).
Civil civil_from_days(long long z) {
    z += 719468;
    const long long era = floor_div(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m, d};
}

// One distinct wall-clock minute of the column, as the one-date path sees it.
struct Minute {
    long long minute;  // minutes since 1970-01-01 00:00 of IST wall-clock time
    std::size_t slot;  // its index among the call's distinct minutes
    double tt;         // its TT Julian date, to within a millisecond
    long long y;
    int m, d, h, mi;
    long long ordinal() const { return floor_div(minute, kMinutesPerDay) + kEpochOrdinal; }
};

Minute minute_of(long long minute, std::size_t slot) {
    const long long day = floor_div(minute, kMinutesPerDay);
    const long long of_day = minute - day * kMinutesPerDay;
    const Civil c = civil_from_days(day);
    return {minute, slot, 0.0, c.y, c.m, c.d, static_cast<int>(of_day / 60),
            static_cast<int>(of_day % 60)};
}

bool near_multiple(double x, double width, double margin) {
    double r = std::fmod(x, width);
    return !(r >= margin && width - r >= margin);  // NaN counts as near
}

template <typename Field>
py::array_t<long long> column_of(const std::vector<Minute>& minutes,
                                 const std::vector<std::size_t>& which, Field field) {
    py::array_t<long long> out(static_cast<py::ssize_t>(which.size()));
    auto view = out.mutable_unchecked<1>();
    for (std::size_t k = 0; k < which.size(); ++k)
        view(static_cast<py::ssize_t>(k)) = field(minutes[which[k]]);
    return out;
}

// TT of every minute: TT - UTC is constant within a UTC day (a leap second is
// the day's last), so one timescale call per UTC day gives them all.
void fill_tt(const astronomy::Context& ctx, std::vector<Minute>& minutes) {
    std::vector<long long> days;
    for (const Minute& mo : minutes) {
        long long day = floor_div(mo.minute - kIstOffset, kMinutesPerDay);
        if (days.empty() || days.back() != day) days.push_back(day);
    }
    py::array_t<long long> y(static_cast<py::ssize_t>(days.size())), m(y.size()), d(y.size());
    for (std::size_t k = 0; k < days.size(); ++k) {
        Civil c = civil_from_days(days[k]);
        y.mutable_at(k) = c.y;
        m.mutable_at(k) = c.m;
        d.mutable_at(k) = c.d;
    }
    std::vector<double> midnight = astronomy::to_vector(ctx.ts.attr("utc")(y, m, d).attr("tt"));
    std::size_t k = 0;
    for (Minute& mo : minutes) {
        long long utc = mo.minute - kIstOffset;
        while (days[k] != floor_div(utc, kMinutesPerDay)) ++k;
        mo.tt = midnight[k] + static_cast<double>(utc - days[k] * kMinutesPerDay) / kMinutesPerDay;
    }
}

// ---------------------------------------------------------------------------
// The festival strings of many minutes

// The distinct festival strings of one call, each made once: a minute holds an
// index into them.
class Names {
public:
    explicit Names(py::handle fixed_holidays) : fixed_holidays_(fixed_holidays) {
        for (long long month = 0; month < 12; ++month)
            for (long long tithi_no = 1; tithi_no <= 30; ++tithi_no)
                hindu_[month][tithi_no - 1] = panchang::festival_on(month, tithi_no > 15, tithi_no);
    }

    /// The index of what __get_festival_holiday returns for these three parts.
    int combined(long long month_idx, long long tithi_no, long long hijri_m, long long hijri_d,
                 int month, int day) {
        py::handle hindu = hindu_[month_idx][tithi_no - 1];
        py::object& islamic = islamic_[hijri_m - 1][hijri_d - 1];
        if (!islamic) islamic = islamic::festival_on(py::int_(hijri_m), py::int_(hijri_d));
        py::object& fixed = fixed_[month - 1][day - 1];
        if (!fixed) fixed = runtime::dict_get(fixed_holidays_, py::make_tuple(month, day));
        auto key = std::make_tuple(hindu.ptr(), islamic.ptr(), fixed.ptr());
        auto [it, inserted] = combined_.try_emplace(key, 0);
        if (inserted) {
            it->second = add(join_festivals(py::reinterpret_borrow<py::object>(hindu), islamic, fixed));
        }
        return it->second;
    }

    int add(py::object name) {
        names_.push_back(std::move(name));
        return static_cast<int>(names_.size() - 1);
    }
    py::handle operator[](int index) const { return names_[static_cast<std::size_t>(index)]; }

private:
    py::handle fixed_holidays_;
    std::array<std::array<py::object, 30>, 12> hindu_;
    std::array<std::array<py::object, 30>, 12> islamic_;
    std::array<std::array<py::object, 31>, 12> fixed_;
    std::map<std::tuple<PyObject*, PyObject*, PyObject*>, int> combined_;
    std::vector<py::object> names_;
};

// What the batch decided of one minute, or that it could not decide.
struct Decision {
    long long tithi_no = 0;     // 1 to 30; 0 until known
    long long month_idx = -1;   // purnimanta month, -1 until known
    bool after_sunset = false;
    long long hijri_m = 0;      // from __get_hijri_date where sunset was too close; 0 if not
    long long hijri_d = 0;
    bool undecided = false;     // the one-date path decides this minute
};

// Tithi, month and day change of every minute, from the events of the span
// when the minutes are dense, from each minute's own positions otherwise.
std::vector<Decision> decide(const Call& call, const astronomy::Context& ctx, py::handle self,
                             const std::vector<Minute>& minutes) {
    const std::size_t n = minutes.size();
    std::vector<Decision> out(n);
    const double first = minutes.front().tt, last = minutes.back().tt;
    const bool dense = static_cast<double>(n) > kDenseMinutesPerDay * (last - first + 1);

    // Tithi and paksha.
    std::vector<std::size_t> exact;
    if (dense) {
        // A tithi lasts at most 1.2 days: the changes from 1.5 days before the first
        // minute to 1.5 days after the last enclose every minute.
        std::vector<astronomy::TithiChange> changes =
            astronomy::tithi_changes(ctx, first - 1.5, last + 1.5);
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            while (k + 1 < changes.size() && changes[k + 1].tt <= minutes[i].tt) ++k;
            if (k + 1 >= changes.size() || minutes[i].tt < changes[k].tt) {
                exact.push_back(i);
                continue;
            }
            double since = minutes[i].tt - changes[k].tt, until = changes[k + 1].tt - minutes[i].tt;
            if (since < kTithiChangeMargin || until < kTithiChangeMargin)
                exact.push_back(i);
            else
                out[i].tithi_no = changes[k].start + 1;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) exact.push_back(i);
    }
    if (!exact.empty()) {
        // Exactly as the one-date path: IST to UTC field by field, then positions.
        py::object t = ctx.ts.attr("utc")(
            column_of(minutes, exact, [](const Minute& mo) { return mo.y; }),
            column_of(minutes, exact, [](const Minute& mo) { return mo.m; }),
            column_of(minutes, exact, [](const Minute& mo) { return mo.d; }),
            column_of(minutes, exact, [](const Minute& mo) { return mo.h - astronomy::kIstOffsetHours; }),
            column_of(minutes, exact, [](const Minute& mo) { return mo.mi - astronomy::kIstOffsetMinutes; }));
        auto [sun_nir, moon_nir] = astronomy::nirayana_sun_moon(ctx, t);
        for (std::size_t k = 0; k < exact.size(); ++k) {
            double diff = runtime::floored_mod(moon_nir[k] - sun_nir[k], 360.0);
            if (near_multiple(diff, astronomy::kTithiDegrees, kTithiMargin))
                out[exact[k]].undecided = true;
            else
                out[exact[k]].tithi_no = panchang::tithi_number(diff);
        }
    }

    // The lunar month: the Sun's sign at the last new moon.
    std::vector<double> new_moons = astronomy::new_moons_between(ctx, first - 1, last + 1);
    std::vector<double> sun_at_nm =
        astronomy::nirayana_longitudes(ctx, ctx.sun, astronomy::times_tt(ctx, new_moons));
    std::vector<long long> amanta(new_moons.size());
    for (std::size_t k = 0; k < new_moons.size(); ++k) amanta[k] = panchang::amanta_index(sun_at_nm[k]);
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        Decision& dec = out[i];
        const double tt = minutes[i].tt;
        while (j + 1 < new_moons.size() && new_moons[j + 1] <= tt) ++j;
        bool inside = new_moons[j] <= tt && j + 1 < new_moons.size();
        if (dec.undecided || !inside || tt - new_moons[j] < kNewMoonMargin ||
            new_moons[j + 1] - tt < kNewMoonMargin || near_multiple(sun_at_nm[j], 30, kSignMargin)) {
            dec.undecided = true;
            continue;
        }
        dec.month_idx = panchang::month_index(amanta[j], true, dec.tithi_no > 15);
    }

    // The day change at sunset, for minutes late enough in the day to be after it.
    std::vector<std::size_t> late;
    for (std::size_t i = 0; i < n; ++i)
        if (!out[i].undecided && minutes[i].h >= kEarliestSunsetHour) late.push_back(i);
    std::vector<std::size_t> too_close;
    if (dense && !late.empty()) {
        // One sunset per civil date, found from 18:00 IST of that date.
        std::vector<double> guesses;
        std::vector<std::size_t> date_of(late.size());
        for (std::size_t k = 0; k < late.size(); ++k) {
            const Minute& mo = minutes[late[k]];
            if (k == 0 || floor_div(mo.minute, kMinutesPerDay) !=
                              floor_div(minutes[late[k - 1]].minute, kMinutesPerDay)) {
                double from_evening = static_cast<double>(18 * 60 - (mo.h * 60 + mo.mi));
                guesses.push_back(mo.tt + from_evening / kMinutesPerDay);
            }
            date_of[k] = guesses.size() - 1;
        }
        std::vector<double> sunsets = astronomy::sunsets_near(ctx, guesses);
        for (std::size_t k = 0; k < late.size(); ++k) {
            double from_sunset = minutes[late[k]].tt - sunsets[date_of[k]];
            if (std::fabs(from_sunset) < kSunsetMargin)
                too_close.push_back(late[k]);
            else
                out[late[k]].after_sunset = from_sunset > 0;
        }
    } else if (!late.empty()) {
        std::vector<double> tt(late.size());
        for (std::size_t k = 0; k < late.size(); ++k) tt[k] = minutes[late[k]].tt;
        std::vector<double> altitude = astronomy::sun_altitudes(ctx, astronomy::times_tt(ctx, tt));
        for (std::size_t k = 0; k < late.size(); ++k) {
            if (std::fabs(altitude[k] - astronomy::kSunUpAltitude) < kAltitudeMargin)
                too_close.push_back(late[k]);
            else
                out[late[k]].after_sunset = altitude[k] < astronomy::kSunUpAltitude;
        }
    }
    // Too close to call from the batch's sunset: the one-date path's own Hijri date.
    py::handle datetime = remembered_global("datetime");
    for (std::size_t i : too_close) {
        const Minute& mo = minutes[i];
        auto [_y, m, d] = runtime::unpack<3>(
            call.method(self, "__get_hijri_date")(datetime(mo.y, mo.m, mo.d, mo.h, mo.mi)));
        out[i].hijri_m = m.cast<long long>();
        out[i].hijri_d = d.cast<long long>();
    }
    return out;
}

// The festival string index of every minute; the one-date path computes the
// minutes the batch cannot decide, for `key(minute)`, its first date-time.
template <typename Key>
std::vector<int> festival_indices(const Call& call, const astronomy::Context& ctx, py::handle self,
                                  const std::vector<Minute>& minutes, Names& names, Key key) {
    std::vector<Decision> decisions = decide(call, ctx, self, minutes);
    std::vector<int> out(minutes.size());
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const Minute& mo = minutes[i];
        Decision& dec = decisions[i];
        if (dec.undecided) {
            out[i] = names.add(festival_of_date(call, self, key(mo)));
            continue;
        }
        if (dec.hijri_m == 0) {
            auto [_y, m, d] = islamic::hijri_from_ordinal(mo.ordinal() + dec.after_sunset);
            dec.hijri_m = m;
            dec.hijri_d = d;
        }
        out[i] = names.combined(dec.month_idx, dec.tithi_no, dec.hijri_m, dec.hijri_d, mo.m, mo.d);
    }
    return out;
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
    for (const WatchedAttribute& watched : kWatchedAttributes)
        state->attributes.push_back(
            static_attribute(remembered_global(watched.global), watched.attribute).release().ptr());
    // pytz builds its zone list and each zone lazily, at first use, with no lock.
    // Two threads making their first calls at once could each build
    // "Asia/Kolkata" (two objects, one of which the batch then does not
    // recognise), and an interrupt landing inside that first build leaves pytz
    // without zones for the rest of the process.  Building the zone here, at
    // import, completes that state before any call can race or be interrupted
    // in it.  A zone that cannot be built fails later, in the call that needs it.
    try {
        py::handle(remembered_global("pytz")).attr("timezone")(astronomy::kZoneName);
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
    }
}

py::object festival_of_date(const Call& call, py::handle self, py::handle date) {
    py::object y = date.attr("year"), m = date.attr("month"), d = date.attr("day"),
               h = date.attr("hour"), mi = date.attr("minute");
    return call.method(self, "__get_festival_holiday")(y, m, d, h, mi, "purnimanta"_a = true);
}

py::object festival_mapper(Call& call, py::handle self, py::handle unique_dates,
                           py::dict festival_map) {
    if (!resolves_as_at_import(self, call.globals())) return py::none();
    py::object pd = call.global("pd");
    if (!py::isinstance(unique_dates, pd.attr("arrays").attr("DatetimeArray"))) return py::none();
    // The wall-clock fields the one-date path reads (Timestamp.year ... .minute),
    // as whole minutes: the seconds do not reach it.
    py::object wall = pd.attr("DatetimeIndex")(unique_dates);
    if (!wall.attr("tz").is_none()) wall = wall.attr("tz_localize")(py::none());
    const std::string unit = py::str(wall.attr("unit"));
    const long long per_minute = unit == "s" ? 60 : unit == "ms" ? 60'000 : unit == "us" ? 60'000'000
                                              : unit == "ns" ? 60'000'000'000 : 0;
    if (per_minute == 0) return py::none();
    auto raw = py::array_t<long long>::ensure(wall.attr("asi8"));
    if (!raw) throw py::error_already_set();
    const std::size_t n = static_cast<std::size_t>(raw.size());
    if (n == 0) return py::none();
    // Distinct minutes, ascending, and the minute of each date-time.
    std::vector<long long> of_date(n);
    auto values = raw.unchecked<1>();
    for (std::size_t i = 0; i < n; ++i) of_date[i] = floor_div(values(static_cast<py::ssize_t>(i)), per_minute);
    std::vector<long long> distinct(of_date);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    std::vector<std::size_t> first_date(distinct.size(), n);
    std::vector<int> slot(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto at = std::lower_bound(distinct.begin(), distinct.end(), of_date[i]);
        slot[i] = static_cast<int>(at - distinct.begin());
        first_date[static_cast<std::size_t>(slot[i])] = std::min(first_date[static_cast<std::size_t>(slot[i])], i);
    }
    of_date = {};

    // Loading the context belongs to the one-date path, with its traceback entries.
    py::dict fixed_holidays = self.attr("_FIXED_HOLIDAYS");
    Names names(fixed_holidays);
    std::vector<int> index(distinct.size(), -1);
    if (!runtime::has_attr(self, "_EPH")) {
        py::object date = unique_dates[py::int_(0)];
        festival_map[date] = festival_of_date(call, self, date);
        index[static_cast<std::size_t>(slot[0])] = names.add(festival_map[date]);
    }
    std::optional<astronomy::Context> ctx = context_of(self);
    if (!ctx) return py::none();

    // A minute whose computation would leave the ephemeris goes to the one-date
    // path alone, before any other work: if it fails there, the call fails with
    // exactly the definition's exception and traceback, and the answers of the
    // other minutes, never written, were not worth computing.
    std::vector<Minute> minutes;
    for (std::size_t k = 0; k < distinct.size(); ++k)
        if (index[k] < 0) minutes.push_back(minute_of(distinct[k], k));
    auto key = [&](const Minute& mo) { return py::object(unique_dates[py::int_(first_date[mo.slot])]); };
    if (!minutes.empty()) {
        fill_tt(*ctx, minutes);
        auto [first_tt, last_tt] = astronomy::batch_span(*ctx);
        std::vector<Minute> inside;
        for (const Minute& mo : minutes) {
            if (mo.tt >= first_tt && mo.tt <= last_tt)
                inside.push_back(mo);
            else
                index[mo.slot] = names.add(festival_of_date(call, self, key(mo)));
        }
        if (!inside.empty()) {
            std::vector<int> found = festival_indices(call, *ctx, self, inside, names, key);
            for (std::size_t k = 0; k < inside.size(); ++k) index[inside[k].slot] = found[k];
        }
    }
    // pd.Series(values, index=unique_dates): map() looks each row up in it as it
    // would in a dict of the same items.
    py::array festival_values = runtime::object_array(n, [&](std::size_t i) {
        return names[index[static_cast<std::size_t>(slot[i])]];
    });
    return pd.attr("Series")(festival_values, "index"_a = unique_dates);
}

}  // namespace frame
