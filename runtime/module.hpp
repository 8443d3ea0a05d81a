// runtime/module.hpp: the create and exec steps of a single-class extension
// module, and its module body (imports and the class statement inside one
// guard), driven by a ModuleDescription.
#pragma once

#include "runtime/method.hpp"

#include <vector>

namespace runtime {

/// One import statement of the module body: `from module import names...` when
/// `names` is not empty, else `import module as as_name`.
struct Import {
    const char* module = nullptr;
    std::vector<const char*> names = {};
    const char* as_name = nullptr;
};

struct ModuleDescription {
    const ClassDescription* cls = nullptr;        ///< the class the body builds; its module name is the module's
    std::vector<Import> imports;           ///< the body's imports, in order
    const char* failure_hint = nullptr;    ///< printed after "Unexpected Error: <error>" when the body fails
    const char* reinit_message = nullptr;  ///< RuntimeError of a second exec with another module object
    void (*make_constants)() = nullptr;    ///< creates the process-wide constants, once
    void (*after_body)(const ModuleDescription&, py::dict globals) = nullptr;  ///< runs after a module body that did not fail

    /// The global names the body binds with its imports, in order.
    std::vector<const char*> imported_names() const;
};

/// The create step (Py_mod_create).
PyObject* create_module(PyObject* spec, PyModuleDef* def);

/// The exec step (Py_mod_exec) for the module described by `description`.
int exec_module(PyObject* module, const ModuleDescription& description);

/// The builtin `zip`, taken from the builtins when the module executed.
py::handle builtin_zip();

}  // namespace runtime
