// frame/function.hpp: the function type that exposes the methods of Tavrolen.
#pragma once

#include "frame/method.hpp"

namespace frame {

/// Readies the function type; call once from the module's exec step.
void ready_function_type();

/// A new function object for `spec`, whose globals are the module dict `globals`.
py::object make_function(const MethodSpec& spec, py::handle globals);

/// Inside a catch block: turns the C++ exception being handled into the pending
/// Python error, so that no C++ exception crosses into the interpreter.
void set_error_from_exception() noexcept;

/// Adds a traceback entry named `funcname`, file "orvik/Tavrolen", at `line`,
/// on a frame whose globals are `globals`, to the exception being raised.
/// Keeps the pending exception unchanged if the entry cannot be made.
void add_traceback(const char* funcname, int line, PyObject* globals);

}  // namespace frame
