// runtime/module.cpp: create and exec steps of a single-class extension module,
// its module body and its class statement.
//
// The module object and the owning interpreter are process-wide and raw: they
// outlive every pybind11 object and are deliberately never released.
#include "runtime/module.hpp"

#include "runtime/compat.hpp"
#include "runtime/function.hpp"
#include "runtime/pyops.hpp"

#include <string>

namespace runtime {

namespace {

// Process-wide state, written only during import.  -1: no interpreter has
// created the module yet.
PyObject* the_module = nullptr;     // strong
int64_t owner_interpreter = -1;
PyObject* builtin_print = nullptr;  // strong
PyObject* zip_builtin = nullptr;    // strong

// `from <module> import <names...>`: each name bound in `globals` as soon as read.
void import_from(py::dict globals, const Import& import) {
    py::list fromlist;
    for (const char* name : import.names) fromlist.append(py::str(name));
    PyObject* mod = PyImport_ImportModuleLevelObject(py::str(import.module).ptr(), globals.ptr(),
                                                     nullptr, fromlist.ptr(), 0);
    if (mod == nullptr) throw py::error_already_set();
    auto m = py::reinterpret_steal<py::object>(mod);
    for (const char* name : import.names) {
        py::object value = getattr_or_absent(m, name);
        if (!value) {
            // A submodule that is loaded but not yet an attribute of its package.
            py::str full = py::str("{}.{}").format(m.attr("__name__"), name);
            PyObject* sub = PyImport_GetModule(full.ptr());
            if (sub == nullptr && PyErr_Occurred()) throw py::error_already_set();
            if (sub == nullptr) {
                PyErr_Format(PyExc_ImportError, "cannot import name %S", py::str(name).ptr());
                throw py::error_already_set();
            }
            value = py::reinterpret_steal<py::object>(sub);
        }
        globals[name] = value;
    }
}

// `import <module> as <as_name>`.
void import_module(py::dict globals, const Import& import) {
    PyObject* mod = PyImport_ImportModuleLevelObject(py::str(import.module).ptr(), globals.ptr(),
                                                     nullptr, nullptr, 0);
    if (mod == nullptr) throw py::error_already_set();
    globals[import.as_name] = py::reinterpret_steal<py::object>(mod);
}

// The class statement: namespace in table order, then type(name, (), namespace).
void build_class(py::dict globals, const ClassDescription& cls) {
    py::dict ns;
    ns["__module__"] = py::str(cls.module_name);
    ns["__qualname__"] = py::str(cls.class_name);
    for (const ClassEntry& entry : cls.entries) {
        if (entry.method != nullptr)
            ns[py::str(cls.stored_name(*entry.method))] = make_function(*entry.method, cls, globals);
        else
            ns[entry.value_name] = entry.make_value();
    }
    auto type = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type));
    globals[cls.class_name] = type(py::str(cls.class_name), py::tuple(), ns);
}

// The module body: its imports and the class statement inside one guard.  An
// Exception is reported on standard output and the import goes on with the names
// bound so far (false); anything else fails the import.
bool run_body(py::dict globals, const ModuleDescription& description) {
    try {
        for (const Import& import : description.imports) {
            if (import.names.empty())
                import_module(globals, import);
            else
                import_from(globals, import);
        }
        build_class(globals, *description.cls);
        return true;
    } catch (py::error_already_set& err) {
        if (!err.matches(PyExc_Exception)) throw;
        globals["e"] = err.value();
        py::str text = py::str("Unexpected Error: {}" + std::string(description.failure_hint))
                           .format(err.value());
        py::handle print{builtin_print};
        print(text);
        if (PyDict_DelItemString(globals.ptr(), "e") < 0) PyErr_Clear();
    }
    return false;
}

// A builtin the module keeps for the life of the process (a strong reference).
PyObject* keep_builtin(const char* name) {
    return lookup_name(nullptr, PyEval_GetBuiltins(), name).release().ptr();
}

void warn_on_version_mismatch(const char* module_name) {
    int major = 0, minor = 0;
    compat::running_version(major, minor);
    if (major == PY_MAJOR_VERSION && minor == PY_MINOR_VERSION) return;
    if (PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                         PY_MAJOR_VERSION, PY_MINOR_VERSION, module_name, "does not match", major,
                         minor) < 0)
        throw py::error_already_set();
}

}  // namespace

std::vector<const char*> ModuleDescription::imported_names() const {
    std::vector<const char*> out;
    for (const Import& import : imports) {
        if (import.names.empty())
            out.push_back(import.as_name);
        else
            out.insert(out.end(), import.names.begin(), import.names.end());
    }
    return out;
}

PyObject* create_module(PyObject* spec, PyModuleDef* /*def*/) {
    int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1 && PyErr_Occurred()) return nullptr;
    if (owner_interpreter == -1) {
        owner_interpreter = id;
    } else if (owner_interpreter != id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one "
                        "interpreter per process.");
        return nullptr;
    }
    if (the_module != nullptr) return Py_NewRef(the_module);
    try {
        py::object name = py::reinterpret_borrow<py::object>(spec).attr("name");
        auto module = py::reinterpret_steal<py::object>(PyModule_NewObject(name.ptr()));
        if (!module) throw py::error_already_set();
        py::dict dict = module.attr("__dict__");
        struct Copied {
            const char* from;
            const char* to;
            bool skip_none;
        };
        constexpr Copied copied[] = {
            {"loader", "__loader__", false},
            {"origin", "__file__", false},
            {"parent", "__package__", false},
            {"submodule_search_locations", "__path__", true},
        };
        for (const Copied& c : copied) {
            py::object value = getattr_or_absent(spec, c.from);
            if (!value || (c.skip_none && value.is_none())) continue;
            dict[c.to] = value;
        }
        return module.release().ptr();
    } catch (...) {
        set_error_from_exception();
        return nullptr;
    }
}

int exec_module(PyObject* module, const ModuleDescription& description) {
    const ClassDescription& cls = *description.cls;
    if (the_module != nullptr) {
        if (the_module == module) return 0;
        PyErr_SetString(PyExc_RuntimeError, description.reinit_message);
        return -1;
    }
    the_module = Py_NewRef(module);
    PyObject* globals = PyModule_GetDict(module);  // borrowed
    bool constants_made = false;
    int step = 3;  // the exec step running: the line of the traceback entry "init <module>"
    try {
        warn_on_version_mismatch(cls.module_name);
        step = 4;
        description.make_constants();
        ready_function_type(cls);
        constants_made = true;
        step = 5;
        py::dict g = py::reinterpret_borrow<py::dict>(globals);
        if (!g.contains("__builtins__")) g["__builtins__"] = py::module_::import("builtins");
        py::dict modules = py::reinterpret_borrow<py::dict>(PyImport_GetModuleDict());
        if (!modules.contains(cls.module_name)) modules[cls.module_name] = py::handle(module);
        step = 6;
        if (builtin_print == nullptr) builtin_print = keep_builtin("print");
        if (zip_builtin == nullptr) zip_builtin = keep_builtin("zip");
        step = 7;
        if (run_body(g, description) && description.after_body) description.after_body(description, g);
        return 0;
    } catch (...) {
        set_error_from_exception();
    }
    if (constants_made)
        add_traceback(("init " + std::string(cls.module_name)).c_str(), cls.source_path, step,
                      globals);
    Py_CLEAR(the_module);
    return -1;
}

py::handle builtin_zip() { return zip_builtin; }

}  // namespace runtime
