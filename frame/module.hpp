// frame/module.hpp: the module's create and exec steps and its class statement.
#pragma once

#include "frame/method.hpp"

#include <span>

namespace frame {

/// One entry of the class namespace, in order: a method, or a value made once.
struct ClassEntry {
    const MethodSpec* method;     ///< a method, stored under its mangled name
    const char* value_name;       ///< or a class-level value under this name
    py::object (*make_value)();   ///<   made by this, once, when the class is built
};

/// What the module's exec step builds: its constants, then the class.
struct ModuleSpec {
    const char* class_name;
    std::span<const ClassEntry> class_entries;
    void (*make_constants)();     ///< creates the process-wide constants, once
    void (*after_body)(py::dict globals);  ///< runs after a module body that did not fail
};

/// The create step (Py_mod_create).
PyObject* create_module(PyObject* spec, PyModuleDef* def);

/// The exec step (Py_mod_exec) for the module described by `module_spec`.
int exec_module(PyObject* module, const ModuleSpec& module_spec);

/// The builtin `zip`, taken from the builtins when the module executed.
py::handle builtin_zip();

}  // namespace frame
