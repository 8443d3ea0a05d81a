// frame/module.cpp: create and exec steps of orvik.Tavrolen, its module body and
// its class statement.
#include "frame/module.hpp"

#include "frame/function.hpp"

#include <string>

namespace frame {

namespace {

constexpr const char* kModuleName = "orvik.Tavrolen";

// Process-wide state, written only during import.  The module object is kept for
// the life of the process (a strong reference, deliberately never released);
// -1 means no interpreter has created the module yet.
PyObject* the_module = nullptr;
int64_t owner_interpreter = -1;
PyObject* builtin_print = nullptr;  // strong, never released
PyObject* zip_builtin = nullptr;    // strong, never released

py::object getattr_or_null(py::handle obj, const char* name) {
    PyObject* value = PyObject_GetAttrString(obj.ptr(), name);
    if (value != nullptr) return py::reinterpret_steal<py::object>(value);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw py::error_already_set();
    PyErr_Clear();
    return py::object();
}

// `from <module> import <names...>`: each name bound in `globals` as soon as read.
void import_from(py::dict globals, const char* module, std::initializer_list<const char*> names) {
    py::list fromlist;
    for (const char* name : names) fromlist.append(py::str(name));
    PyObject* mod = PyImport_ImportModuleLevelObject(py::str(module).ptr(), globals.ptr(), nullptr,
                                                     fromlist.ptr(), 0);
    if (mod == nullptr) throw py::error_already_set();
    auto m = py::reinterpret_steal<py::object>(mod);
    for (const char* name : names) {
        py::object value = getattr_or_null(m, name);
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
void import_module(py::dict globals, const char* module, const char* as_name) {
    PyObject* mod = PyImport_ImportModuleLevelObject(py::str(module).ptr(), globals.ptr(), nullptr,
                                                     nullptr, 0);
    if (mod == nullptr) throw py::error_already_set();
    globals[as_name] = py::reinterpret_steal<py::object>(mod);
}

// The class statement: namespace in table order, then type(name, (), namespace).
void build_class(py::dict globals, const ModuleSpec& spec) {
    py::dict ns;
    ns["__module__"] = py::str(kModuleName);
    ns["__qualname__"] = py::str(spec.class_name);
    for (const ClassEntry& entry : spec.class_entries) {
        if (entry.method != nullptr)
            ns[py::str(entry.method->stored_name())] = make_function(*entry.method, globals);
        else
            ns[entry.value_name] = entry.make_value();
    }
    auto type = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type));
    globals[spec.class_name] = type(py::str(spec.class_name), py::tuple(), ns);
}

// The module body: its imports and the class statement inside one guard.  An
// Exception is reported on standard output and the import goes on with the names
// bound so far (false); anything else fails the import.
bool run_body(py::dict globals, const ModuleSpec& spec) {
    try {
        import_from(globals, "skyfield.api", {"load", "Topos"});
        import_from(globals, "skyfield", {"almanac"});
        import_module(globals, "pandas", "pd");
        import_from(globals, "datetime", {"timedelta", "datetime"});
        import_module(globals, "pytz", "pytz");
        build_class(globals, spec);
        return true;
    } catch (py::error_already_set& err) {
        if (!err.matches(PyExc_Exception)) throw;
        globals["e"] = err.value();
        py::str text = py::str("Unexpected Error: {}\nTry this format: YYYY-mm-dd HH:MM !")
                           .format(err.value());
        py::handle print{builtin_print};
        print(text);
        if (PyDict_DelItemString(globals.ptr(), "e") < 0) PyErr_Clear();
    }
    return false;
}

py::object builtin(const char* name) {
    py::dict builtins = py::module_::import("builtins").attr("__dict__");
    PyObject* value = PyDict_GetItemString(builtins.ptr(), name);  // borrowed
    if (value == nullptr) {
        PyErr_Format(PyExc_NameError, "name '%U' is not defined", py::str(name).ptr());
        throw py::error_already_set();
    }
    return py::reinterpret_borrow<py::object>(value);
}

void warn_on_version_mismatch() {
    const int major = static_cast<int>(Py_Version >> 24);
    const int minor = static_cast<int>((Py_Version >> 16) & 0xFF);
    if (major == PY_MAJOR_VERSION && minor == PY_MINOR_VERSION) return;
    if (PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                         "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                         PY_MAJOR_VERSION, PY_MINOR_VERSION, kModuleName, "does not match", major,
                         minor) < 0)
        throw py::error_already_set();
}

}  // namespace

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
        PyObject* m = PyModule_NewObject(name.ptr());
        if (m == nullptr) return nullptr;
        auto module = py::reinterpret_steal<py::object>(m);
        py::dict dict = module.attr("__dict__");
        const std::pair<const char*, const char*> copied[] = {
            {"loader", "__loader__"},
            {"origin", "__file__"},
            {"parent", "__package__"},
            {"submodule_search_locations", "__path__"},
        };
        for (auto [from, to] : copied) {
            py::object value = getattr_or_null(spec, from);
            if (!value) continue;
            if (std::string(to) == "__path__" && value.is_none()) continue;
            dict[to] = value;
        }
        return module.release().ptr();
    } catch (...) {
        set_error_from_exception();
        return nullptr;
    }
}

int exec_module(PyObject* module, const ModuleSpec& spec) {
    if (the_module != nullptr) {
        if (the_module == module) return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'Tavrolen' has already been imported. Re-initialisation is not "
                        "supported.");
        return -1;
    }
    the_module = Py_NewRef(module);
    PyObject* globals = PyModule_GetDict(module);  // borrowed
    bool constants_made = false;
    int exec_step = 2;  // the line of the traceback entry "init orvik.Tavrolen"
    try {
        exec_step = 3;
        warn_on_version_mismatch();
        exec_step = 4;
        spec.make_constants();
        ready_function_type();
        constants_made = true;
        exec_step = 5;
        py::dict g = py::reinterpret_borrow<py::dict>(globals);
        if (!g.contains("__builtins__")) g["__builtins__"] = py::module_::import("builtins");
        py::dict modules = py::reinterpret_borrow<py::dict>(PyImport_GetModuleDict());
        if (!modules.contains(kModuleName)) modules[kModuleName] = py::handle(module);
        exec_step = 6;
        if (builtin_print == nullptr) builtin_print = builtin("print").release().ptr();
        if (zip_builtin == nullptr) zip_builtin = builtin("zip").release().ptr();
        exec_step = 7;
        if (run_body(g, spec)) spec.after_body(g);
        return 0;
    } catch (...) {
        set_error_from_exception();
    }
    if (constants_made) add_traceback("init orvik.Tavrolen", exec_step, globals);
    Py_CLEAR(the_module);
    return -1;
}

py::handle builtin_zip() { return zip_builtin; }

}  // namespace frame
