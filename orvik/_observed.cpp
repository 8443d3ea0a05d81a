// orvik/_observed.cpp: the extension module orvik._observed, the engine of the
// observed festival calendar.  orvik/observed.py is its front.
#include "astronomy/batch.hpp"
#include "frame/holidays.hpp"
#include "islamic/hijri.hpp"
#include "observed/calendar.hpp"
#include "observed/crescent.hpp"
#include "observed/days.hpp"
#include "observed/hindu.hpp"
#include "runtime/plain.hpp"

#include <Python.h>

#include <pybind11/numpy.h>

namespace {

namespace py = pybind11;
using runtime::plain::arg;
using runtime::plain::arity;
using runtime::plain::guarded;

// festivals(context, first_day, last_day) -> (days, names, sources)
PyObject* festivals(PyObject*, PyObject* args) {
    if (!arity(args, 3, "festivals")) return nullptr;
    return guarded([&] {
        std::vector<observed::Festival> rows = observed::festivals_between(
            astronomy::context_from(arg(args, 0)), arg(args, 1).cast<long long>(), arg(args, 2).cast<long long>());
        py::array_t<long long> days(static_cast<py::ssize_t>(rows.size()));
        py::list names, sources;
        using observed::Source;
        py::str source[] = {py::str(source_name(Source::hindu)), py::str(source_name(Source::islamic)),
                            py::str(source_name(Source::fixed))};
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
        observed::Days days;
        days.need(first, last);
        days.compute(astronomy::context_from(arg(args, 0)));
        py::list rises, sets;
        for (long long d = first; d <= last; ++d) {
            rises.append(days.sunrise(d));
            sets.append(days.sunset(d));
        }
        return py::object(py::make_tuple(rises, sets));
    });
}

// covered_days(context) -> (first_day, last_day)
PyObject* covered_days(PyObject*, PyObject* args) {
    if (!arity(args, 1, "covered_days")) return nullptr;
    return guarded([&] {
        auto [first, last] = observed::covered_days(astronomy::context_from(arg(args, 0)));
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
        for (double q : observed::yallop_q(astronomy::context_from(arg(args, 0)), sunsets, conjunctions))
            out.append(q);
        return py::object(out);
    });
}

PyMethodDef methods[] = {
    {"festivals", festivals, METH_VARARGS,
     "festivals(context, first_day, last_day) -> (days, names, sources)\n\n"
     "The festivals kept from civil day first_day to last_day (days since 1970-01-01,\n"
     "India time), sorted by day, then Hindu, Islamic, fixed.  context holds the\n"
     "astronomy context in the attributes of a loaded Tavrolen object."},
    {"civil_days", civil_days, METH_VARARGS,
     "civil_days(context, first_day, last_day) -> (sunrises, sunsets): TT Julian dates of\n"
     "each civil day's sunrise and sunset at the observer"},
    {"covered_days", covered_days, METH_VARARGS,
     "covered_days(context) -> (first_day, last_day): the days festivals() answers for"},
    {"yallop_q", yallop_q, METH_VARARGS,
     "yallop_q(context, sunsets, conjunctions) -> [q]: Yallop's q at the best time of\n"
     "each evening (TT Julian dates); NaN where the Moon sets before the Sun"},
    {nullptr, nullptr, 0, nullptr},
};

void fill_observed(py::module_& m) {
    py::list hindu, islamic, fixed;
    for (const observed::HinduRule& r : observed::kHinduRules) hindu.append(r.name);
    for (const islamic::IslamicFestival& f : islamic::kIslamicFestivals) islamic.append(f.name);
    for (const frame::FixedHoliday& h : frame::kFixedHolidays) fixed.append(h.name);
    py::dict names;
    names["hindu"] = py::tuple(hindu);
    names["islamic"] = py::tuple(islamic);
    names["fixed"] = py::tuple(fixed);
    m.attr("NAMES") = names;
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
