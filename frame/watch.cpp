// frame/watch.cpp: the import snapshot and the watch over it.
#include "frame/watch.hpp"

#include "astronomy/library.hpp"
#include "astronomy/observer.hpp"
#include "frame/festival.hpp"
#include "runtime/pyops.hpp"

#include <stdexcept>
#include <string>

namespace frame {

using namespace pybind11::literals;

namespace {

// What the one-date path resolved to right after the module body, and the tools
// to compare with it.  Strong references, never released, like the module itself;
// all made in the module's exec step, so no call ever builds them (and no two
// threads can race to).
struct Remembered {
    std::string name;
    PyObject* object;
};
struct ImportState {
    std::vector<Remembered> class_entries;  // by the name the class stores them under
    std::vector<Remembered> globals;        // every name the module body imported
    std::vector<PyObject*> owners;          // where kLibraryReads[i] is looked up
    std::vector<PyObject*> attributes;      // kLibraryReads[i], as stored (unbound); null if absent
    PyObject* getattr_static;               // inspect.getattr_static
    PyObject* absent;                       // a fresh object(), its default
};
ImportState* import_state = nullptr;

// inspect.getattr_static(obj, name): the attribute as stored on the object or its
// class, without running descriptors, so that a method or a class method compares
// by identity.  Null when absent.
py::object static_attribute(const ImportState& state, py::handle obj, const char* name) {
    py::object value = py::handle(state.getattr_static)(obj, name, py::handle(state.absent));
    return value.is(py::handle(state.absent)) ? py::object() : value;
}

}  // namespace

py::handle remembered_global(const char* name) {
    for (const Remembered& r : import_state->globals)
        if (r.name == name) return r.object;
    throw std::logic_error(std::string("the module body imports no ") + name);
}

void remember_import_state(const runtime::ModuleDescription& module, py::dict globals) {
    const runtime::ClassDescription& cls = *module.cls;
    if (!globals.contains(cls.class_name)) return;
    auto* state = new ImportState();
    state->getattr_static = py::object(py::module_::import("inspect").attr("getattr_static")).release().ptr();
    state->absent = py::object(py::module_::import("builtins").attr("object")()).release().ptr();
    // Every entry of the class but get_festival itself, which runs on either route.
    py::dict namespace_ = globals[cls.class_name].attr("__dict__");
    for (const runtime::ClassEntry& entry : cls.entries) {
        if (entry.method != nullptr && entry.method->body == get_festival) continue;
        std::string name = entry.method ? cls.stored_name(*entry.method) : entry.value_name;
        state->class_entries.push_back({name, py::object(namespace_[name.c_str()]).release().ptr()});
    }
    for (const char* name : module.imported_names())
        state->globals.push_back({name, py::object(globals[name]).release().ptr()});
    import_state = state;
    // The library attributes the bodies read: on a global of the module body, or
    // on a library class.  (The datetime and timedelta classes are built-in types,
    // whose attributes cannot be rebound.)
    for (const astronomy::LibraryRead& read : astronomy::kLibraryReads) {
        std::string owner = read.owner;
        py::object where;
        if (owner.find('.') == std::string::npos) {
            where = py::reinterpret_borrow<py::object>(remembered_global(read.owner));
        } else {
            std::size_t dot = owner.rfind('.');
            where = py::module_::import(owner.substr(0, dot).c_str()).attr(owner.substr(dot + 1).c_str());
        }
        state->attributes.push_back(static_attribute(*state, where, read.name).release().ptr());
        state->owners.push_back(where.release().ptr());
    }
    // pytz builds its zone list and each zone lazily, at first use, with no lock.
    // Two threads making their first calls at once could each build
    // "Asia/Kolkata" (two objects, one of which the batch then does not
    // recognise), and an interrupt landing inside that first build leaves pytz
    // without zones for the rest of the process.  Building the zone here, at
    // import, completes that state before any call can race or be interrupted
    // in it.  A zone that cannot be built fails later, in the call that needs it.
    try {
        remembered_global("pytz").attr("timezone")(astronomy::kZoneName);
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
    }
}

const char* rebound_name(py::handle self, PyObject* globals) {
    if (import_state == nullptr) return "no import state";
    PyTypeObject* type = Py_TYPE(self.ptr());
    if (type->tp_getattro != PyObject_GenericGetAttr || Py_TYPE(type) != &PyType_Type)
        return "attribute lookup of its own";
    py::object instance_dict = runtime::getattr_or_absent(self, "__dict__");
    for (const Remembered& entry : import_state->class_entries) {
        if (instance_dict && py::isinstance<py::dict>(instance_dict) &&
            py::reinterpret_borrow<py::dict>(instance_dict).contains(entry.name))
            return "a class entry set on the instance";
        py::object found = runtime::getattr_or_absent(reinterpret_cast<PyObject*>(type),
                                                      entry.name.c_str());
        if (!found || found.ptr() != entry.object) return "a class entry replaced";
    }
    for (const Remembered& global : import_state->globals)
        if (PyDict_GetItemString(globals, global.name.c_str()) != global.object)
            return "a module global rebound";
    for (std::size_t i = 0; i < std::size(astronomy::kLibraryReads); ++i) {
        py::object value =
            static_attribute(*import_state, import_state->owners[i], astronomy::kLibraryReads[i].name);
        if (value.ptr() != import_state->attributes[i]) return "a library attribute rebound";
    }
    return nullptr;
}

const char* context_unreadable(py::handle self, astronomy::Context& ctx) {
    if (import_state == nullptr) return "no import state";
    if (const char* why = astronomy::context_refused(self, ctx)) return why;
    // The zone and the observer are the ones made at loading time: the rule that
    // a minute before 16:00 is before sunset rests on the observer being Delhi.
    py::handle pytz = remembered_global("pytz");
    if (!ctx.ist.is(pytz.attr("timezone")(astronomy::kZoneName))) return "a zone of its own";
    py::handle topos = remembered_global("Topos");
    py::object delhi = topos(astronomy::kDelhiLatitude, astronomy::kDelhiLongitude,
                             "elevation_m"_a = astronomy::kDelhiElevationM);
    if (!py::type::of(ctx.delhi).is(py::type::of(delhi))) return "an observer of its own";
    for (const char* coordinate : {"latitude", "longitude"})
        if (runtime::as_double(ctx.delhi.attr(coordinate).attr("degrees")) !=
            runtime::as_double(delhi.attr(coordinate).attr("degrees")))
            return "an observer of its own";
    if (runtime::as_double(ctx.delhi.attr("elevation").attr("m")) != astronomy::kDelhiElevationM)
        return "an observer of its own";
    // No library attribute the bodies read is replaced on the context objects
    // themselves or in their own classes.
    for (const auto& [_name, member] : astronomy::kContextAttributes) {
        py::handle obj = ctx.*member;
        for (std::size_t i = 0; i < std::size(astronomy::kLibraryReads); ++i) {
            py::handle owner = import_state->owners[i];
            if (!PyType_Check(owner.ptr()) || !py::isinstance(obj, owner)) continue;
            if (static_attribute(*import_state, obj, astronomy::kLibraryReads[i].name).ptr() !=
                import_state->attributes[i])
                return "a library attribute replaced on the context";
        }
    }
    return nullptr;
}

}  // namespace frame
