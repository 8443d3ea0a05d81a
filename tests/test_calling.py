"""The calling convention shared by the nine methods: binding, argument errors,
introspection and traceback entries."""

import inspect
import traceback

import pandas as pd
import pytest
from conftest import METHODS, frames, orvik_frames

SIGNATURES = {
    "_Tavrolen__initialize_astronomy": "(self)",
    "_Tavrolen__get_nirayana_lon": "(self, target, time_obj)",
    "_Tavrolen__get_accurate_panchang": "(self, year, month, day, hour, minute, purnimanta)",
    "_Tavrolen__get_festivals": "(self, result: 'dict') -> 'str | None'",
    "_Tavrolen__get_sunset": "(self, g_date)",
    "_Tavrolen__get_hijri_date": "(self, dt_obj)",
    "_Tavrolen__get_islamic_festival": "(self, year, month, day, hour, minute)",
    "_Tavrolen__get_festival_holiday": "(self, year, month, day, hour, minute, purnimanta)",
    "get_festival": "(self, df: 'pd.DataFrame', date_col_name: 'str') -> 'pd.DataFrame'",
}

LOCALS = {
    "_Tavrolen__get_nirayana_lon": ("T", "ayanamsha", "astrometric", "_", "lon"),
    "_Tavrolen__get_sunset": ("t0", "t1", "f", "times", "events", "t", "event"),
    "get_festival": ("unique_dates", "festival_map", "date"),
}


def empty_frame():
    return pd.DataFrame({"date": pd.Series([], dtype=object)})


class TestIntrospection:
    @pytest.mark.parametrize("stored", METHODS)
    def test_method_looks_like_a_python_function(self, mod, stored):
        f = vars(mod.Tavrolen)[stored]
        name = stored.replace("_Tavrolen", "", 1) if stored.startswith("_Tavrolen") else stored
        assert f.__name__ == name
        assert f.__qualname__ == "Tavrolen." + name
        assert f.__module__ == "orvik.Tavrolen"
        assert f.__globals__ is vars(mod)
        assert f.__defaults__ is None and f.__kwdefaults__ is None
        assert str(inspect.signature(f)) == SIGNATURES[stored]
        code = f.__code__
        assert code.co_filename == "orvik/Tavrolen" and code.co_name == name
        assert code.co_argcount == len(inspect.signature(f).parameters)
        if stored in LOCALS:
            assert code.co_varnames[code.co_argcount:] == LOCALS[stored]
        documented = {"_Tavrolen__initialize_astronomy", "_Tavrolen__get_nirayana_lon",
                      "_Tavrolen__get_sunset", "_Tavrolen__get_hijri_date"}
        assert (f.__doc__ is not None) == (stored in documented)
        assert repr(f).startswith("<function Tavrolen.%s at " % name)

    def test_binding_through_instance_and_class(self, mod):
        t = mod.Tavrolen()
        bound = t.get_festival
        assert bound.__self__ is t and bound.__func__ is mod.Tavrolen.get_festival
        assert str(inspect.signature(bound)) == "(df: 'pd.DataFrame', date_col_name: 'str') -> 'pd.DataFrame'"
        for call in (lambda df: t.get_festival(df, "date"),
                     lambda df: t.get_festival(df=df, date_col_name="date"),
                     lambda df: t.get_festival(df, date_col_name="date"),
                     lambda df: mod.Tavrolen.get_festival(t, df, "date"),
                     lambda df: mod.Tavrolen.get_festival(self=t, df=df, date_col_name="date")):
            df = empty_frame()
            assert call(df) is df and list(df.columns) == ["date", "festival"]

    def test_docstrings(self, mod):
        T = mod.Tavrolen
        assert T._Tavrolen__initialize_astronomy.__doc__ == \
            "Load skyfield ephemeris and observers once; reuse across calls."
        assert T._Tavrolen__get_sunset.__doc__ == \
            "Return Skyfield Time of sunset for Delhi on the given Gregorian date."
        pad = "\n" + " " * 12
        assert T._Tavrolen__get_nirayana_lon.__doc__ == (
            pad + "Nirayana (sidereal) longitude using Lahiri ayanamsha." +
            pad + "Moved out of nested scope so it's a proper reusable method." + pad)
        hijri = T._Tavrolen__get_hijri_date.__doc__.split("\n")
        assert hijri[:4] == ["", pad[1:] + "Convert a Gregorian datetime to Hijri (y, m, d) using the",
                             pad[1:] + "Fliegel-Van Flandern algorithm.", ""]
        assert hijri[-2].strip() == "Correct formula: jd = toordinal() + 1721424.5"
        assert T._Tavrolen__get_festivals.__annotations__ == {"result": "dict", "return": "str | None"}
        assert T._Tavrolen__get_sunset.__annotations__ == {}


class TestArgumentErrors:
    @pytest.mark.parametrize("call, message", [
        (lambda t: t.get_festival(empty_frame()),
         "get_festival() takes exactly 3 positional arguments (2 given)"),
        (lambda t: t.get_festival(empty_frame(), "date", 1),
         "get_festival() takes exactly 3 positional arguments (4 given)"),
        (lambda t: t.get_festival(empty_frame(), "date", extra=1),
         "get_festival() got an unexpected keyword argument 'extra'"),
        (lambda t: t.get_festival(empty_frame(), df=empty_frame()),
         "get_festival() got multiple values for keyword argument 'df'"),
        (lambda t: t.get_festival(empty_frame(), date_col_name="date", self=t),
         "get_festival() got multiple values for keyword argument 'self'"),
        # the first unfilled parameter reports its own position as the count given
        (lambda t: t.get_festival(date_col_name="date"),
         "get_festival() takes exactly 3 positional arguments (1 given)"),
        (lambda t: t._Tavrolen__initialize_astronomy(1),
         "__initialize_astronomy() takes exactly 1 positional argument (2 given)"),
        (lambda t: t._Tavrolen__get_accurate_panchang(2024, 1),
         "__get_accurate_panchang() takes exactly 7 positional arguments (3 given)"),
        (lambda t: t._Tavrolen__get_festivals(),
         "__get_festivals() takes exactly 2 positional arguments (1 given)"),
        (lambda t: t._Tavrolen__get_festival_holiday(1, 2, 3, 4, 5, 6, 7),
         "__get_festival_holiday() takes exactly 7 positional arguments (8 given)"),
        (lambda t: type(t).get_festival(**{"df": 1, "date_col_name": "d"}),
         "get_festival() takes exactly 3 positional arguments (0 given)"),
    ])
    def test_binding_errors(self, tav, call, message):
        with pytest.raises(TypeError) as info:
            call(tav)
        assert str(info.value) == message

    def test_exact_type_checks(self, tav):
        class S(str):
            pass

        class D(dict):
            pass

        for value, got in ((None, "NoneType"), (1, "int"), (b"date", "bytes")):
            with pytest.raises(TypeError) as info:
                tav.get_festival(empty_frame(), value)
            assert str(info.value) == \
                f"Argument 'date_col_name' has incorrect type (expected str, got {got})"
        with pytest.raises(TypeError) as info:
            tav.get_festival(empty_frame(), S("date"))
        head = "Argument 'date_col_name' has incorrect type (expected str, got S). "
        assert str(info.value).startswith(head) and "ubclass" in str(info.value)[len(head):]
        with pytest.raises(TypeError) as info:
            tav._Tavrolen__get_festivals(D(maas="Chaitra"))
        assert str(info.value).startswith(
            "Argument 'result' has incorrect type (expected dict, got D). ")
        with pytest.raises(TypeError, match=r"^Argument 'result' has incorrect type \(expected dict, got list\)$"):
            tav._Tavrolen__get_festivals([])

    def test_body_does_not_run_on_argument_errors(self, tav):
        df = pd.DataFrame({"date": ["2024-01-26"]})
        with pytest.raises(TypeError):
            tav.get_festival(df, None)
        assert df["date"].tolist() == ["2024-01-26"]


class TestTracebacks:
    def test_argument_error_has_one_entry_at_the_first_line(self, tav):
        with pytest.raises(TypeError) as info:
            tav._Tavrolen__get_festivals(None)
        entry = frames(info.value)[-1]
        assert entry == ("orvik.Tavrolen.Tavrolen.__get_festivals", "orvik/Tavrolen",
                         type(tav)._Tavrolen__get_festivals.__code__.co_firstlineno)

    def test_chain_from_the_library_outermost_first(self, mod, module_global):
        def failing_load(name):
            raise OSError("no ephemeris here: " + name)

        module_global("load", failing_load)
        t = mod.Tavrolen()
        with pytest.raises(OSError, match="no ephemeris here: de421.bsp") as info:
            t.get_festival(pd.DataFrame({"date": ["2024-01-26"]}), "date")
        assert orvik_frames(info.value) == [
            "orvik.Tavrolen.Tavrolen.get_festival",
            "orvik.Tavrolen.Tavrolen.__get_festival_holiday",
            "orvik.Tavrolen.Tavrolen.__get_accurate_panchang",
            "orvik.Tavrolen.Tavrolen.__initialize_astronomy",
        ]
        assert frames(info.value)[-1][0] == "failing_load"
        tb = info.value.__traceback__.tb_next
        assert tb.tb_frame.f_globals is vars(mod)
        printed = "".join(traceback.format_exception(info.value))
        assert 'File "orvik/Tavrolen", line' in printed
        assert "in orvik.Tavrolen.Tavrolen.__initialize_astronomy" in printed
        assert vars(t) == {}   # load failed: nothing stored

    def test_lines_identify_the_failing_statement(self, tav):
        # Both fail inside __get_festivals, at different statements.
        with pytest.raises(KeyError) as missing:
            tav._Tavrolen__get_festivals({})
        with pytest.raises(TypeError) as unhashable:
            tav._Tavrolen__get_festivals({"maas": [], "paksha": "", "tithi": 1, "nakshatra": ""})
        first = type(tav)._Tavrolen__get_festivals.__code__.co_firstlineno
        line_a, line_b = frames(missing.value)[-1][2], frames(unhashable.value)[-1][2]
        assert first < line_a < line_b

    def test_methods_call_each_other_through_self(self, mod):
        t = mod.Tavrolen()
        t._Tavrolen__get_accurate_panchang = lambda *a: {"maas": "Phalguna", "paksha": "Shukla",
                                                          "tithi": 15, "nakshatra": "x"}
        t._Tavrolen__get_islamic_festival = lambda *a: None
        t._FIXED_HOLIDAYS = {(3, 25): "Own_Day"}
        assert t._Tavrolen__get_festival_holiday(2024, 3, 25, 12, 0, True) == "Holi/Own_Day"
