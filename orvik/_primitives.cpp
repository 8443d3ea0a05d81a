// orvik/_primitives.cpp: the extension module orvik._primitives, the batch's
// astronomy primitives on their own, for the tests and measurements that hold
// them against the one-date path.  Not part of orvik's interface.
#include "astronomy/batch.hpp"
#include "astronomy/internals.hpp"
#include "astronomy/library.hpp"
#include "astronomy/observer.hpp"
#include "frame/minutes.hpp"
#include "runtime/plain.hpp"

#include <Python.h>

namespace {

namespace py = pybind11;
using runtime::plain::arg;
using runtime::plain::arity;
using runtime::plain::guarded;

// The astronomy context a loaded Tavrolen object holds.
astronomy::Context context(py::handle tavrolen) { return astronomy::context_from(tavrolen); }

py::object list_of(const std::vector<double>& values) {
    py::list out;
    for (double v : values) out.append(v);
    return out;
}

PyObject* minute_instants(PyObject*, PyObject* args) {
    if (!arity(args, 2, "minute_instants")) return nullptr;
    return guarded([&] {
        astronomy::Context ctx = context(arg(args, 0));
        std::vector<frame::Minute> minutes;
        for (py::handle m : arg(args, 1))
            minutes.push_back(frame::minute_of(m.cast<long long>(), minutes.size()));
        frame::fill_tt(ctx, minutes);
        if (auto zone = astronomy::zone_stretches(ctx.ist)) frame::fill_zone(*zone, minutes);
        py::list out;
        for (const frame::Minute& mo : minutes) out.append(py::make_tuple(mo.tt, mo.civil_tt, mo.zone_clear));
        return py::object(out);
    });
}

PyObject* new_moons(PyObject*, PyObject* args) {
    if (!arity(args, 3, "new_moons")) return nullptr;
    return guarded([&] {
        return list_of(astronomy::new_moons_between(context(arg(args, 0)), arg(args, 1).cast<double>(),
                                                    arg(args, 2).cast<double>()));
    });
}

PyObject* tithi_changes(PyObject*, PyObject* args) {
    if (!arity(args, 3, "tithi_changes")) return nullptr;
    return guarded([&] {
        py::list out;
        for (const auto& c : astronomy::tithi_changes(context(arg(args, 0)), arg(args, 1).cast<double>(),
                                                      arg(args, 2).cast<double>()))
            out.append(py::make_tuple(c.tt, c.start));
        return py::object(out);
    });
}

PyObject* sunsets_near(PyObject*, PyObject* args) {
    if (!arity(args, 2, "sunsets_near")) return nullptr;
    return guarded([&] {
        std::vector<double> guesses;
        for (py::handle g : arg(args, 1)) guesses.push_back(g.cast<double>());
        return list_of(astronomy::sun_crossings_near(context(arg(args, 0)), guesses));
    });
}

PyMethodDef methods[] = {
    {"minute_instants", minute_instants, METH_VARARGS,
     "minute_instants(tavrolen, minutes): (tt, civil_tt, zone_clear) of each wall-clock "
     "minute (counted from 1970-01-01 00:00)"},
    {"new_moons", new_moons, METH_VARARGS, "new_moons(tavrolen, first_tt, last_tt)"},
    {"tithi_changes", tithi_changes, METH_VARARGS,
     "tithi_changes(tavrolen, first_tt, last_tt): (tt, start) of each change"},
    {"sunsets_near", sunsets_near, METH_VARARGS, "sunsets_near(tavrolen, guesses)"},
    {nullptr, nullptr, 0, nullptr},
};

void fill_primitives(py::module_& m) {
    m.attr("SYNODIC_MONTH") = astronomy::kSynodicMonth;
    m.attr("ZONE_NAME") = astronomy::kZoneName;
    py::list context;
    for (const auto& [name, _member] : astronomy::kContextAttributes) context.append(name);
    m.attr("CONTEXT_ATTRIBUTES") = context;
    py::list reads;
    for (const astronomy::LibraryRead& r : astronomy::kLibraryReads)
        reads.append(py::make_tuple(r.owner, r.name));
    m.attr("LIBRARY_READS") = reads;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(runtime::plain::exec<fill_primitives>)},
    {0, nullptr},
};

PyModuleDef primitives_def = runtime::plain::definition(
    "orvik._primitives",
    "The batch's astronomy primitives, for tests and measurements.", methods, slots);

}  // namespace

PyMODINIT_FUNC PyInit__primitives(void) { return PyModuleDef_Init(&primitives_def); }
