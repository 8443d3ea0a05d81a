// frame/module.cpp: the module body of orvik.Tavrolen (its imports and the
// message of a failed import) and its process-wide constants.
#include "frame/module.hpp"

#include "frame/watch.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"

namespace frame {

namespace {

void make_constants() {
    panchang::make_tables();
    islamic::make_tables();
}

}  // namespace

runtime::ModuleDescription tavrolen_module(const runtime::ClassDescription& cls) {
    return {
        .cls = &cls,
        .imports =
            {
                {.module = "skyfield.api", .names = {"load", "Topos"}},
                {.module = "skyfield", .names = {"almanac"}},
                {.module = "pandas", .as_name = "pd"},
                {.module = "datetime", .names = {"timedelta", "datetime"}},
                {.module = "pytz", .as_name = "pytz"},
            },
        .failure_hint = "\nTry this format: YYYY-mm-dd HH:MM !",
        .reinit_message =
            "Module 'Tavrolen' has already been imported. Re-initialisation is not supported.",
        .make_constants = make_constants,
        .after_body = remember_import_state,
    };
}

}  // namespace frame
