// runtime/compat.hpp: the C API that differs between the CPython versions the
// extension supports (3.10 to 3.15).  Every version branch of the runtime lives
// here, with the reason beside it.
//
// 3.14 and 3.15 need no branch of their own: the traceback entries are built
// from PyCode_NewEmpty, code.replace and PyFrame_New, public and unchanged there;
// the module slots and the single-interpreter slot below are those of 3.12; and
// nothing the runtime calls is deprecated or removed (the module builds without
// warnings on each version).
#pragma once

#include <Python.h>

#include <cstdlib>

namespace runtime::compat {

/// Holds the pending exception aside while other C-API calls run, and puts it
/// back unchanged.
class SavedError {
public:
    SavedError() {
#if PY_VERSION_HEX >= 0x030C0000
        // 3.12 keeps one exception object; PyErr_Fetch is deprecated there.
        exc_ = PyErr_GetRaisedException();
#else
        PyErr_Fetch(&type_, &exc_, &tb_);
#endif
    }
    SavedError(const SavedError&) = delete;
    SavedError& operator=(const SavedError&) = delete;
    /// Makes the saved exception pending again (once).
    void restore() {
#if PY_VERSION_HEX >= 0x030C0000
        PyErr_SetRaisedException(exc_);
#else
        PyErr_Restore(type_, exc_, tb_);
        type_ = tb_ = nullptr;
#endif
        exc_ = nullptr;
    }
    ~SavedError() {
        if (exc_ != nullptr) restore();
    }

private:
    PyObject* exc_ = nullptr;
#if PY_VERSION_HEX < 0x030C0000
    PyObject* type_ = nullptr;
    PyObject* tb_ = nullptr;
#endif
};

/// The running interpreter's major and minor version.
inline void running_version(int& major, int& minor) {
#if PY_VERSION_HEX >= 0x030B0000
    // Py_Version, the runtime's own hex version, exists from 3.11 on.
    major = static_cast<int>(Py_Version >> 24);
    minor = static_cast<int>((Py_Version >> 16) & 0xFF);
#else
    // 3.10: the version string starts "3.10.13 (...".
    const char* v = Py_GetVersion();
    char* end = nullptr;
    major = static_cast<int>(std::strtol(v, &end, 10));
    minor = static_cast<int>(std::strtol(end + 1, nullptr, 10));
#endif
}

/// Whether code objects carry co_qualname (added in 3.11; code.replace rejects it
/// before).
inline constexpr bool kCodeHasQualname = PY_VERSION_HEX >= 0x030B0000;

}  // namespace runtime::compat

// The module-definition slot that declares the module unfit for other
// interpreters.  3.12 added it: an isolated subinterpreter is then refused by the
// interpreter itself, while a legacy one still reaches the create step, which
// refuses every interpreter but the first.  Before 3.12 there is nothing to say.
#if PY_VERSION_HEX >= 0x030C0000
#define RUNTIME_SINGLE_INTERPRETER_SLOT \
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#else
#define RUNTIME_SINGLE_INTERPRETER_SLOT
#endif
