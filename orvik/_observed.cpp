// orvik/_observed.cpp: the extension module orvik._observed, the engine of the
// observed festival calendar.  orvik/observed.py is its front.
#include "astronomy/batch.hpp"
#include "observed/calendar.hpp"
#include "observed/crescent.hpp"
#include "observed/days.hpp"
#include "observed/lists.hpp"
#include "observed/observances.hpp"
#include "runtime/plain.hpp"

#include <Python.h>

#include <pybind11/numpy.h>

namespace {

namespace py = pybind11;
using runtime::plain::arg;
using runtime::plain::arity;
using runtime::plain::guarded;

using observed::Source;
constexpr Source kSources[] = {Source::hindu,  Source::islamic, Source::christian,
                               Source::parsi,  Source::fixed,   Source::closure};

// The list a key names (None: the calendar without a list); ValueError naming
// the keys for any other.
const observed::HolidayList* list_of(py::handle key) {
    if (key.is_none()) return nullptr;
    if (py::isinstance<py::str>(key))
        if (const observed::HolidayList* list = observed::find_list(key.cast<std::string>())) return list;
    std::string keys;
    for (const observed::HolidayList& l : observed::kLists) keys += std::string(keys.empty() ? "" : ", ") + "'" + l.key + "'";
    throw py::value_error("no holiday list " + py::repr(key).cast<std::string>() + ": the lists are " + keys);
}

// festivals(context, first_day, last_day, list, as_published) -> (days, names, sources)
PyObject* festivals(PyObject*, PyObject* args) {
    if (!arity(args, 5, "festivals")) return nullptr;
    return guarded([&] {
        std::vector<observed::Festival> rows =
            observed::festivals_between(astronomy::context_from(arg(args, 0)), arg(args, 1).cast<long long>(),
                                        arg(args, 2).cast<long long>(), list_of(arg(args, 3)),
                                        arg(args, 4).cast<bool>());
        py::array_t<long long> days(static_cast<py::ssize_t>(rows.size()));
        py::list names, sources;
        std::vector<py::str> source;
        for (Source s : kSources) source.push_back(py::str(source_name(s)));
        auto* d = days.mutable_data();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            d[i] = rows[i].day;
            names.append(py::str(rows[i].name));
            sources.append(source[static_cast<int>(rows[i].source)]);
        }
        return py::object(py::make_tuple(days, names, sources));
    });
}

// civil_days(context, first_day, last_day) -> (sunrises, sunsets), TT
PyObject* civil_days(PyObject*, PyObject* args) {
    if (!arity(args, 3, "civil_days")) return nullptr;
    return guarded([&] {
        const long long first = arg(args, 1).cast<long long>(), last = arg(args, 2).cast<long long>();
        const auto ctx = astronomy::context_from(arg(args, 0));
        observed::Days days(observed::delhi(ctx));
        days.need(first, last);
        days.compute(ctx);
        py::list rises, sets;
        for (long long d = first; d <= last; ++d) {
            rises.append(days.sunrise(d));
            sets.append(days.sunset(d));
        }
        return py::object(py::make_tuple(rises, sets));
    });
}

// covered_days(context, list) -> (first_day, last_day)
PyObject* covered_days(PyObject*, PyObject* args) {
    if (!arity(args, 2, "covered_days")) return nullptr;
    return guarded([&] {
        auto [first, last] = observed::covered_days(astronomy::context_from(arg(args, 0)), list_of(arg(args, 1)));
        return py::object(py::make_tuple(first, last));
    });
}

// yallop_q(context, sunsets, conjunctions) -> list of q, one per sunset (TT),
// NaN where the Moon sets first
PyObject* yallop_q(PyObject*, PyObject* args) {
    if (!arity(args, 3, "yallop_q")) return nullptr;
    return guarded([&] {
        std::vector<double> sunsets = astronomy::to_vector(arg(args, 1));
        std::vector<double> conjunctions = astronomy::to_vector(arg(args, 2));
        if (sunsets.size() != conjunctions.size()) throw py::value_error("one conjunction per sunset");
        py::list out;
        astronomy::Context ctx = astronomy::context_from(arg(args, 0));
        for (double q : observed::yallop_q(ctx, observed::delhi(ctx), sunsets, conjunctions))
            out.append(q);
        return py::object(out);
    });
}

PyMethodDef methods[] = {
    {"festivals", festivals, METH_VARARGS,
     "festivals(context, first_day, last_day, list, as_published) -> (days, names, sources)\n\n"
     "The observances kept from civil day first_day to last_day (days since 1970-01-01,\n"
     "India time), sorted by day, then source (SOURCES) and table order: every\n"
     "observance by Delhi's reckoning (list None), or the days the list of that key\n"
     "(LISTS) keeps: the days actually kept, or as_published, the list as first printed.\n"
     "context holds the astronomy context in the attributes of a\n"
     "loaded Tavrolen object."},
    {"civil_days", civil_days, METH_VARARGS,
     "civil_days(context, first_day, last_day) -> (sunrises, sunsets): TT Julian dates of\n"
     "each civil day's sunrise and sunset at the observer"},
    {"covered_days", covered_days, METH_VARARGS,
     "covered_days(context, list) -> (first_day, last_day): the days festivals() answers\n"
     "for with that list (None: the calendar without a list)"},
    {"yallop_q", yallop_q, METH_VARARGS,
     "yallop_q(context, sunsets, conjunctions) -> [q]: Yallop's q at the best time of\n"
     "each evening (TT Julian dates); NaN where the Moon sets before the Sun"},
    {nullptr, nullptr, 0, nullptr},
};

void fill_observed(py::module_& m) {
    // NAMES: source -> the names of the calendar without a list, in table order;
    // LISTS: key -> description; LIST_NAMES: key -> every name the list can give;
    // SATURDAYS: key -> ((first civil day, closed Saturdays as bits: bit k - 1
    // the k-th of the month), ...), latest last.
    py::list sources;
    py::dict names, lists, list_names, saturdays;
    for (Source s : kSources) {
        sources.append(source_name(s));
        names[source_name(s)] = py::tuple();
    }
    auto append_new = [](py::object& tuple, const char* name) {
        if (!tuple.contains(name)) tuple = tuple + py::make_tuple(name);
    };
    for (const observed::Observance& o : observed::kObservances) {
        if (!o.in_calendar) continue;
        py::object t = names[source_name(observed::source_of(observed::fix_of(o)))];
        append_new(t, o.name);
        names[source_name(observed::source_of(observed::fix_of(o)))] = t;
    }
    for (const observed::HolidayList& l : observed::kLists) {
        lists[l.key] = l.description;
        py::object t = py::tuple();
        for (int r = 0; r < observed::kObservanceCount; ++r)
            if (observed::kObservances[r].lists.any(l.id)) append_new(t, observed::kObservances[r].name);
        for (const observed::Closure& c : l.closures) append_new(t, c.name);
        for (const observed::SecondDay& d : l.second_days) append_new(t, d.name);
        list_names[l.key] = t;
        py::list rules;
        for (const observed::Saturdays& s : l.saturdays)
            rules.append(py::make_tuple(astronomy::days_from_civil(s.year, s.month, s.day), s.closed));
        saturdays[l.key] = py::tuple(rules);
    }
    m.attr("SOURCES") = py::tuple(sources);
    m.attr("NAMES") = names;
    m.attr("LISTS") = lists;
    m.attr("LIST_NAMES") = list_names;
    m.attr("SATURDAYS") = saturdays;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(runtime::plain::exec<fill_observed>)},
    {0, nullptr},
};

PyModuleDef observed_def = runtime::plain::definition(
    "orvik._observed",
    "The observed festival calendar's engine; orvik.observed is its interface.", methods, slots);

}  // namespace

PyMODINIT_FUNC PyInit__observed(void) { return PyModuleDef_Init(&observed_def); }
