// frame/watch.hpp: what the one-date path resolves, taken note of at import, and
// the test that it still resolves so: the batch stands in for the one-date path
// only while every name and object the bodies read is the one it was.
#pragma once

#include "astronomy/batch.hpp"
#include "runtime/module.hpp"

#include <vector>

namespace frame {

namespace py = pybind11;

/// Takes note, right after the module body, of the objects that the one-date path
/// resolves: the class entries of the module's class, every global its body
/// imported, and every library attribute the methods read (astronomy/library.hpp).
void remember_import_state(const runtime::ModuleDescription& module, py::dict globals);

/// A global of the module body as it was right after import (borrowed).
py::handle remembered_global(const char* name);

/// Null when every name the one-date path looks up on `self`, in the module's
/// `globals` and on the imported modules resolves to what it did at import;
/// otherwise what changed.
const char* rebound_name(py::handle self, PyObject* globals);

/// Why the batch cannot read the astronomy context stored on `self`, or null, and
/// then `ctx` holds it: the context passes astronomy::context_refused, its zone and
/// observer are the ones __initialize_astronomy makes, and no library attribute
/// the bodies read is replaced on its objects.
const char* context_unreadable(py::handle self, astronomy::Context& ctx);

}  // namespace frame
