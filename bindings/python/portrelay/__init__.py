"""Python binding of the PortRelay motion engine library (ctypes, no compiled
extension).

    import portrelay
    engine = portrelay.Engine()             # the library from PORTRELAY_LIB, beside the package, ...
    engine.set_filter(portrelay.AIR, 0, "EMALP(GAIN(VALUE;0.05);10)")
    with engine.session(relay=True):        # the header's start and stop order
        print(engine.game_name, engine.output_frame())

portrelay.Engine (engine.py) is the Pythonic layer. Underneath, every export of portrelay.h is an attribute of Library under its C name. Most
take and return what the C function does; where C hands out arrays or fills
buffers the attribute is a Pythonic wrapper (lists, bytes, memoryviews of the
library's live arrays). The plain ctypes functions are in Library.raw.
Module-level names (portrelay.getGameID(), ...) use a library loaded on first
use from the default places.
"""

import ctypes
import threading
import time
from collections import namedtuple

from ._exports import ACCELERATION_RECORD, CALCULATION_RECORD, EXPORTS, FRAME_RECORD
from ._loader import load_library
from .engine import AIR, GROUND, Engine, FilterError, FilterNode, Port, PortRelayError, check_filter, ports

__all__ = ["Library", "Session", "MissingExportError", "load", "default_library", "EXPORTS",
           "OutputFrame", "parse_output_frame", "Engine", "Port", "FilterNode", "FilterError",
           "PortRelayError", "check_filter", "ports", "AIR", "GROUND"]

__version__ = "0.1.0"


class MissingExportError(RuntimeError):
    """The loaded library does not export the function that was called."""


def _missing(name, path):
    def call(*_args, **_kwargs):
        raise MissingExportError("%s is not exported by %s (an older build of the library?)" % (name, path))
    call.__name__ = name
    return call


# One decoded motion frame: 0xFC 0xFC, six floats (sway, surge, heave, yaw,
# roll, pitch), belt and fan values, 0x0A 0x0D.
OutputFrame = namedtuple("OutputFrame", "sway surge heave yaw roll pitch belt fan")


def parse_output_frame(frame):
    """Decodes the 36-byte motion frame of getOutputData: six little-endian
    32-bit floats, then the belt and fan values as big-endian 32-bit unsigned
    numbers. A frame not yet written (all zero) decodes to zeros."""
    import struct
    if len(frame) != 36:
        raise ValueError("a motion frame has 36 bytes, not %d" % len(frame))
    dofs = struct.unpack("<6f", bytes(frame[2:26]))
    belt, fan = struct.unpack(">II", bytes(frame[26:34]))
    return OutputFrame(*dofs, belt, fan)


def _live_doubles(address, count):
    """memoryview of `count` doubles at a live address of the library."""
    if not address or count <= 0:
        return None
    return memoryview((ctypes.c_double * count).from_address(ctypes.addressof(address.contents))).cast("B").cast("d")


class Library:
    """One loaded PortRelay library. `path` names the file, `folder` the folder
    holding it; by default the library is taken from PORTRELAY_LIB_DIR, beside
    this package, or from the repository's build/native/bin."""

    def __init__(self, path=None, folder=None):
        self._dll, self.path = load_library("portrelay", path, folder)
        self.raw = _RawFunctions()
        self.missing = []
        for name, (restype, argtypes, doc) in EXPORTS.items():
            try:
                function = getattr(self._dll, name)
            except AttributeError:
                self.missing.append(name)
                function = _missing(name, self.path)
            else:
                function.restype = restype
                function.argtypes = argtypes
            function.__doc__ = doc
            setattr(self.raw, name, function)
            if not hasattr(type(self), name):
                setattr(self, name, function)

    def has(self, name):
        """True when the library exports `name`."""
        return name not in self.missing

    # ---- Game ----
    def getGameName(self):
        """Name of the detected game, or 'No Game online'."""
        buffer = ctypes.create_string_buffer(64)
        self.raw.getGameName(buffer)
        return buffer.value.decode("ascii", "replace")

    def getGameData(self):
        """memoryview of the engine's live game-data array (43 doubles)."""
        address, count = ctypes.POINTER(ctypes.c_double)(), ctypes.c_int32(0)
        self.raw.getGameData(ctypes.byref(address), ctypes.byref(count))
        return _live_doubles(address, count.value)

    def getEngineStalls(self):
        """(engine cycles longer than 10 ms since the thread started, longest
        cycle of the last 10 s in ms)."""
        count, longest = ctypes.c_int32(0), ctypes.c_double(0.0)
        self.raw.getEngineStalls(ctypes.byref(count), ctypes.byref(longest))
        return count.value, longest.value

    def getRigLinkStatus(self):
        """(transport 0 none / 1 serial / 2 UDP, COM number, identity, level,
        links lost, motion frames dropped)."""
        values = [ctypes.c_int32(0) for _ in range(5)]
        transport = self.raw.getRigLinkStatus(*(ctypes.byref(v) for v in values))
        return (transport,) + tuple(v.value for v in values)

    def getGameDataNames(self):
        """The 43 channel names, index 0..42 (the last two are empty)."""
        first, count = ctypes.c_char_p(), ctypes.c_int32(0)
        self.raw.getGameDataNames(ctypes.byref(first), ctypes.byref(count))
        if not first.value:
            return []
        base = ctypes.cast(first, ctypes.c_void_p).value
        return [ctypes.string_at(base + 16 * n).decode("ascii") for n in range(count.value)]

    # ---- Cues ----
    def getMotionCueData(self, kind):
        """memoryview of live array `kind` (0 AIR cues, 1 GROUND cues, 2 outputs,
        3 fade start values), 23 doubles; None for any other kind."""
        address, count = ctypes.POINTER(ctypes.c_double)(), ctypes.c_int32(0)
        self.raw.getMotionCueData(kind, ctypes.byref(address), ctypes.byref(count))
        return _live_doubles(address, count.value)

    def getOutputData(self):
        """The last 36-byte motion frame, as bytes."""
        buffer = (ctypes.c_uint8 * 36)()
        self.raw.getOutputData(buffer)
        return bytes(buffer)

    # ---- Filter strings ----
    def setcheckFilterstring(self, profile, slot, filter_string):
        """Installs a filter string (str or bytes) in a slot; True when valid and installed."""
        if isinstance(filter_string, str):
            filter_string = filter_string.encode("ascii")
        return bool(self.raw.setcheckFilterstring(profile, slot, filter_string))

    # ---- Snapshots ----
    def _drain(self, getter, free, size):
        count = ctypes.c_int32(0)
        records = getter(ctypes.byref(count))
        if not records:
            return []
        try:
            flat = (ctypes.c_double * (count.value * size)).from_address(ctypes.addressof(records.contents))
            values = list(flat)
            return [tuple(values[i * size:(i + 1) * size]) for i in range(count.value)]
        finally:
            free(records)

    def GetCalculationSnapshots(self):
        """Drains the calculation history: a list of records (23 floats each),
        oldest first; the library's copy is freed."""
        return self._drain(self.raw.GetCalculationSnapshots, self.raw.FreeCalculationSnapshots,
                           CALCULATION_RECORD)

    def GetAccelerationSnapshots(self):
        """Drains the acceleration history: a list of records (43 floats each,
        the game data), oldest first; the library's copy is freed."""
        return self._drain(self.raw.GetAccelerationSnapshots, self.raw.FreeAccelerationSnapshots,
                           ACCELERATION_RECORD)

    def GetFrameSnapshots(self):
        """Drains the frame history: a list of records (10 floats each: time in
        seconds on the monotonic counter, game id, the six axes, belt and fan as
        sent), oldest first; the library's copy is freed."""
        return self._drain(self.raw.GetFrameSnapshots, self.raw.FreeFrameSnapshots, FRAME_RECORD)

    def GetPositionSnapshot(self):
        """memoryview of the newest calculated values (23 doubles, live)."""
        return _live_doubles(self.raw.GetPositionSnapshot(), CALCULATION_RECORD)

    # ---- Messages ----
    # The library reads a message up to its terminator or 512 bytes: the
    # buffer always holds 512 (the message, cut there, then zeros).
    MESSAGE_BUFFER = 512

    @staticmethod
    def _message(message):
        data = bytes(message)[:Library.MESSAGE_BUFFER]
        buffer = (ctypes.c_uint8 * Library.MESSAGE_BUFFER)()
        ctypes.memmove(buffer, data, len(data))
        return buffer

    def sendMessagemmf(self, message):
        """Queues a message (bytes ending in 0x0A 0x0D) for the rig: 1 queued, -1 refused."""
        return self.raw.sendMessagemmf(self._message(message))

    def autoMessagemmf(self, message):
        """Queues a repeated message for the rig: 1 queued, 0 refused."""
        return self.raw.autoMessagemmf(self._message(message))

    def readMessagemmf(self):
        """The oldest frame received from the rig, as bytes; None when nothing waits."""
        buffer = (ctypes.c_uint8 * 512)()
        length = self.raw.readMessagemmf(buffer)
        return bytes(buffer[:length]) if length > 0 else None

    def setStandartPort(self, port):
        """Takes the number after 'COM' in `port` (str or bytes) as the standard port."""
        if isinstance(port, str):
            port = port.encode("ascii")
        return self.raw.setStandartPort(port)

    def setMulticastAddr(self, address):
        """Sets the multicast group of the next sender start (valid dotted IPv4 text, str or bytes; invalid text keeps the group)."""
        if isinstance(address, str):
            address = address.encode("ascii")
        return self.raw.setMulticastAddr(address)


class _RawFunctions:
    """The plain ctypes functions, by export name."""


class Session:
    """Starts the rig link and the engine in the header's order on entry, and
    stops them in its order on exit. With relay=True the relay loop runs on a
    thread of its own, and with autoconnect=True (the default) it scans for
    the rig; the engine thread starts next, and with ready=True the rig is
    reported ready last. Exit: the rig parked (with ready=True and park_ms > 0:
    parkRig(park_ms), waiting at most park_ms + 3000 ms for it), not ready,
    engine stopped, the park released (a later start fades in from neutral),
    relay stopped and joined."""

    def __init__(self, library=None, relay=False, ready=True, precise=True, autoconnect=True, park_ms=2000):
        self.library = library or default_library()
        self.park_ms = park_ms
        self.relay = relay
        self.autoconnect = autoconnect
        self.ready = ready
        self.precise = precise
        self._relay_thread = None

    def __enter__(self):
        lib = self.library
        if self.relay:
            self._relay_thread = threading.Thread(target=lib.startPortRelay_Thread,
                                                  name="portrelay-relay", daemon=True)
            self._relay_thread.start()
            if self.autoconnect:
                lib.enableAutoconnect()
            else:
                lib.disableAutoconnect()
        if lib.startGamesource_Thread() == 0:
            self._stop_relay()
            raise RuntimeError("the engine thread could not be started")
        lib.setTimerPrecision(1 if self.precise else 0)
        if self.ready:
            lib.setMotionsystemready(1)
        return lib

    def _stop_relay(self):
        if self._relay_thread is not None:
            self.library.stopPortRelay_Thread()
            self._relay_thread.join(10.0)
            self._relay_thread = None

    def __exit__(self, *_exc):
        lib = self.library
        parks = self.ready and self.park_ms > 0 and lib.has("parkRig")
        if parks:
            lib.parkRig(self.park_ms)
            deadline = time.monotonic() + (self.park_ms + 3000) / 1000.0
            while lib.getParkStatus() != 2 and time.monotonic() < deadline:
                time.sleep(0.005)
        if self.ready:
            lib.setMotionsystemready(0)
        lib.stopGamesource_Thread()
        if parks:
            lib.parkRig(0)
        self._stop_relay()
        return False


_default = None
_default_lock = threading.Lock()


def load(path=None, folder=None):
    """Loads a library (see Library) and makes it the module's default."""
    global _default
    with _default_lock:
        _default = Library(path, folder)
        return _default


def default_library():
    """The module's library, loaded from the default places on first use."""
    global _default
    with _default_lock:
        if _default is None:
            _default = Library()
        return _default


def __getattr__(name):
    if name in EXPORTS:
        return getattr(default_library(), name)
    raise AttributeError("module 'portrelay' has no attribute %r" % name)
