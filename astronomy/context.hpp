// astronomy/context.hpp: the astronomy context a loaded Tavrolen object holds:
// the one list of the attributes it is stored in, and the one check that an
// object holds a context the array computations can read.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <utility>

namespace astronomy {

namespace py = pybind11;

/// The astronomy context as a Tavrolen object holds it.
struct Context {
    py::object eph, sun, moon, earth, ts, delhi, ist;
};

/// The attributes the context is stored in, in the order __initialize_astronomy
/// stores them, each with the member it fills.
inline constexpr std::array<std::pair<const char*, py::object Context::*>, 7> kContextAttributes{{
    {"_EPH", &Context::eph},
    {"_SUN", &Context::sun},
    {"_MOON", &Context::moon},
    {"_EARTH", &Context::earth},
    {"_TS", &Context::ts},
    {"_DELHI", &Context::delhi},
    {"_IST", &Context::ist},
}};

/// Reads the context `holder` stores into `out`.  Null when every attribute is
/// there and the ephemeris, the timescale and the bodies are of the kinds that
/// __initialize_astronomy makes (a SpiceKernel, a Timescale, Skyfield vector
/// functions); otherwise why not, and `out` is incomplete.  Only AttributeError
/// counts as a missing attribute; any other error propagates.
const char* context_refused(py::handle holder, Context& out);

/// The context `holder` stores, as context_refused reads it; TypeError, naming
/// the holder's type and what is wrong, where it refuses.  For the private
/// modules, which take a loaded Tavrolen object as their context.
Context context_from(py::handle holder);

}  // namespace astronomy
