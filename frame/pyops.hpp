// frame/pyops.hpp: the few Python operations the method bodies need with exactly
// Python's semantics and messages (unpacking, comparison, truth, int(), float %).
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <cmath>

namespace frame {

namespace py = pybind11;

/// `a <op> b`, the object the comparison returns (element-wise for arrays).
inline py::object rich_compare(py::handle a, py::handle b, int op) {
    PyObject* r = PyObject_RichCompare(a.ptr(), b.ptr(), op);
    if (r == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(r);
}

/// `bool(obj)`.
inline bool truthy(py::handle obj) {
    int r = PyObject_IsTrue(obj.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

/// `a, b, ... = seq` into exactly N names, with the interpreter's messages.
template <std::size_t N>
std::array<py::object, N> unpack(py::handle seq) {
    PyObject* it = PyObject_GetIter(seq.ptr());
    if (it == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_TypeError) && !PyIter_Check(seq.ptr())) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "cannot unpack non-iterable %.200s object",
                         Py_TYPE(seq.ptr())->tp_name);
        }
        throw py::error_already_set();
    }
    auto iter = py::reinterpret_steal<py::object>(it);
    std::array<py::object, N> out;
    for (std::size_t i = 0; i <= N; ++i) {
        PyObject* item = PyIter_Next(iter.ptr());
        if (item == nullptr) {
            if (PyErr_Occurred()) throw py::error_already_set();
            if (i == N) return out;
            PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected %zd, got %zd)",
                         static_cast<Py_ssize_t>(N), static_cast<Py_ssize_t>(i));
            throw py::error_already_set();
        }
        if (i == N) {
            Py_DECREF(item);
            PyErr_Format(PyExc_ValueError, "too many values to unpack (expected %zd)",
                         static_cast<Py_ssize_t>(N));
            throw py::error_already_set();
        }
        out[i] = py::reinterpret_steal<py::object>(item);
    }
    return out;
}

/// `float(obj)` as a double (what arithmetic on a Python float sees).
inline double as_double(py::handle obj) {
    double v = PyFloat_AsDouble(obj.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

/// `int(x)` of a float: truncation toward zero, with Python's errors for NaN and
/// infinities instead of undefined behaviour.
inline long long int_of_float(double x) {
    if (std::isnan(x)) {
        PyErr_SetString(PyExc_ValueError, "cannot convert float NaN to integer");
        throw py::error_already_set();
    }
    if (!(std::fabs(x) < 9.2e18)) {
        PyErr_SetString(PyExc_OverflowError, "cannot convert float infinity to integer");
        throw py::error_already_set();
    }
    return static_cast<long long>(x);
}

/// `x % m` for floats as Python computes it: the sign of the divisor, and +0.0
/// (never -0.0) for an exact multiple.
inline double floored_mod(double x, double m) {
    double r = std::fmod(x, m);
    if (r != 0.0) {
        if ((m < 0) != (r < 0)) r += m;
    } else {
        r = std::copysign(0.0, m);
    }
    return r;
}

}  // namespace frame

namespace frame {

/// `hasattr(obj, name)`: only AttributeError counts as absent; any other error
/// raised by the lookup propagates.
inline bool has_attr(py::handle obj, const char* name) {
    PyObject* value = PyObject_GetAttrString(obj.ptr(), name);
    if (value != nullptr) {
        Py_DECREF(value);
        return true;
    }
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw py::error_already_set();
    PyErr_Clear();
    return false;
}

/// `isinstance(obj, cls)`.
inline bool is_instance(py::handle obj, py::handle cls) {
    int r = PyObject_IsInstance(obj.ptr(), cls.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

/// `x ** 2` for a float, as the interpreter computes it: through the C library's
/// pow, which differs from x * x in the last bit for some x.  The exponent is kept
/// out of the compiler's sight so that pow is not folded into a multiplication.
inline double py_square(double x) {
    volatile double two = 2.0;
    return std::pow(x, two);
}

}  // namespace frame

namespace frame {

/// `table.get(key)` on a dict: the stored value, or None.
inline py::object dict_get(const py::dict& table, py::handle key) {
    PyObject* value = PyDict_GetItemWithError(table.ptr(), key.ptr());  // borrowed
    if (value == nullptr && PyErr_Occurred()) throw py::error_already_set();
    return value ? py::reinterpret_borrow<py::object>(value) : py::none();
}

}  // namespace frame
