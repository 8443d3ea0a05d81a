// orvik/Tavrolen.cpp: the extension module orvik.Tavrolen: its docstring, the
// class Tavrolen with its method table, and PyInit_Tavrolen.
//
// Each method is described here once; frame/ turns the descriptions into function
// objects and runs the bodies that astronomy/, panchang/, islamic/ and frame/
// implement.  A traceback entry's line is the method's first line (argument
// errors) plus the number of the step of its algorithm that failed.
#include "astronomy/astronomy.hpp"
#include "frame/batch.hpp"
#include "frame/festival.hpp"
#include "frame/holidays.hpp"
#include "frame/module.hpp"
#include "islamic/hijri.hpp"
#include "panchang/panchang.hpp"

namespace {

using frame::ClassEntry;
using frame::MethodSpec;

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

const MethodSpec initialize_astronomy{
    "__initialize_astronomy",
    {"self"},
    {},
    "Load skyfield ephemeris and observers once; reuse across calls.",
    {},
    {},
    100,
    astronomy::initialize_astronomy,
};

const MethodSpec get_nirayana_lon{
    "__get_nirayana_lon",
    {"self", "target", "time_obj"},
    {"T", "ayanamsha", "astrometric", "_", "lon"},
    "\n            Nirayana (sidereal) longitude using Lahiri ayanamsha."
    "\n            Moved out of nested scope so it's a proper reusable method."
    "\n            ",
    {},
    {},
    200,
    astronomy::get_nirayana_lon,
};

const MethodSpec get_accurate_panchang{
    "__get_accurate_panchang",
    {"self", "year", "month", "day", "hour", "minute", "purnimanta"},
    {"t", "sun_nir", "moon_nir", "_nakshatras", "nakshatra", "t_start", "f", "times", "phases",
     "last_nm_t", "sun_at_nm", "_hindu_months", "amanta_idx", "diff", "tithi_no", "paksha",
     "final_maas", "_rashis", "sun_rashi", "moon_rashi"},
    nullptr,
    {},
    {},
    300,
    panchang::get_accurate_panchang,
};

const MethodSpec get_festivals{
    "__get_festivals",
    {"self", "result"},
    {"maas", "paksha", "tithi", "nakshatra", "_festivals", "festival"},
    nullptr,
    {{"result", "dict"}, {"return", "str | None"}},
    {{1, &PyDict_Type}},
    400,
    panchang::get_festivals,
};

const MethodSpec get_sunset{
    "__get_sunset",
    {"self", "g_date"},
    {"t0", "t1", "f", "times", "events", "t", "event"},
    "Return Skyfield Time of sunset for Delhi on the given Gregorian date.",
    {},
    {},
    500,
    astronomy::get_sunset,
};

const MethodSpec get_hijri_date{
    "__get_hijri_date",
    {"self", "dt_obj"},
    {"g_date", "t_sunset", "working_date", "sunset_ist", "jd", "l", "n", "j", "m", "d", "y"},
    "\n            Convert a Gregorian datetime to Hijri (y, m, d) using the"
    "\n            Fliegel-Van Flandern algorithm."
    "\n"
    "\n            The Julian date is that of 00:00 of the civil date. A Julian"
    "\n            date one day lower shifts every Hijri date one day earlier,"
    "\n            and the Islamic festival lookups then miss by one day."
    "\n            Correct formula: jd = toordinal() + 1721424.5"
    "\n            ",
    {},
    {},
    600,
    islamic::get_hijri_date,
};

const MethodSpec get_islamic_festival{
    "__get_islamic_festival",
    {"self", "year", "month", "day", "hour", "minute"},
    {"dt_obj", "_", "h_m", "h_d", "_islamic_festivals"},
    nullptr,
    {},
    {},
    700,
    islamic::get_islamic_festival,
};

const MethodSpec get_festival_holiday{
    "__get_festival_holiday",
    {"self", "year", "month", "day", "hour", "minute", "purnimanta"},
    {"panchang", "hindu_fest", "islamic_fest", "fixed_hol", "parts", "f"},
    nullptr,
    {},
    {},
    900,
    frame::get_festival_holiday,
};

const MethodSpec get_festival{
    "get_festival",
    {"self", "df", "date_col_name"},
    {"unique_dates", "festival_map", "date"},
    nullptr,
    {{"df", "pd.DataFrame"}, {"date_col_name", "str"}, {"return", "pd.DataFrame"}},
    {{2, &PyUnicode_Type}},
    1000,
    frame::get_festival,
};

// The class namespace, in order.
const ClassEntry tavrolen_class[] = {
    {&initialize_astronomy, nullptr, nullptr},
    {&get_nirayana_lon, nullptr, nullptr},
    {&get_accurate_panchang, nullptr, nullptr},
    {&get_festivals, nullptr, nullptr},
    {&get_sunset, nullptr, nullptr},
    {&get_hijri_date, nullptr, nullptr},
    {&get_islamic_festival, nullptr, nullptr},
    {nullptr, "_FIXED_HOLIDAYS", frame::make_fixed_holidays},
    {&get_festival_holiday, nullptr, nullptr},
    {&get_festival, nullptr, nullptr},
};

void make_constants() {
    panchang::make_tables();
    islamic::make_tables();
}

const frame::ModuleSpec tavrolen_module{"Tavrolen", tavrolen_class, make_constants,
                                        frame::remember_import_state};

int exec_tavrolen(PyObject* module) { return frame::exec_module(module, tavrolen_module); }

PyModuleDef_Slot tavrolen_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(frame::create_module)},
    {Py_mod_exec, reinterpret_cast<void*>(exec_tavrolen)},
    {0, nullptr},
};

PyModuleDef tavrolen_def = {
    PyModuleDef_HEAD_INIT,
    "orvik.Tavrolen",
    kModuleDoc,
    0,        // no per-module state
    nullptr,  // no module-level functions
    tavrolen_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_Tavrolen(void) { return PyModuleDef_Init(&tavrolen_def); }
