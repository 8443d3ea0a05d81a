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

// What the one-date path resolved to right after the module body.  Strong
// references, never released, like the module itself.
struct Remembered {
    std::string name;
    PyObject* object;
};
struct ImportState {
    std::vector<Remembered> class_entries;  // by the name the class stores them under
    std::vector<Remembered> globals;        // every name the module body imported
    std::vector<PyObject*> owners;          // where kLibraryReads[i] is looked up
    std::vector<PyObject*> attributes;      // kLibraryReads[i], as stored (unbound); null if absent
};
ImportState* import_state = nullptr;

// inspect.getattr_static(obj, name): the attribute as stored on the object or its
// class, without running descriptors, so that a method or a class method compares
// by identity.  Null when absent.
py::object static_attribute(py::handle obj, const char* name) {
    static py::handle getattr_static =
        py::object(py::module_::import("inspect").attr("getattr_static")).release();
    static py::handle absent = py::object(py::module_::import("builtins").attr("object")()).release();
    py::object value = getattr_static(obj, name, absent);
    return value.is(absent) ? py::object() : value;
}

}  // namespace

py::handle remembered_global(const char* name) {
    for (const Remembered& r : import_state->globals)
        if (r.name == name) return r.object;
    throw std::logic_error(std::string("the module body imports no ") + name);
}

void remember_import_state(const runtime::ModuleSpec& module, py::dict globals) {
    const runtime::ClassSpec& cls = *module.cls;
    if (!globals.contains(cls.class_name)) return;
    auto* state = new ImportState();
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
        state->attributes.push_back(static_attribute(where, read.name).release().ptr());
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
        py::object value = static_attribute(import_state->owners[i], astronomy::kLibraryReads[i].name);
        if (value.ptr() != import_state->attributes[i]) return "a library attribute rebound";
    }
    return nullptr;
}

std::optional<astronomy::Context> context_of(py::handle self) {
    astronomy::Context ctx;
    std::pair<const char*, py::object*> fields[] = {
        {"_EPH", &ctx.eph},     {"_SUN", &ctx.sun}, {"_MOON", &ctx.moon}, {"_EARTH", &ctx.earth},
        {"_TS", &ctx.ts},       {"_DELHI", &ctx.delhi}, {"_IST", &ctx.ist},
    };
    for (auto [name, field] : fields) {
        *field = runtime::getattr_or_absent(self, name);
        if (!*field) return std::nullopt;
    }
    auto type_of = [](const char* module, const char* name) {
        return py::module_::import(module).attr(name);
    };
    // Bodies are any of Skyfield's vector functions: their array positions are the
    // scalar ones, element by element.
    py::object vector_function = type_of("skyfield.vectorlib", "VectorFunction");
    bool expected = py::type::of(ctx.eph).is(type_of("skyfield.jpllib", "SpiceKernel")) &&
                    py::type::of(ctx.ts).is(type_of("skyfield.timelib", "Timescale")) &&
                    py::isinstance(ctx.sun, vector_function) &&
                    py::isinstance(ctx.moon, vector_function) &&
                    py::isinstance(ctx.earth, vector_function);
    if (!expected) return std::nullopt;
    // The zone and the observer are the ones made at loading time: the rule that
    // a minute before 16:00 is before sunset rests on the observer being Delhi.
    py::handle pytz = remembered_global("pytz");
    if (!ctx.ist.is(pytz.attr("timezone")(astronomy::kZoneName))) return std::nullopt;
    py::handle topos = remembered_global("Topos");
    py::object delhi = topos(astronomy::kDelhiLatitude, astronomy::kDelhiLongitude,
                             "elevation_m"_a = astronomy::kDelhiElevationM);
    if (!py::type::of(ctx.delhi).is(py::type::of(delhi))) return std::nullopt;
    for (const char* coordinate : {"latitude", "longitude"})
        if (runtime::as_double(ctx.delhi.attr(coordinate).attr("degrees")) !=
            runtime::as_double(delhi.attr(coordinate).attr("degrees")))
            return std::nullopt;
    if (runtime::as_double(ctx.delhi.attr("elevation").attr("m")) != astronomy::kDelhiElevationM)
        return std::nullopt;
    // No library attribute the bodies read is replaced on the context objects
    // themselves or in their own classes.
    for (py::handle obj : {ctx.eph, ctx.sun, ctx.moon, ctx.earth, ctx.ts, ctx.delhi, ctx.ist}) {
        for (std::size_t i = 0; i < std::size(astronomy::kLibraryReads); ++i) {
            py::handle owner = import_state->owners[i];
            if (!PyType_Check(owner.ptr()) || !py::isinstance(obj, owner)) continue;
            if (static_attribute(obj, astronomy::kLibraryReads[i].name).ptr() != import_state->attributes[i])
                return std::nullopt;
        }
    }
    return ctx;
}

}  // namespace frame
