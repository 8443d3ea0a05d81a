// runtime/method.hpp: how a method of an extension class is described, and what
// its body sees while it runs.
//
// Every method is described once, as a MethodDescription: its name, parameters, locals,
// docstring, annotations and exact-type checks, the first line of its traceback
// entries and its body.  The function type of runtime/function.cpp reads the
// description for binding, argument errors, introspection and traceback entries;
// a body only runs its algorithm.  A ClassDescription names the class and module the
// methods live in and lists the class namespace in order.
#pragma once

#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runtime {

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
    int param;           ///< index in MethodDescription::params (0 is self)
    PyTypeObject* type;  ///< &PyUnicode_Type, &PyDict_Type
};

/// Upper bound on MethodDescription::params: the size of the binding buffer.  Checked
/// when a function is made.
inline constexpr std::size_t kMaxParams = 8;

struct MethodDescription {
    const char* name = nullptr;           ///< as written: "__get_festivals"
    std::vector<const char*> params = {};      ///< including self
    std::vector<const char*> locals = {};      ///< local names after the parameters
    const char* doc = nullptr;            ///< nullptr: no docstring
    std::vector<Annotation> annotations = {};
    std::vector<ExactType> exact_types = {};
    int first_line = 0;                   ///< line of argument errors; a body's steps count from it
    Body body = nullptr;
};

/// One entry of a class namespace, in order: a method, or a value made once
/// when the class is built.
struct ClassEntry {
    const MethodDescription* method = nullptr;   ///< stored under its mangled name
    const char* value_name = nullptr;     ///< or a class-level value under this name,
    py::object (*make_value)() = nullptr; ///<   made by this
};

/// The class whose methods the function type exposes, and where it lives.
struct ClassDescription {
    const char* module_name = nullptr;    ///< "package.module"
    const char* class_name = nullptr;
    const char* source_path = nullptr;    ///< the file name of code objects and traceback entries
    std::span<const ClassEntry> entries = {};

    /// The name under which the class stores `method`: names with two leading
    /// underscores (and not two trailing ones) are mangled with the class name.
    std::string stored_name(const MethodDescription& method) const;
    /// The method of this class whose name as written is `name`; std::logic_error
    /// if there is none (a body naming a sibling that does not exist).
    const MethodDescription& method(std::string_view name) const;
    /// "module.Class.name": the function name of a method's traceback entries.
    std::string traceback_name(const MethodDescription& method) const;
};

/// What a running body may ask of its call: the module globals, its siblings,
/// and where it is.
class Call {
public:
    Call(const ClassDescription& owner, PyObject* globals) : owner_(owner), globals_(globals) {}

    /// Marks the statement now running: the line of the traceback entry if it fails
    /// is the method's first line plus `step`.
    void at(int step) { step_ = step; }
    int step() const { return step_; }

    /// A module global, looked up now (then among the builtins), as Python code would:
    /// a rebinding of the name is seen by the next use.  NameError when unbound.
    py::object global(const char* name) const;

    /// `self.<sibling>` for the method of the class written `sibling`, under the
    /// name the class stores it (ordinary attribute lookup, so an override wins).
    py::object method(py::handle self, std::string_view sibling) const;

    /// The module dict (borrowed).
    PyObject* globals() const { return globals_; }
    const ClassDescription& owner() const { return owner_; }

private:
    const ClassDescription& owner_;
    PyObject* globals_;  // borrowed: the function object holds the module dict
    int step_ = 0;
};

}  // namespace runtime
