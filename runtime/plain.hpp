// runtime/plain.hpp: modules of plain functions (METH_VARARGS, no classes), as
// the private modules are: the guard that turns a C++ exception into the Python
// error, positional-argument checks, and the module definition with one exec
// step.
#pragma once

#include "runtime/function.hpp"

#include <Python.h>
#include <pybind11/pybind11.h>

namespace runtime::plain {

namespace py = pybind11;

/// The new reference `body()` returns, or null with the error of what it threw.
template <typename Body>
PyObject* guarded(Body body) {
    try {
        return body().release().ptr();
    } catch (...) {
        set_error_from_exception();
        return nullptr;
    }
}

/// True when `args` holds `n` arguments; else false with the TypeError.
inline bool arity(PyObject* args, Py_ssize_t n, const char* name) {
    if (PyTuple_GET_SIZE(args) == n) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments (%zd given)", name, n, PyTuple_GET_SIZE(args));
    return false;
}

/// The i-th positional argument (borrowed).
inline py::handle arg(PyObject* args, Py_ssize_t i) { return PyTuple_GET_ITEM(args, i); }

/// An exec step that runs `Fill` on the module under the guard.
template <void (*Fill)(py::module_&)>
int exec(PyObject* module) {
    try {
        py::module_ m = py::reinterpret_borrow<py::module_>(module);
        Fill(m);
        return 0;
    } catch (...) {
        set_error_from_exception();
        return -1;
    }
}

/// The definition of module `name` with the functions `methods` and the exec
/// step `exec_slots` (a Py_mod_exec slot and the terminator), for a static.
inline PyModuleDef definition(const char* name, const char* doc, PyMethodDef* methods,
                              PyModuleDef_Slot* exec_slots) {
    return {
        .m_base = PyModuleDef_HEAD_INIT,
        .m_name = name,
        .m_doc = doc,
        .m_size = 0,
        .m_methods = methods,
        .m_slots = exec_slots,
        .m_traverse = nullptr,
        .m_clear = nullptr,
        .m_free = nullptr,
    };
}

}  // namespace runtime::plain
