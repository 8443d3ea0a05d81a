// frame/method.hpp: how a method of Tavrolen is described, and what its body sees.
//
// Every method is described once, as a MethodSpec: its name, parameters, locals,
// docstring, annotations and exact-type checks, the first line of its traceback
// entries and its body.  The generic function type of frame/function.cpp reads
// the description for binding, argument errors, introspection and traceback
// entries; a body only runs the algorithm.
#pragma once

#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <vector>

namespace frame {

namespace py = pybind11;

class Call;

/// The bound arguments of one call, `self` first, in parameter order.
using Args = std::span<const py::handle>;
using Body = py::object (*)(Call&, Args);

struct Annotation {
    const char* name;  ///< parameter name, or "return"
    const char* text;  ///< the annotation as written, kept as a string
};

/// A parameter whose argument must be exactly of one built-in type.
struct ExactType {
    int param;           ///< index in MethodSpec::params (0 is self)
    PyTypeObject* type;  ///< &PyUnicode_Type, &PyDict_Type
};

struct MethodSpec {
    const char* name;                  ///< as written: "__get_festivals"
    std::vector<const char*> params;   ///< including self
    std::vector<const char*> locals;   ///< local names after the parameters
    const char* doc;                   ///< nullptr: the method has no docstring
    std::vector<Annotation> annotations;
    std::vector<ExactType> exact_types;
    int first_line;                    ///< line of argument errors; a body's steps count from it
    Body body;

    /// The name under which the class stores the method: "_Tavrolen__get_festivals".
    std::string stored_name() const;
};

/// Upper bound on MethodSpec::params, for the binding buffer.
inline constexpr std::size_t kMaxParams = 8;

/// What a running body may ask of its call: the module globals, and where it is.
class Call {
public:
    Call(const MethodSpec& spec, PyObject* globals) : spec_(spec), globals_(globals) {}

    /// Marks the statement now running: the line of the traceback entry if it fails.
    void at(int step) { step_ = step; }
    int line() const { return spec_.first_line + step_; }

    /// A module global, looked up now (then among the builtins), as Python code would:
    /// a rebinding of the name is seen by the next use.  NameError when unbound.
    py::object global(const char* name) const;

    const MethodSpec& spec() const { return spec_; }
    /// The module dict (borrowed).
    PyObject* globals() const { return globals_; }

private:
    const MethodSpec& spec_;
    PyObject* globals_;  // borrowed: the function object holds the module dict
    int step_ = 0;
};

}  // namespace frame
