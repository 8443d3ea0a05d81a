// runtime/function.cpp: the function type of a described class's methods:
// binding, argument errors, introspection, pickling by reference and traceback
// entries.
//
// A type's slots receive and return raw references, so this file speaks the C
// API directly; each owned field is released in function_clear.
#include "runtime/function.hpp"

#include "runtime/compat.hpp"
#include "runtime/pyops.hpp"

#include <frameobject.h>
#include <structmember.h>

#include <array>
#include <map>
#include <new>
#include <stdexcept>
#include <utility>

namespace runtime {

namespace {

// Said after an argument-type error when the argument's type is a subclass of
// the expected built-in type.
constexpr const char* kSubclassNote =
    "Subclasses of built-in types are rejected: the argument must be of exactly this type.";

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const MethodDescription* description;
    const ClassDescription* owner;
    PyObject* name;         // str
    PyObject* qualname;     // str
    PyObject* module;       // any object, as on a function
    PyObject* doc;          // any object; None when the method has no docstring
    PyObject* code;         // code object for introspection
    PyObject* globals;      // the module dict
    PyObject* annotations;  // dict, or null until read
    PyObject* defaults;     // tuple, or null (None)
    PyObject* kwdefaults;   // dict, or null (None)
    PyObject* dict;         // the function's __dict__
    PyObject* weakreflist;
};

FunctionObject* as_function(PyObject* op) { return reinterpret_cast<FunctionObject*>(op); }

// ---------------------------------------------------------------------------
// Traceback entries

// Code objects of traceback entries, one per (function name, file, line); kept
// for the life of the process, like the module itself.
using CodeKey = std::tuple<std::string, std::string, int>;

PyObject* traceback_code(const char* funcname, const char* filename, int line) {
    static auto* codes = new std::map<CodeKey, PyObject*>();
    CodeKey key{funcname, filename, line};
    if (auto it = codes->find(key); it != codes->end()) return it->second;
    // PyCode_NewEmpty's line table maps every address to `line`, so a frame built
    // on it reports that line on every supported version without touching frame
    // internals.
    PyCodeObject* code = PyCode_NewEmpty(filename, funcname, line);
    if (code == nullptr) return nullptr;
    // Building the code may have run Python code (GC finalisers); look again.
    auto [it, inserted] = codes->emplace(key, reinterpret_cast<PyObject*>(code));
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
        PyErr_SetString(PyExc_SystemError, "unknown C++ exception in an extension method");
    }
}

void add_traceback(const char* funcname, const char* filename, int line, PyObject* globals) {
    PyFrameObject* frame = nullptr;
    {
        compat::SavedError pending;
        PyObject* code = traceback_code(funcname, filename, line);  // borrowed from the cache
        if (code != nullptr)
            frame = PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code), globals,
                                nullptr);
        // A failure to build the entry must not replace the error being reported.
        if (frame == nullptr) PyErr_Clear();
    }
    if (frame != nullptr) {
        PyTraceBack_Here(frame);
        Py_DECREF(frame);
    }
}

namespace {

// ---------------------------------------------------------------------------
// Argument binding

// "takes exactly 3 positional arguments (2 given)"; with defaults set on the
// function, "at least" the required count or "at most" all of them.
void raise_count(const MethodDescription& description, Py_ssize_t n, Py_ssize_t n_required, Py_ssize_t given) {
    const char* quantity = "exactly";
    Py_ssize_t count = n;
    if (n_required < n) {
        quantity = given > n ? "at most" : "at least";
        count = given > n ? n : n_required;
    }
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 description.name, quantity, count, count == 1 ? "" : "s", given);
}

int param_index(const MethodDescription& description, PyObject* key, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (PyUnicode_CompareWithASCIIString(key, description.params[i]) == 0) return static_cast<int>(i);
    return -1;
}

// Binds positional arguments and keywords to the parameters of `description`; a
// parameter left unfilled takes its default, if __defaults__ gives it one.
// Returns false with a TypeError set.
bool bind_arguments(const FunctionObject* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::array<py::handle, kMaxParams>& bound) {
    const MethodDescription& description = *f->description;
    const std::size_t n = description.params.size();
    const Py_ssize_t n_defaults =
        f->defaults ? std::min<Py_ssize_t>(PyTuple_GET_SIZE(f->defaults), n) : 0;
    const Py_ssize_t n_required = static_cast<Py_ssize_t>(n) - n_defaults;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nargs > static_cast<Py_ssize_t>(n) || (nkw == 0 && nargs < n_required)) {
        raise_count(description, n, n_required, nargs);
        return false;
    }
    const std::size_t p = static_cast<std::size_t>(nargs);
    for (std::size_t i = 0; i < p; ++i) bound[i] = args[i];
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", description.name);
            return false;
        }
        int idx = param_index(description, key, p, n);
        if (idx >= 0 && !bound[idx]) {
            bound[idx] = args[nargs + k];
            continue;
        }
        if (idx >= 0 || param_index(description, key, 0, p) >= 0)
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         description.name, key);
        else
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", description.name,
                         key);
        return false;
    }
    for (std::size_t i = p; i < n; ++i) {
        if (bound[i]) continue;
        Py_ssize_t d = static_cast<Py_ssize_t>(i) - n_required;
        if (d < 0) {
            raise_count(description, n, n_required, static_cast<Py_ssize_t>(i));
            return false;
        }
        bound[i] = PyTuple_GET_ITEM(f->defaults, PyTuple_GET_SIZE(f->defaults) - n_defaults + d);
    }
    for (const ExactType& check : description.exact_types) {
        PyTypeObject* got = Py_TYPE(bound[check.param].ptr());
        if (got == check.type) continue;
        bool subclass = PyType_IsSubtype(got, check.type);
        PyObject* note = PyUnicode_FromString(subclass ? kSubclassNote : "");
        if (note == nullptr) return false;
        PyErr_Format(PyExc_TypeError,
                     "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)%s%U",
                     description.params[check.param], check.type->tp_name, got->tp_name,
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
    const MethodDescription& description = *self->description;
    auto fail_at = [&](int step) -> PyObject* {
        add_traceback(self->owner->traceback_name(description).c_str(), self->owner->source_path,
                      description.first_line + step, self->globals);
        return nullptr;
    };
    std::array<py::handle, kMaxParams> bound{};
    if (!bind_arguments(self, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return fail_at(0);
    // The call owns a reference to each argument, as a Python frame does to its
    // locals: libraries that read reference counts (pandas' chained-assignment
    // check) then see what they would see under a Python method.
    std::array<py::object, kMaxParams> owned;
    for (std::size_t i = 0; i < description.params.size(); ++i)
        owned[i] = py::reinterpret_borrow<py::object>(bound[i]);
    Call call(*self->owner, self->globals);
    try {
        py::object result = description.body(call, Args(bound.data(), description.params.size()));
        return result.release().ptr();
    } catch (...) {
        set_error_from_exception();
    }
    return fail_at(call.step());
}

// Binds like a Python function: through an instance a bound method, through the
// class the function itself.
PyObject* function_descr_get(PyObject* op, PyObject* obj, PyObject* /*type*/) {
    if (obj == nullptr || obj == Py_None) return Py_NewRef(op);
    return PyMethod_New(op, obj);
}

PyObject* function_repr(PyObject* op) {
    return PyUnicode_FromFormat("<function %S at %p>", as_function(op)->qualname, op);
}

int function_traverse(PyObject* op, visitproc visit, void* arg) {
    FunctionObject* f = as_function(op);
    Py_VISIT(Py_TYPE(op));
    Py_VISIT(f->module);
    Py_VISIT(f->doc);
    Py_VISIT(f->code);
    Py_VISIT(f->globals);
    Py_VISIT(f->annotations);
    Py_VISIT(f->defaults);
    Py_VISIT(f->kwdefaults);
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
    Py_CLEAR(f->defaults);
    Py_CLEAR(f->kwdefaults);
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

// __reduce__: a reference to where the class stores the method ("Class.stored"),
// which pickle resolves in __module__ and copy takes as "the object itself", as
// for a Python function.
PyObject* function_reduce(PyObject* op, PyObject* /*unused*/) {
    FunctionObject* f = as_function(op);
    std::string where = std::string(f->owner->class_name) + "." + f->owner->stored_name(*f->description);
    return PyUnicode_FromStringAndSize(where.data(), static_cast<Py_ssize_t>(where.size()));
}

// Attributes that Python functions let callers read and write (functools.wraps
// writes them).  Each points at its field and says what it accepts.
enum class Accepts { anything, str, dict_or_none, tuple_or_none };

struct Field {
    const char* name;
    std::size_t offset;
    Accepts accepts;
};

constexpr Field kFields[] = {
    {"__name__", offsetof(FunctionObject, name), Accepts::str},
    {"__qualname__", offsetof(FunctionObject, qualname), Accepts::str},
    {"__module__", offsetof(FunctionObject, module), Accepts::anything},
    {"__doc__", offsetof(FunctionObject, doc), Accepts::anything},
    {"__annotations__", offsetof(FunctionObject, annotations), Accepts::dict_or_none},
    {"__defaults__", offsetof(FunctionObject, defaults), Accepts::tuple_or_none},
    {"__kwdefaults__", offsetof(FunctionObject, kwdefaults), Accepts::dict_or_none},
};

PyObject*& slot(PyObject* op, const Field& field) {
    return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(op) + field.offset);
}

PyObject* field_get(PyObject* op, void* closure) {
    const Field& field = *static_cast<const Field*>(closure);
    PyObject*& value = slot(op, field);
    // A function's __annotations__ is a dict even after it was set to None.
    if (value == nullptr && field.offset == offsetof(FunctionObject, annotations)) {
        value = PyDict_New();
        if (value == nullptr) return nullptr;
    }
    return Py_NewRef(value ? value : Py_None);
}

int field_set(PyObject* op, PyObject* value, void* closure) {
    const Field& field = *static_cast<const Field*>(closure);
    const bool none = value == nullptr || value == Py_None;
    switch (field.accepts) {
        case Accepts::anything:
            if (value == nullptr) value = Py_None;
            break;
        case Accepts::str:
            if (value == nullptr || !PyUnicode_Check(value)) {
                PyErr_Format(PyExc_TypeError, "%s must be set to a string object", field.name);
                return -1;
            }
            break;
        case Accepts::dict_or_none:
            if (!none && !PyDict_Check(value)) {
                PyErr_Format(PyExc_TypeError, "%s must be set to a dict object", field.name);
                return -1;
            }
            if (none) value = nullptr;
            break;
        case Accepts::tuple_or_none:
            if (!none && !PyTuple_Check(value)) {
                PyErr_Format(PyExc_TypeError, "%s must be set to a tuple object", field.name);
                return -1;
            }
            if (none) value = nullptr;
            break;
    }
    Py_XSETREF(slot(op, field), Py_XNewRef(value));
    return 0;
}

PyObject* get_code(PyObject* op, void*) { return Py_NewRef(as_function(op)->code); }
PyObject* get_globals(PyObject* op, void*) { return Py_NewRef(as_function(op)->globals); }

template <std::size_t... I>
constexpr std::array<PyGetSetDef, sizeof...(I) + 4> getsets(std::index_sequence<I...>) {
    return {{
        {kFields[I].name, field_get, field_set, nullptr, const_cast<Field*>(&kFields[I])}...,
        {"__code__", get_code, nullptr, nullptr, nullptr},
        {"__globals__", get_globals, nullptr, nullptr, nullptr},
        {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    }};
}
auto function_getset = getsets(std::make_index_sequence<std::size(kFields)>());

PyMemberDef function_members[] = {
    {"__dictoffset__", T_PYSSIZET, offsetof(FunctionObject, dict), READONLY, nullptr},
    {"__weaklistoffset__", T_PYSSIZET, offsetof(FunctionObject, weakreflist), READONLY, nullptr},
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(FunctionObject, vectorcall), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_descr_get)},
    {Py_tp_members, function_members},
    {Py_tp_getset, function_getset.data()},
    {Py_tp_methods, function_methods},
    {0, nullptr},
};

// Process-wide, like the module object: made once, never released.
PyTypeObject* function_type = nullptr;

// The code object that introspection sees: the parameters as positional-or-keyword
// arguments, then the locals.  PyCode_NewEmpty and code.replace are public on
// every supported version, which keeps this free of code constructors.
py::object make_code(const MethodDescription& description, const ClassDescription& owner, const py::str& qualname) {
    py::list varnames;
    for (const char* p : description.params) varnames.append(py::str(p));
    for (const char* l : description.locals) varnames.append(py::str(l));
    PyCodeObject* empty = PyCode_NewEmpty(owner.source_path, description.name, description.first_line);
    if (empty == nullptr) throw py::error_already_set();
    using namespace pybind11::literals;
    auto code = py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(empty));
    py::dict changes("co_argcount"_a = description.params.size(), "co_posonlyargcount"_a = 0,
                     "co_kwonlyargcount"_a = 0, "co_nlocals"_a = py::len(varnames),
                     "co_varnames"_a = py::tuple(varnames),
                     "co_flags"_a = CO_OPTIMIZED | CO_NEWLOCALS);
    if constexpr (compat::kCodeHasQualname) changes["co_qualname"] = qualname;
    return code.attr("replace")(**changes);
}

}  // namespace

void ready_function_type(const ClassDescription& owner) {
    if (function_type != nullptr) return;
    static std::string type_name;
    std::string module(owner.module_name);
    type_name = module.substr(0, module.find('.')) + "_function";
    static PyType_Spec type_spec{
        type_name.c_str(),
        sizeof(FunctionObject),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
            Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_IMMUTABLETYPE |
            Py_TPFLAGS_DISALLOW_INSTANTIATION,
        function_slots,
    };
    PyObject* type = PyType_FromSpec(&type_spec);
    if (type == nullptr) throw py::error_already_set();
    function_type = reinterpret_cast<PyTypeObject*>(type);
}

py::object make_function(const MethodDescription& description, const ClassDescription& owner, py::handle globals) {
    if (description.params.size() > kMaxParams)
        throw std::logic_error(std::string(description.name) + " has more parameters than kMaxParams");
    py::str qualname(std::string(owner.class_name) + "." + description.name);
    py::object code = make_code(description, owner, qualname);
    py::dict annotations;
    for (const Annotation& a : description.annotations) annotations[a.name] = py::str(a.text);
    py::object doc = description.doc ? py::object(py::str(description.doc)) : py::object(py::none());
    py::str name(description.name), module(owner.module_name);

    FunctionObject* f = PyObject_GC_New(FunctionObject, function_type);
    if (f == nullptr) throw py::error_already_set();
    Py_INCREF(function_type);  // heap type: each instance holds its type
    f->vectorcall = function_vectorcall;
    f->description = &description;
    f->owner = &owner;
    f->name = name.release().ptr();
    f->qualname = qualname.release().ptr();
    f->module = module.release().ptr();
    f->doc = doc.release().ptr();
    f->code = code.release().ptr();
    f->globals = Py_NewRef(globals.ptr());
    f->annotations = annotations.release().ptr();
    f->defaults = nullptr;
    f->kwdefaults = nullptr;
    f->dict = nullptr;
    f->weakreflist = nullptr;
    PyObject_GC_Track(f);
    return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(f));
}

std::string ClassDescription::stored_name(const MethodDescription& method) const {
    std::string n(method.name);
    bool is_private = n.starts_with("__") && !n.ends_with("__");
    return is_private ? "_" + std::string(class_name) + n : n;
}

const MethodDescription& ClassDescription::method(std::string_view name) const {
    for (const ClassEntry& entry : entries)
        if (entry.method != nullptr && name == entry.method->name) return *entry.method;
    throw std::logic_error(std::string(class_name) + " has no method " + std::string(name));
}

std::string ClassDescription::traceback_name(const MethodDescription& method) const {
    return std::string(module_name) + "." + class_name + "." + method.name;
}

py::object Call::global(const char* name) const {
    return lookup_name(globals_, PyEval_GetBuiltins(), name);
}

py::object Call::method(py::handle self, std::string_view sibling) const {
    return self.attr(py::str(owner_.stored_name(owner_.method(sibling))));
}

py::object lookup_name(PyObject* globals, PyObject* builtins, const char* name) {
    py::str key(name);
    for (PyObject* dict : {globals, builtins}) {
        if (dict == nullptr) continue;
        PyObject* value = PyDict_GetItemWithError(dict, key.ptr());  // borrowed
        if (value != nullptr) return py::reinterpret_borrow<py::object>(value);
        if (PyErr_Occurred()) throw py::error_already_set();
    }
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", key.ptr());
    throw py::error_already_set();
}

}  // namespace runtime
