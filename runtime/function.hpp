// runtime/function.hpp: the function type that exposes the methods of a class
// described by a ClassDescription: binding, argument errors, introspection, pickling by
// reference and traceback entries.
#pragma once

#include "runtime/method.hpp"

namespace runtime {

/// Readies the function type, named "<package>_function" after the package of
/// `owner`'s module; call once from the module's exec step.
void ready_function_type(const ClassDescription& owner);

/// A new function object for `description`, a method of `owner`, whose globals are the
/// module dict `globals`.  std::logic_error if `description` has more than kMaxParams
/// parameters.
py::object make_function(const MethodDescription& description, const ClassDescription& owner, py::handle globals);

/// Inside a catch block: turns the C++ exception being handled into the pending
/// Python error, so that no C++ exception crosses into the interpreter.
void set_error_from_exception() noexcept;

/// Adds a traceback entry named `funcname`, in file `filename`, at `line`, on a
/// frame whose globals are `globals`, to the exception being raised.  Keeps the
/// pending exception unchanged if the entry cannot be made.
void add_traceback(const char* funcname, const char* filename, int line, PyObject* globals);

}  // namespace runtime
