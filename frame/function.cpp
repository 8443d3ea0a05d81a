// frame/function.cpp: the function type of Tavrolen's methods: binding, argument
// errors, introspection and traceback entries.
//
// This file and frame/module.cpp are the only places that speak the C API with
// raw references; everything else goes through pybind11's object layer.
#include "frame/function.hpp"

#include <frameobject.h>
#include <structmember.h>

#include <array>
#include <map>
#include <new>
#include <utility>

namespace frame {

namespace {

constexpr const char* kSourcePath = "orvik/Tavrolen";

// Said after an argument-type error when the argument's type is a subclass of
// the expected built-in type.
constexpr const char* kSubclassNote =
    "Subclasses of built-in types are rejected: the argument must be of exactly this type.";

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const MethodSpec* spec;
    PyObject* name;         // str
    PyObject* qualname;     // str
    PyObject* module;       // str
    PyObject* doc;          // str or None
    PyObject* code;         // code object for introspection
    PyObject* globals;      // the module dict
    PyObject* annotations;  // dict
    PyObject* dict;         // the function's __dict__
    PyObject* weakreflist;
};

FunctionObject* as_function(PyObject* op) { return reinterpret_cast<FunctionObject*>(op); }

// ---------------------------------------------------------------------------
// Traceback entries

// Code objects of traceback entries, one per (function name, line); kept for the
// life of the process, like the module itself.
std::map<std::pair<std::string, int>, PyObject*>& traceback_codes() {
    static auto* codes = new std::map<std::pair<std::string, int>, PyObject*>();
    return *codes;
}

PyObject* traceback_code(const char* funcname, int line) {
    auto key = std::make_pair(std::string(funcname), line);
    auto& codes = traceback_codes();
    if (auto it = codes.find(key); it != codes.end()) return it->second;
    // PyCode_NewEmpty's line table maps every address to `line`, so a frame built
    // on it reports that line on 3.11 to 3.13 without touching frame internals.
    PyCodeObject* code = PyCode_NewEmpty(kSourcePath, funcname, line);
    if (code == nullptr) return nullptr;
    // Building the code may have run Python code (GC finalisers); look again.
    auto [it, inserted] = codes.emplace(key, reinterpret_cast<PyObject*>(code));
    if (!inserted) Py_DECREF(code);
    return it->second;
}

}  // namespace

void set_error_from_exception() noexcept {
    try {
        throw;
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (py::builtin_exception& e) {
        e.set_error();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unknown C++ exception in orvik.Tavrolen");
    }
}

void add_traceback(const char* funcname, int line, PyObject* globals) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyObject* code = traceback_code(funcname, line);  // borrowed from the cache
    PyFrameObject* frame = nullptr;
    if (code != nullptr)
        frame = PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code), globals,
                            nullptr);
    // A failure to build the entry must not replace the error being reported.
    if (frame == nullptr) PyErr_Clear();
    PyErr_Restore(type, value, tb);
    if (frame != nullptr) {
        PyTraceBack_Here(frame);
        Py_DECREF(frame);
    }
}

namespace {

// ---------------------------------------------------------------------------
// Argument binding

void raise_count(const MethodSpec& spec, Py_ssize_t given) {
    Py_ssize_t n = static_cast<Py_ssize_t>(spec.params.size());
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 spec.name, "exactly", n, n == 1 ? "" : "s", given);
}

int param_index(const MethodSpec& spec, PyObject* key, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (PyUnicode_CompareWithASCIIString(key, spec.params[i]) == 0) return static_cast<int>(i);
    return -1;
}

// Binds positional arguments and keywords to the parameters of `spec`, every one
// of which is required.  Returns false with a TypeError set.
bool bind(const MethodSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::array<py::handle, kMaxParams>& bound) {
    const std::size_t n = spec.params.size();
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nargs > static_cast<Py_ssize_t>(n) || (nkw == 0 && nargs != static_cast<Py_ssize_t>(n))) {
        raise_count(spec, nargs);
        return false;
    }
    const std::size_t p = static_cast<std::size_t>(nargs);
    for (std::size_t i = 0; i < p; ++i) bound[i] = args[i];
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", spec.name);
            return false;
        }
        int idx = param_index(spec, key, p, n);
        if (idx >= 0 && !bound[idx]) {
            bound[idx] = args[nargs + k];
            continue;
        }
        if (idx >= 0 || param_index(spec, key, 0, p) >= 0)
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         spec.name, key);
        else
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", spec.name,
                         key);
        return false;
    }
    for (std::size_t i = p; i < n; ++i) {
        if (!bound[i]) {
            raise_count(spec, static_cast<Py_ssize_t>(i));
            return false;
        }
    }
    for (const ExactType& check : spec.exact_types) {
        PyTypeObject* got = Py_TYPE(bound[check.param].ptr());
        if (got == check.type) continue;
        bool subclass = PyType_IsSubtype(got, check.type);
        PyObject* note = PyUnicode_FromString(subclass ? kSubclassNote : "");
        if (note == nullptr) return false;
        PyErr_Format(PyExc_TypeError,
                     "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)%s%U",
                     spec.params[check.param], check.type->tp_name, got->tp_name,
                     subclass ? ". " : "", note);
        Py_DECREF(note);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The type

PyObject* function_vectorcall(PyObject* op, PyObject* const* args, size_t nargsf,
                              PyObject* kwnames) {
    FunctionObject* self = as_function(op);
    const MethodSpec& spec = *self->spec;
    auto fail_at = [&](int line) -> PyObject* {
        std::string funcname = std::string("orvik.Tavrolen.Tavrolen.") + spec.name;
        add_traceback(funcname.c_str(), line, self->globals);
        return nullptr;
    };
    std::array<py::handle, kMaxParams> bound{};
    if (!bind(spec, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return fail_at(spec.first_line);
    Call call(spec, self->globals);
    try {
        py::object result = spec.body(call, Args(bound.data(), spec.params.size()));
        return result.release().ptr();
    } catch (...) {
        set_error_from_exception();
    }
    return fail_at(call.line());
}

// Binds like a Python function: through an instance a bound method, through the
// class the function itself.
PyObject* function_descr_get(PyObject* op, PyObject* obj, PyObject* /*type*/) {
    if (obj == nullptr || obj == Py_None) return Py_NewRef(op);
    return PyMethod_New(op, obj);
}

PyObject* function_repr(PyObject* op) {
    return PyUnicode_FromFormat("<function %U at %p>", as_function(op)->qualname, op);
}

int function_traverse(PyObject* op, visitproc visit, void* arg) {
    FunctionObject* f = as_function(op);
    Py_VISIT(Py_TYPE(op));
    Py_VISIT(f->code);
    Py_VISIT(f->globals);
    Py_VISIT(f->annotations);
    Py_VISIT(f->dict);
    return 0;
}

int function_clear(PyObject* op) {
    FunctionObject* f = as_function(op);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    Py_CLEAR(f->module);
    Py_CLEAR(f->doc);
    Py_CLEAR(f->code);
    Py_CLEAR(f->globals);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->dict);
    return 0;
}

void function_dealloc(PyObject* op) {
    PyObject_GC_UnTrack(op);
    if (as_function(op)->weakreflist != nullptr) PyObject_ClearWeakRefs(op);
    function_clear(op);
    PyTypeObject* type = Py_TYPE(op);
    type->tp_free(op);
    Py_DECREF(type);
}

PyObject* get_none(PyObject*, void*) { Py_RETURN_NONE; }

PyMemberDef function_members[] = {
    {"__name__", T_OBJECT, offsetof(FunctionObject, name), READONLY, nullptr},
    {"__qualname__", T_OBJECT, offsetof(FunctionObject, qualname), READONLY, nullptr},
    {"__module__", T_OBJECT, offsetof(FunctionObject, module), READONLY, nullptr},
    {"__doc__", T_OBJECT, offsetof(FunctionObject, doc), READONLY, nullptr},
    {"__code__", T_OBJECT, offsetof(FunctionObject, code), READONLY, nullptr},
    {"__globals__", T_OBJECT, offsetof(FunctionObject, globals), READONLY, nullptr},
    {"__annotations__", T_OBJECT, offsetof(FunctionObject, annotations), READONLY, nullptr},
    {"__dictoffset__", T_PYSSIZET, offsetof(FunctionObject, dict), READONLY, nullptr},
    {"__weaklistoffset__", T_PYSSIZET, offsetof(FunctionObject, weakreflist), READONLY, nullptr},
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(FunctionObject, vectorcall), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef function_getset[] = {
    {"__defaults__", get_none, nullptr, nullptr, nullptr},
    {"__kwdefaults__", get_none, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_descr_get)},
    {Py_tp_members, function_members},
    {Py_tp_getset, function_getset},
    {0, nullptr},
};

PyType_Spec function_spec = {
    "orvik_function",
    sizeof(FunctionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
        Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    function_slots,
};

// Process-wide, like the module object: made once, never released.
PyTypeObject* function_type = nullptr;

// The code object that introspection sees: the parameters as positional-or-keyword
// arguments, then the locals.  PyCode_NewEmpty and code.replace are the same public
// calls on 3.11 to 3.13, which keeps this free of version-specific constructors.
py::object make_code(const MethodSpec& spec, const py::str& qualname) {
    py::list varnames;
    for (const char* p : spec.params) varnames.append(py::str(p));
    for (const char* l : spec.locals) varnames.append(py::str(l));
    PyCodeObject* empty = PyCode_NewEmpty(kSourcePath, spec.name, spec.first_line);
    if (empty == nullptr) throw py::error_already_set();
    using namespace pybind11::literals;
    auto code = py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(empty));
    return code.attr("replace")("co_argcount"_a = spec.params.size(), "co_posonlyargcount"_a = 0,
                                "co_kwonlyargcount"_a = 0, "co_nlocals"_a = py::len(varnames),
                                "co_varnames"_a = py::tuple(varnames), "co_qualname"_a = qualname,
                                "co_flags"_a = CO_OPTIMIZED | CO_NEWLOCALS);
}

}  // namespace

void ready_function_type() {
    if (function_type != nullptr) return;
    PyObject* type = PyType_FromSpec(&function_spec);
    if (type == nullptr) throw py::error_already_set();
    function_type = reinterpret_cast<PyTypeObject*>(type);
}

py::object make_function(const MethodSpec& spec, py::handle globals) {
    py::str qualname(std::string("Tavrolen.") + spec.name);
    py::object code = make_code(spec, qualname);
    py::dict annotations;
    for (const Annotation& a : spec.annotations) annotations[a.name] = py::str(a.text);
    py::object doc = spec.doc ? py::object(py::str(spec.doc)) : py::object(py::none());

    FunctionObject* f = PyObject_GC_New(FunctionObject, function_type);
    if (f == nullptr) throw py::error_already_set();
    Py_INCREF(function_type);  // heap type: each instance holds its type
    f->vectorcall = function_vectorcall;
    f->spec = &spec;
    f->name = py::str(spec.name).release().ptr();
    f->qualname = qualname.release().ptr();
    f->module = py::str("orvik.Tavrolen").release().ptr();
    f->doc = doc.release().ptr();
    f->code = code.release().ptr();
    f->globals = py::reinterpret_borrow<py::object>(globals).release().ptr();
    f->annotations = annotations.release().ptr();
    f->dict = nullptr;
    f->weakreflist = nullptr;
    PyObject_GC_Track(f);
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(f));
}

std::string MethodSpec::stored_name() const {
    std::string n(name);
    bool is_private = n.starts_with("__") && !n.ends_with("__");
    return is_private ? "_Tavrolen" + n : n;
}

py::object Call::global(const char* name) const {
    py::str key(name);
    PyObject* value = PyDict_GetItemWithError(globals_, key.ptr());
    if (value == nullptr && !PyErr_Occurred()) {
        PyObject* builtins = PyEval_GetBuiltins();  // borrowed
        value = builtins ? PyDict_GetItemWithError(builtins, key.ptr()) : nullptr;
    }
    if (value == nullptr) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", key.ptr());
        throw py::error_already_set();
    }
    return py::reinterpret_borrow<py::object>(value);
}

}  // namespace frame
