// astronomy/context.cpp: reading and checking the astronomy context an object
// holds.
#include "astronomy/context.hpp"

#include "runtime/pyops.hpp"

#include <string>

namespace astronomy {

const char* context_refused(py::handle holder, Context& out) {
    for (const auto& [name, member] : kContextAttributes) {
        out.*member = runtime::getattr_or_absent(holder, name);
        if (!(out.*member)) return "an attribute missing";
    }
    auto type_of = [](const char* module, const char* name) {
        return py::module_::import(module).attr(name);
    };
    // Bodies are any of Skyfield's vector functions: their array positions are the
    // scalar ones, element by element.
    py::object vector_function = type_of("skyfield.vectorlib", "VectorFunction");
    if (!py::type::of(out.eph).is(type_of("skyfield.jpllib", "SpiceKernel")))
        return "an ephemeris that is not a Skyfield SpiceKernel";
    if (!py::type::of(out.ts).is(type_of("skyfield.timelib", "Timescale")))
        return "a timescale that is not a Skyfield Timescale";
    for (const py::object* body : {&out.sun, &out.moon, &out.earth})
        if (!py::isinstance(*body, vector_function)) return "a body that is not a Skyfield vector function";
    return nullptr;
}

Context context_from(py::handle holder) {
    Context ctx;
    if (const char* why = context_refused(holder, ctx)) {
        std::string attributes;
        for (const auto& [name, _member] : kContextAttributes)
            attributes += (attributes.empty() ? "" : ", ") + std::string(name);
        std::string type_name = py::str(py::type::of(holder).attr("__qualname__"));
        throw py::type_error("the astronomy context is read from a loaded Tavrolen object (" + attributes +
                             "), not from a " + type_name + " object with " + why);
    }
    return ctx;
}

}  // namespace astronomy
