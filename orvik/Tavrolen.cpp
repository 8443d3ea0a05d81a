// orvik/Tavrolen.cpp: the extension module orvik.Tavrolen: its docstring, the
// class Tavrolen with its method table, and PyInit_Tavrolen.
//
// Each method is described here once; runtime/ turns the descriptions into
// function objects and runs the bodies that astronomy/, panchang/, islamic/ and
// frame/ implement.  A traceback entry's line is the method's first line
// (argument errors) plus the number of the step of its algorithm that failed.
#include "astronomy/astronomy.hpp"
#include "frame/festival.hpp"
#include "frame/holidays.hpp"
#include "frame/module.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"
#include "runtime/compat.hpp"

namespace {

constexpr const char* kModuleName = "orvik.Tavrolen";

using runtime::ClassEntry;
using runtime::MethodDescription;

const char* const kModuleDoc =
    "orvik.Tavrolen: festival annotation engine for India\n"
    "\n"
    "**Introduction**\n"
    "    Tavrolen names the festivals and holidays that fall on a Gregorian date\n"
    "    and time in India, computed from the sky rather than read from a list.\n"
    "\n"
    "**Key features**\n"
    "    - Hindu festivals from panchang logic on the true sidereal (Lahiri)\n"
    "      positions of the Sun and the Moon: tithi, nakshatra, maas and paksha.\n"
    "    - Islamic festivals from the tabular Hijri calendar, the day changing\n"
    "      at sunset in Delhi.\n"
    "    - Fixed-date national and international holidays such as Republic Day\n"
    "      and Independence Day.\n"
    "    - An astronomy-based engine: Skyfield with the JPL DE421 ephemeris.\n"
    "\n"
    "**Purpose**\n"
    "    From a Gregorian date-time, find the Hindu and Islamic festivals together\n"
    "    with the national holiday names.\n"
    "\n"
    "**Arguments**\n"
    "    df            -- a pandas DataFrame\n"
    "    date_col_name -- the name of its column of dates or date-times\n"
    "\n"
    "**Returns**\n"
    "    The same DataFrame with a new column \"festival\": the names joined by\n"
    "    \"/\" (Hindu, Islamic, fixed-date), or no value where none falls.\n"
    "\n"
    "**Usage**\n"
    "    >>> from orvik.Tavrolen import Tavrolen\n"
    "    >>> df = Tavrolen().get_festival(df, 'date_column_name')\n";

const MethodDescription initialize_astronomy{
    .name = "__initialize_astronomy",
    .params = {"self"},
    .doc = "Load skyfield ephemeris and observers once; reuse across calls.",
    .first_line = 100,
    .body = astronomy::initialize_astronomy,
};

const MethodDescription get_nirayana_lon{
    .name = "__get_nirayana_lon",
    .params = {"self", "target", "time_obj"},
    .locals = {"T", "ayanamsha", "astrometric", "_", "lon"},
    .doc = "\n            Nirayana (sidereal) longitude using Lahiri ayanamsha."
           "\n            Moved out of nested scope so it's a proper reusable method."
           "\n            ",
    .first_line = 200,
    .body = astronomy::get_nirayana_lon,
};

const MethodDescription get_accurate_panchang{
    .name = "__get_accurate_panchang",
    .params = {"self", "year", "month", "day", "hour", "minute", "purnimanta"},
    .locals = {"t", "sun_nir", "moon_nir", "_nakshatras", "nakshatra", "t_start", "f", "times",
               "phases", "last_nm_t", "sun_at_nm", "_hindu_months", "amanta_idx", "diff",
               "tithi_no", "paksha", "final_maas", "_rashis", "sun_rashi", "moon_rashi"},
    .first_line = 300,
    .body = panchang::get_accurate_panchang,
};

const MethodDescription get_festivals{
    .name = "__get_festivals",
    .params = {"self", "result"},
    .locals = {"maas", "paksha", "tithi", "nakshatra", "_festivals", "festival"},
    .annotations = {{"result", "dict"}, {"return", "str | None"}},
    .exact_types = {{1, &PyDict_Type}},
    .first_line = 400,
    .body = panchang::get_festivals,
};

const MethodDescription get_sunset{
    .name = "__get_sunset",
    .params = {"self", "g_date"},
    .locals = {"t0", "t1", "f", "times", "events", "t", "event"},
    .doc = "Return Skyfield Time of sunset for Delhi on the given Gregorian date.",
    .first_line = 500,
    .body = astronomy::get_sunset,
};

const MethodDescription get_hijri_date{
    .name = "__get_hijri_date",
    .params = {"self", "dt_obj"},
    .locals = {"g_date", "t_sunset", "working_date", "sunset_ist", "jd", "l", "n", "j", "m", "d",
               "y"},
    .doc = "\n            Convert a Gregorian datetime to Hijri (y, m, d) using the"
           "\n            Fliegel-Van Flandern algorithm."
           "\n"
           "\n            The Julian date is that of 00:00 of the civil date. A Julian"
           "\n            date one day lower shifts every Hijri date one day earlier,"
           "\n            and the Islamic festival lookups then miss by one day."
           "\n            Correct formula: jd = toordinal() + 1721424.5"
           "\n            ",
    .first_line = 600,
    .body = islamic::get_hijri_date,
};

const MethodDescription get_islamic_festival{
    .name = "__get_islamic_festival",
    .params = {"self", "year", "month", "day", "hour", "minute"},
    .locals = {"dt_obj", "_", "h_m", "h_d", "_islamic_festivals"},
    .first_line = 700,
    .body = islamic::get_islamic_festival,
};

const MethodDescription get_festival_holiday{
    .name = "__get_festival_holiday",
    .params = {"self", "year", "month", "day", "hour", "minute", "purnimanta"},
    .locals = {"panchang", "hindu_fest", "islamic_fest", "fixed_hol", "parts", "f"},
    .first_line = 900,
    .body = frame::get_festival_holiday,
};

const MethodDescription get_festival{
    .name = "get_festival",
    .params = {"self", "df", "date_col_name"},
    .locals = {"unique_dates", "festival_map", "date"},
    .annotations = {{"df", "pd.DataFrame"}, {"date_col_name", "str"}, {"return", "pd.DataFrame"}},
    .exact_types = {{2, &PyUnicode_Type}},
    .first_line = 1000,
    .body = frame::get_festival,
};

// The class namespace, in order.
const ClassEntry tavrolen_entries[] = {
    {.method = &initialize_astronomy},
    {.method = &get_nirayana_lon},
    {.method = &get_accurate_panchang},
    {.method = &get_festivals},
    {.method = &get_sunset},
    {.method = &get_hijri_date},
    {.method = &get_islamic_festival},
    {.value_name = "_FIXED_HOLIDAYS", .make_value = frame::make_fixed_holidays},
    {.method = &get_festival_holiday},
    {.method = &get_festival},
};

const runtime::ClassDescription tavrolen_class{
    .module_name = kModuleName,
    .class_name = "Tavrolen",
    .source_path = "orvik/Tavrolen",
    .entries = tavrolen_entries,
};

const runtime::ModuleDescription tavrolen_module = frame::tavrolen_module(tavrolen_class);

int exec_tavrolen(PyObject* module) { return runtime::exec_module(module, tavrolen_module); }

PyModuleDef_Slot tavrolen_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(runtime::create_module)},
    {Py_mod_exec, reinterpret_cast<void*>(exec_tavrolen)},
    // The first interpreter that imports the module owns it.
    RUNTIME_SINGLE_INTERPRETER_SLOT
    {0, nullptr},
};

PyModuleDef tavrolen_def = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = kModuleName,
    .m_doc = kModuleDoc,
    .m_size = 0,  // no per-module state
    .m_methods = nullptr,
    .m_slots = tavrolen_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_Tavrolen(void) { return PyModuleDef_Init(&tavrolen_def); }
