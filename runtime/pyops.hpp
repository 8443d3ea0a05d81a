// runtime/pyops.hpp: the Python operations method bodies need with exactly the
// interpreter's semantics and messages (unpacking, comparison, truth, int() of a
// float, float %, attribute and name lookups).  Each says the Python it stands for.
#pragma once

#include "runtime/compat.hpp"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <cmath>
#include <concepts>
#include <vector>

namespace runtime {

namespace py = pybind11;

/// `a <op> b`: the object the comparison returns (element-wise for arrays).
inline py::object rich_compare(py::handle a, py::handle b, int op) {
    PyObject* r = PyObject_RichCompare(a.ptr(), b.ptr(), op);
    if (r == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(r);
}

/// `a % b`.
inline py::object remainder(py::handle a, py::handle b) {
    PyObject* r = PyNumber_Remainder(a.ptr(), b.ptr());
    if (r == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(r);
}

/// `a ** b`.
inline py::object power(py::handle a, py::handle b) {
    PyObject* r = PyNumber_Power(a.ptr(), b.ptr(), Py_None);
    if (r == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(r);
}

/// `bool(obj)`.
inline bool truthy(py::handle obj) {
    int r = PyObject_IsTrue(obj.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

/// `isinstance(obj, cls)`.
inline bool is_instance(py::handle obj, py::handle cls) {
    int r = PyObject_IsInstance(obj.ptr(), cls.ptr());
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
        auto item = py::reinterpret_steal<py::object>(PyIter_Next(iter.ptr()));
        if (!item) {
            if (PyErr_Occurred()) throw py::error_already_set();
            if (i == N) return out;
            PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected %zd, got %zd)",
                         static_cast<Py_ssize_t>(N), static_cast<Py_ssize_t>(i));
            throw py::error_already_set();
        }
        if (i == N) {
            PyErr_Format(PyExc_ValueError, "too many values to unpack (expected %zd)",
                         static_cast<Py_ssize_t>(N));
            throw py::error_already_set();
        }
        out[i] = std::move(item);
    }
    return out;
}

/// `float(obj)` as a double (what arithmetic on a Python float sees).
inline double as_double(py::handle obj) {
    double v = PyFloat_AsDouble(obj.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

/// `int(x)` of a float, as a Python int of any size: truncation toward zero, and
/// the interpreter's own ValueError (NaN) and OverflowError (infinities).
inline py::int_ int_of_float(double x) {
    PyObject* r = PyLong_FromDouble(x);
    if (r == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::int_>(r);
}

/// Doubles below this magnitude convert to long long exactly, and sums and small
/// multiples of the result stay far inside its range.
inline constexpr double kExactIntegerRange = 9007199254740992.0;  // 2**53

/// `int(x)` of a float known to lie within kExactIntegerRange.
inline long long small_int_of_float(double x) { return static_cast<long long>(x); }

/// A Python int as a list index: IndexError as list indexing raises it when the
/// value does not fit.
inline long long as_index(py::handle value) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0) {
        PyErr_Format(PyExc_IndexError, "cannot fit '%.200s' into an index-sized integer",
                     Py_TYPE(value.ptr())->tp_name);
        throw py::error_already_set();
    }
    return v;
}

/// `x % m` as Python computes it: the sign of the divisor; for floats +0.0 (never
/// -0.0) for an exact multiple.
template <typename T>
T floored_mod(T x, T m) {
    if constexpr (std::floating_point<T>) {
        T r = std::fmod(x, m);
        if (r != 0) {
            if ((m < 0) != (r < 0)) r += m;
        } else {
            r = std::copysign(T(0), m);
        }
        return r;
    } else {
        T r = x % m;
        return (r != 0 && ((m < 0) != (r < 0))) ? r + m : r;
    }
}

/// `x ** 2` for a float, as the interpreter computes it: through the C library's
/// pow, which differs from x * x in the last bit for some x.  The exponent is kept
/// out of the compiler's sight so that pow is not folded into a multiplication.
inline double py_square(double x) {
    volatile double two = 2.0;
    return std::pow(x, two);
}

/// `getattr(obj, name)`, or a null object when the lookup raises AttributeError;
/// any other error propagates.
inline py::object getattr_or_absent(py::handle obj, const char* name) {
    PyObject* value = PyObject_GetAttrString(obj.ptr(), name);
    if (value != nullptr) return py::reinterpret_steal<py::object>(value);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw py::error_already_set();
    PyErr_Clear();
    return py::object();
}

/// `hasattr(obj, name)`: only AttributeError counts as absent.
inline bool has_attr(py::handle obj, const char* name) {
    return static_cast<bool>(getattr_or_absent(obj, name));
}

/// `table.get(key)` on a dict: the stored value, or None.
inline py::object dict_get(py::handle table, py::handle key) {
    PyObject* value = PyDict_GetItemWithError(table.ptr(), key.ptr());  // borrowed
    if (value == nullptr && PyErr_Occurred()) throw py::error_already_set();
    return value ? py::reinterpret_borrow<py::object>(value) : py::none();
}

/// Runs `cleanup` (C-API calls that may set and clear errors of their own) with
/// the pending exception held aside, then makes it pending again.
template <typename F>
void keep_error_while(F cleanup) {
    compat::SavedError pending;
    cleanup();
}

/// numpy.array([get(0), ..., get(n - 1)], dtype=object), filled in place; `get`
/// returns a handle that the array takes a new reference to.
template <typename Get>
py::array object_array(std::size_t n, Get get) {
    py::array out(py::dtype("O"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(n)});
    // A new object array holds null pointers, which NumPy reads as None.
    auto** data = static_cast<PyObject**>(out.mutable_data());
    for (std::size_t i = 0; i < n; ++i) Py_XSETREF(data[i], Py_NewRef(get(i).ptr()));
    return out;
}

/// A name looked up as Python code looks up a global: in `globals`, then in
/// `builtins` (either may be null); NameError "name '…' is not defined" if neither
/// has it.
py::object lookup_name(PyObject* globals, PyObject* builtins, const char* name);

}  // namespace runtime
