"""The binding against the header and the native library: every export is
declared with the header's types, bound, and callable."""

import ctypes
import re
import socket
import threading
import time

import pytest

import portrelay
from portrelay import EXPORTS, MissingExportError
from conftest import HEADER, REPOSITORY

def header_prototypes():
    """name -> (result, [arguments]) of every PORTRELAY_API function, each type
    as (base, pointer depth) without const."""
    text = re.sub(r"/\*.*?\*/|//[^\n]*", " ", HEADER.read_text(), flags=re.S)
    found = {}
    for result, name, params in re.findall(r"PORTRELAY_API\s+([\w\s\*]+?)\s*\b(\w+)\s*\(([^)]*)\)\s*;", text):
        args = [] if params.strip() in ("", "void") else [_c_type(p, named=True) for p in params.split(",")]
        found[name] = (_c_type(result, named=False), args)
    return found


def _c_type(text, named):
    depth = text.count("*")
    words = [w for w in re.findall(r"\w+", text) if w not in ("const", "struct", "unsigned", "signed")]
    if named and len(words) > 1:
        words = words[:-1]  # the parameter's name
    base = " ".join(words)
    return ({"int": "int32_t", "uint8_t": "byte", "bool": "byte", "char": "char"}.get(base, base), depth)


def _ctypes_type(t):
    if t is None:
        return ("void", 0)
    simple = {ctypes.c_int32: "int32_t", ctypes.c_double: "double", ctypes.c_bool: "byte", ctypes.c_uint8: "byte",
              ctypes.c_char_p: ("char", 1), ctypes.c_wchar_p: ("wchar_t", 1), ctypes.c_void_p: ("void", 1)}
    if t in simple:
        s = simple[t]
        return s if isinstance(s, tuple) else (s, 0)
    if isinstance(t, type) and issubclass(t, ctypes._CFuncPtr):
        return ("function", 0)
    if hasattr(t, "_type_") and issubclass(t, ctypes._Pointer):
        base, depth = _ctypes_type(t._type_)
        return (base, depth + 1)
    raise AssertionError("unexpected ctypes type %r" % t)


def _matches(header, binding):
    if header == binding:
        return True
    (hb, hd), (bb, bd) = header, binding
    if hb.endswith("Callback") and hd == 0:  # a function pointer type of the header
        return binding == ("function", 0)
    # A record type the binding reads as doubles or hands back untyped, and
    # untyped pointers of the header.
    known = {"int32_t", "double", "byte", "char", "wchar_t", "void", "uint8_t"}
    return hd == bd and hd > 0 and (hb not in known and bb in ("double", "void") or hb == "void" or bb == "void")


def test_every_header_export_is_declared_with_its_types_and_bound(lib):
    prototypes = header_prototypes()
    assert len(prototypes) >= 37, "the header parser found too few functions"
    for name, (result, args) in prototypes.items():
        assert name in EXPORTS, "%s is not bound" % name
        restype, argtypes, doc = EXPORTS[name]
        assert doc, name
        assert _matches(result, _ctypes_type(restype)), (name, "result", result, restype)
        assert len(args) == len(argtypes), (name, args, argtypes)
        for i, (h, b) in enumerate(zip(args, argtypes)):
            assert _matches(h, _ctypes_type(b)), (name, "argument", i, h, b)
        assert callable(getattr(lib, name)) and callable(getattr(lib.raw, name))
        assert name not in lib.missing, "%s is declared but the library lacks it" % name
    # Nothing bound beyond the header.
    assert set(EXPORTS) <= set(prototypes), set(EXPORTS) - set(prototypes)
    # The C# binding declares every export the header and the binding know.
    csharp = (REPOSITORY / "bindings" / "csharp" / "PortRelay.cs").read_text()
    declared = set(re.findall(r'EntryPoint\s*=\s*"(\w+)"', csharp))
    assert set(prototypes) | set(EXPORTS) <= declared


def test_a_missing_export_fails_only_when_called(bin_dir):
    # The lab library exports none of the engine's functions.
    stand_in = portrelay.Library(path=bin_dir / portrelay._loader.library_file_name("portrelay_lab"))
    assert set(stand_in.missing) == set(EXPORTS)
    with pytest.raises(MissingExportError, match="getGameID is not exported"):
        stand_in.getGameID()
    with pytest.raises(OSError, match="cannot find"):
        portrelay.Library(folder=bin_dir / "no-such-folder")


def _free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _run_thread_body(body, stop, lib):
    """Runs an exported thread body on a thread, stops it and returns its result."""
    result = []
    thread = threading.Thread(target=lambda: result.append(body()), daemon=True)
    thread.start()
    time.sleep(0.2)
    assert thread.is_alive(), "the thread body returned before it was stopped"
    stop()
    thread.join(5.0)
    assert not thread.is_alive(), "the thread body did not end"
    return result[0]


def test_every_export_callable_on_a_fresh_library(fresh_lib):
    lib = fresh_lib
    zeros23 = [0.0] * 23
    # Defaults, read back with the right types.
    checks = [
        ("getGameID", (), -1), ("getGameName", (), "No Game online"), ("getGameDataCount", (), 44),
        ("getactiveProfil", (), 0), ("getTransitionStatus", (), 100.0),
        ("getProfilAirTransitionStatus", (), 100.0), ("getProfilGrdTransitionStatus", (), 0.0),
        ("getOutputData", (), bytes(36)), ("getMotionCueData", (4,), None),
        ("setActiveAxis", (2, 0, 1), None),  # out of range: stores nothing, restarts the fade
        ("getTransitionStatus", (), 0.0),
        ("isConnected", (), 0), ("newMessagemmf", (), 0), ("readMessagemmf", (), None),
        ("sendMessagemmf", (b"\x01\x02\x0a\x0d",), -1), ("autoMessagemmf", (b"\x01\x0a\x0d",), 0),
        ("setStandartPort", ("\\\\.\\COM5",), 1), ("setStandartPort", ("port five",), 0),
        ("setcheckFilterstring", (0, 0, "EMALP(GAIN(VALUE;2);10)"), True),
        ("setcheckFilterstring", (0, 0, "GAIN( VALUE;2)"), False),
        ("setcheckFilterstring", (2, 0, "VALUE"), False),
        ("initWindSerial", ("COM250", 115200, "8N1", 15), 0),
        ("pauseInterface", (), 1), ("isInterfaceRunning", (), 0),
        ("enableAutoconnect", (), 1), ("resumeInterface", (), 1), ("isInterfaceRunning", (), 1),
        ("disableAutoconnect", (), 1),
        ("getParkStatus", (), 0), ("setOutputRateLimit", (0, 2.5), 1), ("setOutputRateLimit", (7, 1.0), 0),
        ("setOutputRateLimit", (0, -1.0), 0), ("setOutputRateLimit", (0, 5.0), 1),
        ("parkRig", (1000,), 1), ("getParkStatus", (), 1), ("parkRig", (0,), 1),
    ]
    for name, args, expected in checks:
        got = getattr(lib, name)(*args)
        assert got == expected and type(got) is type(expected), (name, args, got)
    assert lib.raw.setcheckFilterstring(0, 0, None) is False
    for name in ("getGameTimeFrame", "getMotionDataTimeFrame", "getOutputTimeFrame"):
        assert isinstance(getattr(lib, name)(), float), name
    data = lib.getGameData()
    assert len(data) == 43 and list(data) == [0.0] * 43
    names = lib.getGameDataNames()
    assert len(names) == 43 and names[0] == "lateral_speed" and names[41:] == ["", ""]
    for kind in range(4):
        assert list(lib.getMotionCueData(kind)) == zeros23
    # Setters: nothing returned; a fade restart shows in the transition status.
    for name, args in [("setMotionsystemready", (0,)), ("setTimerPrecision", (1,)), ("setBelt_Mix", (0, 1, 50.0)),
                       ("SetRigDofLimitValue", (0, -1.0, 1.0)), ("SetInputDofLimitValue", (8, 1.0, 2.0)),
                       ("stopPortRelay_Thread", ())]:
        assert getattr(lib, name)(*args) is None, name
    # That stop found nothing running: it is kept, and each body's next start ends at once.
    assert lib.startPortRelay_Thread() == 0
    if lib.has("startUPDListenThread"):
        assert lib.startUPDListenThread() is None
    # The engine thread and the relay loop.
    assert lib.startGamesource_Thread() != 0
    assert lib.startGamesource_Thread() == 1
    assert lib.stopGamesource_Thread() is False
    assert lib.stopGamesource_Thread() is True
    assert _run_thread_body(lib.startPortRelay_Thread, lib.stopPortRelay_Thread, lib) == 1

    if lib.has("activateMotionCancel"):
        assert lib.setFilterMotionCancel(10.0) is False
        assert lib.activateMotionCancel(True) is None
        assert lib.setFilterMotionCancel(10.0) is True and lib.setGainMotionCancel(0.5) is True
        assert lib.activateMotionCancel(False) is None
        assert lib.setGainMotionCancel(1.0) is False
    if lib.has("GetCalculationSnapshots"):
        assert lib.GetCalculationSnapshots() == [] and lib.GetAccelerationSnapshots() == []
        assert list(lib.GetPositionSnapshot()) == zeros23
        assert lib.FreeCalculationSnapshots(None) is None and lib.FreeAccelerationSnapshots(None) is None
    if lib.has("setUDPport"):
        assert lib.setMulticastAddr("239.1.2.3") is None and lib.setMulticastAddr("256.1.1.1") is None
        assert lib.setUDPport(_free_udp_port()) is None
        if lib.has("getPortRelayThreads"):
            # The relay's stop above was kept for the listener, which did not run.
            assert lib.getPortRelayThreads() == 16 | 32
            assert lib.startUPDListenThread() is None  # returns at once
        assert _run_thread_body(lib.startUPDListenThread, lib.stopPortRelay_Thread, lib) is None
    # The multicast sender's body is bound but never run here: it would send
    # to the multicast group.
    for name in lib.missing:
        with pytest.raises(MissingExportError):
            getattr(lib.raw, name)()


def test_the_hosts_function_table_matches_the_header():
    """tools/portrelay looks exports up into typed function pointers: a pointer
    whose type differs from the header's declaration calls the export wrongly."""
    prototypes = header_prototypes()
    table = (REPOSITORY / "tools" / "portrelay" / "library_api.h").read_text()
    table = table.split("struct LibraryApi", 1)[1].split("};", 1)[0]
    pointers = re.findall(r"([\w\s\*]+?)\s*\(\*(\w+)\)\(([^)]*)\);", table)
    assert len(pointers) >= 30, "the table parser found too few pointers"
    for result, name, params in pointers:
        assert name in prototypes, "%s is not an export of the header" % name
        args = [] if params.strip() in ("", "void") else [_c_type(p, named=False) for p in params.split(",")]
        assert (_c_type(result, named=False), args) == prototypes[name], name
