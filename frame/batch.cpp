// frame/batch.cpp: the festival strings of all distinct date-times of a DataFrame
// column at once.
//
// The one-date path (one __get_festival_holiday call per date-time) is the
// definition.  The batch computes the same quantities for all moments together
// with Skyfield's array calls, and decides a moment itself only where every
// quantity is farther from its decision boundary than the margins of
// frame/decide.cpp; every other moment, and every call where the batch cannot
// stand in (batch_refused), goes through the one-date path.
#include "frame/batch.hpp"

#include "astronomy/batch.hpp"
#include "astronomy/internals.hpp"
#include "frame/decide.hpp"
#include "frame/festival.hpp"
#include "frame/minutes.hpp"
#include "frame/watch.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"
#include "runtime/pyops.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

namespace frame {

using namespace pybind11::literals;
using astronomy::floor_div;

namespace {

// The distinct festival strings of one call, each made once: a minute holds an
// index into them.
class Names {
public:
    explicit Names(py::handle fixed_holidays) : fixed_holidays_(fixed_holidays) {
        for (long long month = 0; month < 12; ++month)
            for (long long tithi_no = 1; tithi_no <= 30; ++tithi_no)
                hindu_[month][tithi_no - 1] = panchang::festival_on(month, tithi_no > 15, tithi_no);
    }

    /// The index of what __get_festival_holiday returns for these three parts, or
    /// nothing where joining them fails (a fixed-date entry that is not a string):
    /// the one-date path then raises the definition's error.
    std::optional<int> combined(long long month_idx, long long tithi_no, long long hijri_m,
                                long long hijri_d, int month, int day) {
        py::handle hindu = hindu_[month_idx][tithi_no - 1];
        py::object& islamic = islamic_[hijri_m - 1][hijri_d - 1];
        if (!islamic) islamic = islamic::festival_on(py::int_(hijri_m), py::int_(hijri_d));
        py::object& fixed = fixed_[month - 1][day - 1];
        if (!fixed) fixed = runtime::dict_get(fixed_holidays_, py::make_tuple(month, day));
        auto key = std::make_tuple(hindu.ptr(), islamic.ptr(), fixed.ptr());
        auto [it, inserted] = combined_.try_emplace(key);
        if (inserted) {
            try {
                it->second = add(join_festivals(py::reinterpret_borrow<py::object>(hindu), islamic, fixed));
            } catch (py::error_already_set& e) {
                if (!e.matches(PyExc_Exception)) throw;
            }
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
    std::map<std::tuple<PyObject*, PyObject*, PyObject*>, std::optional<int>> combined_;
    std::vector<py::object> names_;
};

// The festival string index of every minute; the one-date path computes the
// minutes the batch cannot decide, for `key(minute)`, its first date-time.
template <typename Key>
std::vector<int> festival_indices(const Call& call, const astronomy::Context& ctx, py::handle self,
                                  const std::vector<Minute>& minutes, Names& names, Key key) {
    const std::vector<Decision> decisions = decide(call, ctx, self, minutes);
    std::vector<int> out(minutes.size());
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const Minute& mo = minutes[i];
        const Decision& dec = decisions[i];
        std::optional<int> found;
        if (dec.by_batch)
            found = names.combined(dec.month_idx, dec.tithi_no, dec.hijri_m, dec.hijri_d, mo.m, mo.d);
        out[i] = found ? *found : names.add(festival_of_date(call, self, key(mo)));
    }
    return out;
}

// The ticks of a DatetimeArray's unit in one minute, or 0 for a unit the batch
// does not read.
long long ticks_per_minute(py::handle unique_dates) {
    const std::string unit = py::str(unique_dates.attr("unit"));
    return unit == "s" ? 60 : unit == "ms" ? 60'000 : unit == "us" ? 60'000'000
         : unit == "ns" ? 60'000'000'000 : 0;
}

// The wall-clock minutes of a DatetimeArray's values (the fields the one-date
// path reads, Timestamp.year ... .minute: the seconds do not reach it).
std::vector<long long> minutes_of(py::handle pd, py::handle unique_dates, long long per_minute) {
    py::object wall = pd.attr("DatetimeIndex")(unique_dates);
    if (!wall.attr("tz").is_none()) wall = wall.attr("tz_localize")(py::none());
    auto raw = py::array_t<long long>::ensure(wall.attr("asi8"));
    if (!raw) throw py::error_already_set();
    std::vector<long long> out(static_cast<std::size_t>(raw.size()));
    auto values = raw.unchecked<1>();
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = floor_div(values(static_cast<py::ssize_t>(i)), per_minute);
    return out;
}

// What the batch reads of a call it stands in for.
struct Reading {
    long long per_minute = 0;  // ticks of the column's unit in a minute
    astronomy::Context ctx;
    std::optional<std::vector<astronomy::ZoneStretch>> zone;  // the stretches of ctx.ist
};

// Why the batch cannot stand in for the one-date path on this call, or null, and
// then `reading` holds what it reads: every condition, in the order a call meets
// them.  The names the bodies resolve and the column come first, before anything
// is computed.  Then `load` runs, which lets the one-date path compute the first
// date-time of an object that has no context yet: loading the context belongs to
// that path, with its traceback entries.  The context comes last.
template <typename Load>
const char* batch_refused(Call& call, py::handle self, py::handle unique_dates, Load load,
                          Reading& reading) {
    if (const char* why = rebound_name(self, call.globals())) return why;
    py::object pd = call.global("pd");
    if (!py::isinstance(unique_dates, pd.attr("arrays").attr("DatetimeArray")))
        return "not a column of date-times";
    if (py::len(unique_dates) == 0) return "no date-times";
    reading.per_minute = ticks_per_minute(unique_dates);
    if (reading.per_minute == 0) return "a unit of time the batch does not read";
    load();
    if (const char* why = context_unreadable(self, reading.ctx)) return why;
    if (const char* why = astronomy::internals_disagree(reading.ctx)) return why;
    reading.zone = astronomy::zone_stretches(reading.ctx.ist);
    if (!reading.zone) return "time zone tables";
    return nullptr;
}

}  // namespace

py::object festival_of_date(const Call& call, py::handle self, py::handle date) {
    py::object y = date.attr("year"), m = date.attr("month"), d = date.attr("day"),
               h = date.attr("hour"), mi = date.attr("minute");
    return call.method(self, "__get_festival_holiday")(y, m, d, h, mi, "purnimanta"_a = true);
}

py::object festival_mapper(Call& call, py::handle self, py::handle unique_dates,
                           py::dict festival_map) {
    // The first date-time of an object without context, computed by the one-date
    // path, which loads the context; it joins the batch's answers below.
    py::object first_festival;
    auto load = [&] {
        if (runtime::has_attr(self, "_EPH")) return;
        py::object date = unique_dates[py::int_(0)];
        festival_map[date] = festival_of_date(call, self, date);
        first_festival = festival_map[date];
    };
    Reading reading;
    if (batch_refused(call, self, unique_dates, load, reading)) return py::none();
    const astronomy::Context& ctx = reading.ctx;

    py::object pd = call.global("pd");
    std::vector<long long> of_date = minutes_of(pd, unique_dates, reading.per_minute);
    const std::size_t n = of_date.size();
    // Distinct minutes, ascending, and the minute of each date-time.
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
    of_date.clear();

    py::dict fixed_holidays = self.attr("_FIXED_HOLIDAYS");
    Names names(fixed_holidays);
    // The festival name index of each distinct minute, kNotYet until known.
    constexpr int kNotYet = -1;
    std::vector<int> index(distinct.size(), kNotYet);
    if (first_festival) index[static_cast<std::size_t>(slot[0])] = names.add(first_festival);

    // A minute whose computation would leave the ephemeris goes to the one-date
    // path alone, before any other work, in the order the definition visits the
    // date-times (first appearance): the first of them that fails there fails the
    // call with exactly the definition's exception and traceback, and the answers
    // of the other minutes, never written, were not worth computing.
    std::vector<Minute> minutes;
    for (std::size_t k = 0; k < distinct.size(); ++k)
        if (index[k] == kNotYet) minutes.push_back(minute_of(distinct[k], k));
    auto key = [&](const Minute& mo) { return py::object(unique_dates[py::int_(first_date[mo.slot])]); };
    if (!minutes.empty()) {
        fill_tt(ctx, minutes);
        fill_zone(*reading.zone, minutes);
        auto [first_tt, last_tt] = astronomy::batch_span(ctx);
        std::vector<Minute> inside, outside;
        for (const Minute& mo : minutes)
            (mo.tt >= first_tt && mo.tt <= last_tt ? inside : outside).push_back(mo);
        std::sort(outside.begin(), outside.end(), [&](const Minute& a, const Minute& b) {
            return first_date[a.slot] < first_date[b.slot];
        });
        for (const Minute& mo : outside) index[mo.slot] = names.add(festival_of_date(call, self, key(mo)));
        if (!inside.empty()) {
            std::vector<int> found = festival_indices(call, ctx, self, inside, names, key);
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
