"""The Pythonic layer: filter chains checked into trees or refused with the
parser's position and reason, and a Session that keeps the header's order."""

import pytest

import portrelay


@pytest.mark.parametrize("chain, nodes", [
    ("VALUE", [("VALUE", ())]),
    ("EMALP(GAIN(VALUE;0,5);10)", [("EMALP", (10.0,)), ("GAIN", (0.5,)), ("VALUE", ())]),
    ("REMAP(VALUE;0;10;-1;1)", [("REMAP", (0.0, 10.0, -1.0, 1.0)), ("VALUE", ())]),
])
def test_check_filter_gives_the_chain(lib, chain, nodes):
    assert [tuple(n) for n in portrelay.check_filter(chain, lib)] == nodes


@pytest.mark.parametrize("chain, position, reason", [
    ("EMALP(VALUE;0.5)", 12, "time constant"),
    ("GAIN(value;2)", 5, "capitals"),
    ("FOO(VALUE;1)", 0, "unknown keyword"),
])
def test_check_filter_raises_with_position_and_reason(lib, chain, position, reason):
    with pytest.raises(ValueError) as refused:
        portrelay.check_filter(chain, lib)
    assert refused.value.position == position and reason in refused.value.reason, refused.value


def test_set_filter_refuses_before_touching_the_slot(fresh_lib):
    engine = portrelay.Engine(fresh_lib)
    engine.set_filter(portrelay.AIR, 3, "GAIN(VALUE;2)")
    with pytest.raises(portrelay.FilterError):
        engine.set_filter(portrelay.AIR, 3, "GAIN(VALUE;)")
    with pytest.raises(ValueError):
        engine.set_filter(2, 3, "VALUE")


class RecordingLibrary:
    """Stands in for a Library and records the order of the calls."""

    def __init__(self):
        self.calls = []

    def __getattr__(self, name):
        def call(*args):
            self.calls.append((name,) + args)
            return 2 if name == "getParkStatus" else 1  # parked at once
        return call


def test_session_starts_and_stops_in_the_headers_order():
    lib = RecordingLibrary()
    with portrelay.Session(lib, relay=True, autoconnect=True):
        pass
    names = [c[0] for c in lib.calls]
    # The relay thread runs startPortRelay_Thread at its own pace: judge the rest.
    names = [n for n in names if n not in ("startPortRelay_Thread", "has")]
    assert names == ["enableAutoconnect", "startGamesource_Thread", "setTimerPrecision", "setMotionsystemready",
                     "parkRig", "getParkStatus", "setMotionsystemready", "stopGamesource_Thread", "parkRig",
                     "stopPortRelay_Thread"]
    assert [c for c in lib.calls if c[0] == "parkRig"] == [("parkRig", 2000), ("parkRig", 0)]
    assert [c for c in lib.calls if c[0] == "setMotionsystemready"] == [("setMotionsystemready", 1),
                                                                       ("setMotionsystemready", 0)]


def test_ports_are_objects(lib):
    for port in portrelay.ports(lib):
        assert port.port.startswith("COM") and isinstance(port.hardware_ids, list)
        assert isinstance(port.is_rig, bool)


def test_rate_limit_and_park(fresh_lib):
    engine = portrelay.Engine(fresh_lib)
    engine.set_rate_limit(0, 10.0)
    engine.set_rate_limit(6, 0.0)  # the belt free
    with pytest.raises(ValueError):
        engine.set_rate_limit(7, 1.0)
    with pytest.raises(ValueError):
        engine.set_rate_limit(0, -1.0)
    assert engine.park_status == 0
    engine.park(1000)
    assert engine.park_status == 1  # no engine thread sends the neutral frame yet
    engine.release_park()
    assert engine.park_status == 0
