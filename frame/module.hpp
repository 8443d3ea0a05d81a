// frame/module.hpp: the module orvik.Tavrolen as the runtime builds it: its
// module body's imports, its messages, its constants, and what happens after
// its body ran.
#pragma once

#include "runtime/module.hpp"

namespace frame {

/// The module orvik.Tavrolen whose class is `cls`.
runtime::ModuleDescription tavrolen_module(const runtime::ClassDescription& cls);

}  // namespace frame
