// frame/watch.hpp: what the one-date path resolves, taken note of at import, and
// the test that it still resolves so: the batch stands in for the one-date path
// only while every name and object the bodies read is the one it was.
#pragma once

#include "astronomy/batch.hpp"
#include "runtime/module.hpp"

#include <optional>
#include <vector>

namespace frame {

namespace py = pybind11;

/// Takes note, right after the module body, of the objects that the one-date path
/// resolves: the class entries of the module's class, every global its body
/// imported, and every library attribute the methods read (astronomy/library.hpp).
void remember_import_state(const runtime::ModuleSpec& module, py::dict globals);

/// A global of the module body as it was right after import (borrowed).
py::handle remembered_global(const char* name);

/// Null when every name the one-date path looks up on `self`, in the module's
/// `globals` and on the imported modules resolves to what it did at import;
/// otherwise what changed.
const char* rebound_name(py::handle self, PyObject* globals);

/// The astronomy context stored on `self`, if it is complete and made of the
/// objects that __initialize_astronomy makes.
std::optional<astronomy::Context> context_of(py::handle self);

}  // namespace frame
