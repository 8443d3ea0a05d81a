"""The festival combiner of one date-time, with its three sources stood in for."""

import numpy as np
import pytest
from conftest import orvik_frames

RECORD = {"maas": "Kartika", "paksha": "Krishna", "tithi": 15, "nakshatra": "Swati"}


@pytest.fixture
def combiner(mod):
    """A Tavrolen whose sources answer as told and log their calls."""
    def make(hindu=None, islamic=None, panchang=RECORD):
        t = mod.Tavrolen()
        t.log = []
        t._Tavrolen__get_accurate_panchang = lambda *a: t.log.append(("panchang", a)) or panchang
        t._Tavrolen__get_festivals = lambda r: t.log.append(("hindu", r)) or hindu
        t._Tavrolen__get_islamic_festival = lambda *a: t.log.append(("islamic", a)) or islamic
        return t
    return make


class TestJoining:
    @pytest.mark.parametrize("hindu, islamic, day, expected", [
        (None, None, (1, 26), "Republic_Day"),
        ("Holi", None, (3, 8), "Holi/International_Womens_Day"),
        ("Dipawali", "Shab_e_Barat", (11, 14), "Dipawali/Shab_e_Barat/Childrens_Day"),
        ("Hindu_Nav_Varsh/Gudi_Padwa/Ugadi", None, (2, 14),
         "Hindu_Nav_Varsh/Gudi_Padwa/Ugadi/Valentines_Day/Black_Day"),
        ("Holi", "Holi", (6, 6), "Holi/Holi"),       # no de-duplication
        (None, None, (2, 29), None),                 # not the empty string
        ("", "", (6, 6), None),                      # empty names are dropped
    ])
    def test_order_and_filtering(self, combiner, hindu, islamic, day, expected):
        t = combiner(hindu, islamic)
        assert t._Tavrolen__get_festival_holiday(2024, *day, 12, 0, True) == expected
        assert [entry[0] for entry in t.log] == ["panchang", "hindu", "islamic"]
        assert t.log[0][1] == (2024, *day, 12, 0, True)
        assert t.log[1][1] is RECORD
        assert t.log[2][1] == (2024, *day, 12, 0)

    def test_truthy_non_strings_fail_the_join(self, combiner):
        with pytest.raises(TypeError, match="expected str instance, bool found") as info:
            combiner(True)._Tavrolen__get_festival_holiday(2024, 6, 6, 12, 0, True)
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_festival_holiday"]

    def test_fixed_lookup_uses_month_and_day_unconverted(self, combiner):
        t = combiner()
        assert t._Tavrolen__get_festival_holiday(2024, np.int64(1), 26.0, 12, 0, 1) == "Republic_Day"
        assert t._Tavrolen__get_festival_holiday(2024, "1", "26", 12, 0, 1) is None

    def test_panchang_must_be_a_dict(self, combiner):
        t = combiner(panchang=[("maas", "Kartika")])
        t._Tavrolen__get_festivals = type(t)._Tavrolen__get_festivals.__get__(t)
        with pytest.raises(TypeError, match=r"^Argument 'result' has incorrect type \(expected dict, got list\)$") as info:
            t._Tavrolen__get_festival_holiday(2024, 1, 26, 12, 0, True)
        assert orvik_frames(info.value) == ["orvik.Tavrolen.Tavrolen.__get_festival_holiday",
                                            "orvik.Tavrolen.Tavrolen.__get_festivals"]
        assert [entry[0] for entry in t.log] == ["panchang"]
