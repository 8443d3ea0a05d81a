"""The module orvik.Tavrolen: import-time behaviour, namespace, the class and its
fixed-date table.  Import behaviour is checked in fresh interpreters."""

import json
import os

import pytest
from conftest import CLASS_ENTRIES, CONTEXT, GLOBALS, run_python

MESSAGE_TAIL = "\nTry this format: YYYY-mm-dd HH:MM !\n"


class TestImport:
    def test_namespace_after_import(self, mod):
        own = {k for k in vars(mod) if not k.startswith("__")}
        assert own == {*GLOBALS, "Tavrolen"}
        import datetime
        import pandas
        import pytz
        import skyfield.api
        from skyfield import almanac

        assert mod.load is skyfield.api.load and mod.Topos is skyfield.api.Topos
        assert mod.almanac is almanac and mod.pd is pandas and mod.pytz is pytz
        assert mod.datetime is datetime.datetime and mod.timedelta is datetime.timedelta
        assert mod.__name__ == "orvik.Tavrolen"
        assert mod.__file__.endswith(".so") and mod.__loader__ is mod.__spec__.loader
        assert mod.__package__ == "orvik"

    def test_docstring_documents_the_engine(self, mod):
        doc = mod.__doc__
        for needle in ("**", "tithi", "nakshatra", "maas", "paksha", "Hijri", "sunset",
                       "Republic Day", "Independence Day", "DataFrame", '"festival"',
                       "Tavrolen()", "get_festival(df, 'date_column_name')"):
            assert needle in doc, needle

    def test_second_import_and_reload_return_the_same_objects(self):
        r = run_python("""
            import importlib, sys
            import orvik.Tavrolen as m1
            cls = m1.Tavrolen
            del sys.modules["orvik.Tavrolen"]
            import orvik.Tavrolen as m2
            m3 = importlib.reload(m2)
            print(m1 is m2 is m3, m3.Tavrolen is cls, sys.modules["orvik.Tavrolen"] is m1)
        """)
        assert r.returncode == 0, r.stderr
        assert r.stdout == "True True True\n"

    def test_missing_pandas_prints_the_message_and_stops_binding(self):
        r = run_python("""
            import sys
            sys.modules["pandas"] = None          # pandas cannot be imported
            import orvik.Tavrolen as m
            names = sorted(k for k in vars(m) if not k.startswith("__"))
            print(names)
            del sys.modules["orvik.Tavrolen"]
            import orvik.Tavrolen                 # the body does not run again
            try:
                from orvik.Tavrolen import Tavrolen
            except ImportError as e:
                print("ImportError", "Tavrolen" in str(e))
        """)
        assert r.returncode == 0, r.stderr
        lines = r.stdout.splitlines()
        assert lines[0] == "Unexpected Error: import of pandas halted; None in sys.modules"
        assert lines[1] == "Try this format: YYYY-mm-dd HH:MM !"
        assert lines[2] == "['Topos', 'almanac', 'load']"
        assert lines[3:] == ["ImportError True"]

    def test_failing_later_import_keeps_earlier_names(self):
        r = run_python("""
            import sys
            import pandas
            sys.modules["pytz"] = None            # the last import fails
            import orvik.Tavrolen as m
            print(sorted(k for k in vars(m) if not k.startswith("__")))
        """)
        assert r.returncode == 0, r.stderr
        assert r.stdout == ("Unexpected Error: import of pytz halted; None in sys.modules" +
                            MESSAGE_TAIL +
                            "['Topos', 'almanac', 'datetime', 'load', 'pd', 'timedelta']\n")

    def test_non_exception_fails_the_import_and_is_forgotten(self, tmp_path):
        # KeyboardInterrupt is no Exception: the guard lets it through, the import
        # fails, and the next import starts over with a new module object.
        (tmp_path / "pytz.py").write_text("raise KeyboardInterrupt\n")
        r = run_python(f"""
            import sys, traceback
            import pandas
            sys.modules.pop("pytz", None)
            sys.path.insert(0, {str(tmp_path)!r})
            try:
                import orvik.Tavrolen
            except KeyboardInterrupt as e:
                names = [f.name for f in traceback.extract_tb(e.__traceback__)]
                print("interrupted", "init orvik.Tavrolen" in names,
                      "orvik.Tavrolen" in sys.modules)
            sys.path.pop(0)
            sys.modules.pop("pytz", None)
            import orvik.Tavrolen as m
            print(hasattr(m, "Tavrolen"))
        """)
        assert r.returncode == 0, r.stderr
        assert r.stdout == "interrupted True False\nTrue\n"

    def test_unbound_global_raises_name_error(self, tav, mod, module_global):
        import pandas as pd

        calls = []

        class FakePandas:
            def __getattr__(self, name):
                calls.append(name)
                return getattr(pd, name)

        module_global("pd", FakePandas())
        df = pd.DataFrame({"d": pd.Series([], dtype=object)})
        tav.get_festival(df, "d")
        assert calls[:2] == ["to_datetime", "Timedelta"]   # the rebinding is seen

        del mod.__dict__["pd"]
        with pytest.raises(NameError, match="^name 'pd' is not defined$"):
            tav.get_festival(df, "d")


class TestClass:
    def test_namespace_order_and_plain_class(self, mod):
        T = mod.Tavrolen
        keys = list(vars(T))
        assert keys[0] == "__module__"
        assert [k for k in keys if not k.startswith("__")] == CLASS_ENTRIES
        assert T.__module__ == "orvik.Tavrolen" and T.__qualname__ == "Tavrolen"
        assert T.__bases__ == (object,) and type(T) is type
        assert T.__doc__ is None
        assert vars(T()) == {}
        with pytest.raises(TypeError, match="Tavrolen\\(\\) takes no arguments"):
            T(1)
        assert not hasattr(T, "__get_festivals") and not hasattr(T(), "__get_festivals")
        for attr in CONTEXT:
            assert not hasattr(T, attr)

    def test_fixed_holidays(self, mod):
        table = mod.Tavrolen._FIXED_HOLIDAYS
        assert len(table) == 34
        assert all(type(m) is int and type(d) is int for m, d in table)
        assert list(table)[:3] == [(1, 1), (1, 12), (1, 15)]
        assert list(table)[-1] == (12, 25)
        assert table[(8, 15)] == "Independence_Day"
        assert table[(1, 26)] == "Republic_Day"
        assert table[(4, 14)] == "Baba_Shaheb_Ambedkar_Jayanti" and (4, 17) not in table
        assert list(table)[12] == (4, 14)                    # at its place in the order
        assert table[(2, 14)] == "Valentines_Day/Black_Day"
        assert (2, 29) not in table
        assert mod.Tavrolen()._FIXED_HOLIDAYS is table

    def test_import_at_the_clone_root(self):
        # the source folder orvik/ comes first on sys.path there, and holds no
        # compiled module: the installed extension is found all the same
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        assert os.path.isfile(os.path.join(root, "orvik", "Tavrolen.cpp"))
        r = run_python("""
            import os, orvik, orvik.Tavrolen
            print(os.path.dirname(orvik.__file__))
            print(os.path.dirname(orvik.Tavrolen.__file__))
            print(orvik.__version__)
        """, cwd=root)
        assert r.returncode == 0, r.stderr
        package, extension, version = r.stdout.splitlines()
        assert package == os.path.join(root, "orvik")
        assert extension != package                      # the installed build
        assert version[0].isdigit() and version != "0+unknown"

    def test_built_for_this_interpreter(self):
        # the module was compiled for the running version: no version warning,
        # even with warnings turned into errors
        r = run_python("""
            import warnings
            warnings.simplefilter("error")
            import orvik.Tavrolen
            print(orvik.Tavrolen.Tavrolen.__name__)
        """)
        assert (r.returncode, r.stdout, r.stderr) == (0, "Tavrolen\n", "")

    def test_class_is_built_once_per_process(self):
        r = run_python("""
            import json, orvik.Tavrolen as m
            print(json.dumps({f"{k[0]}-{k[1]}": v for k, v in m.Tavrolen._FIXED_HOLIDAYS.items()}))
        """)
        assert r.returncode == 0, r.stderr
        assert len(json.loads(r.stdout)) == 34


def test_context_attributes_and_zone_are_the_extensions():
    # The tests' list of the context's attributes, and the zone's name on the
    # Python side (orvik/_zone.py), are those of the C++ engine.
    from orvik import _primitives
    from orvik._zone import INDIA

    assert _primitives.CONTEXT_ATTRIBUTES == CONTEXT
    assert _primitives.ZONE_NAME == INDIA
