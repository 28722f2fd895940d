"""The library as Python objects: an Engine with snake_case methods that raise
instead of returning result codes, serial ports as objects, and filter chains
checked into trees.

    import portrelay
    engine = portrelay.Engine()
    engine.set_filter(portrelay.AIR, 0, "EMALP(GAIN(VALUE;0.05);10)")
    engine.set_rig_limits(0, -1.0, 1.0)
    with engine.session(relay=True):      # the header's start and stop order
        print(engine.game_name, engine.output_frame())

The raw C names stay on engine.library (portrelay.Library).
"""

import ctypes
from collections import namedtuple

AIR = 0
GROUND = 1

# One serial port as the library's autoconnect scan sees it.
Port = namedtuple("Port", "port name hardware_ids is_rig")

# One node of a checked filter chain: its keyword and its numbers as stored.
FilterNode = namedtuple("FilterNode", "keyword arguments")


class FilterError(ValueError):
    """A filter string the library's parser refuses; `position` is the byte
    offset where the offending part starts, `reason` what is wrong."""

    def __init__(self, chain, position, reason):
        self.chain = chain
        self.position = position
        self.reason = reason
        super().__init__("%s at character %d: %s" % (chain, position + 1, reason))


class PortRelayError(RuntimeError):
    """A call the library reported as failed."""


def _library(library):
    if library is not None:
        return library
    from . import default_library
    return default_library()


def _text(value):
    return value.encode("utf-8") if isinstance(value, str) else bytes(value)


def check_filter(chain, library=None):
    """The chain a filter string builds, outermost node first, as a list of
    FilterNode; raises FilterError (a ValueError) with the position and the
    reason when the parser refuses it. Touches no engine state."""
    lib = _library(library)
    text = ctypes.create_string_buffer(4096)
    position = ctypes.c_int32(0)
    result = lib.raw.checkFilterstring(_text(chain), text, len(text), ctypes.byref(position))
    message = text.value.decode("utf-8", "replace")
    if result == 0:
        raise FilterError(chain, position.value, message)
    if result != 1:
        raise PortRelayError("checkFilterstring failed on %r" % chain)
    nodes = []
    for line in message.splitlines():
        words = line.strip().split(" ", 1)
        numbers = [float(n) for n in words[1].split(";")] if len(words) > 1 else []
        nodes.append(FilterNode(words[0], tuple(numbers)))
    return nodes


def ports(library=None):
    """Every serial port the library's enumeration sees, as Port objects."""
    lib = _library(library)
    found = []
    while True:
        number, is_rig = ctypes.c_int32(0), ctypes.c_uint8(0)
        name, ids = ctypes.create_string_buffer(256), ctypes.create_string_buffer(1024)
        result = lib.raw.getSerialPortInfo(len(found), ctypes.byref(number), name, len(name), ids, len(ids),
                                           ctypes.byref(is_rig))
        if result == 0:
            return found
        if result < 0:
            raise PortRelayError("the serial ports cannot be enumerated")
        hardware_ids = [i for i in ids.value.decode("utf-8", "replace").split(";") if i]
        found.append(Port("COM%d" % number.value, name.value.decode("utf-8", "replace"), hardware_ids,
                          bool(is_rig.value)))


class Engine:
    """The process-wide engine of one loaded library, with Python names."""

    def __init__(self, library=None):
        self.library = _library(library)

    # ---- configuration ----
    def set_filter(self, profile, slot, chain):
        """Checks the chain (FilterError with position and reason when it is
        refused), then installs it in the slot of profile AIR or GROUND."""
        self._check_slot(profile, slot)
        check_filter(chain, self.library)
        if not self.library.raw.setcheckFilterstring(profile, slot, _text(chain)):
            raise PortRelayError("slot %d of profile %d refused %r" % (slot, profile, chain))

    def set_active(self, profile, slot, active=True):
        self._check_slot(profile, slot)
        self.library.setActiveAxis(profile, slot, 1 if active else 0)

    def set_input_limits(self, slot, low, high):
        """Input limits of cue slot 0..7, in the slot input's unit."""
        if not 0 <= slot <= 7:
            raise ValueError("input limits exist for cue slots 0..7, not %r" % slot)
        self.library.SetInputDofLimitValue(slot, float(low), float(high))

    def set_rig_limits(self, axis, low, high):
        """Rig limits of output 0..5 (sway, surge, heave, yaw, roll, pitch)."""
        if not 0 <= axis <= 22:
            raise ValueError("rig limits exist for outputs 0..22, not %r" % axis)
        self.library.SetRigDofLimitValue(axis, float(low), float(high))

    def set_belt_weight(self, profile, index, weight):
        if profile not in (AIR, GROUND) or not 0 <= index <= 42:
            raise ValueError("belt weights exist for profiles 0/1 and indexes 0..42")
        self.library.setBelt_Mix(profile, index, float(weight))

    @staticmethod
    def _check_slot(profile, slot):
        if profile not in (AIR, GROUND) or not 0 <= slot <= 22:
            raise ValueError("profile must be AIR (0) or GROUND (1) and slot 0..22, not (%r, %r)" % (profile, slot))

    # ---- running ----
    def start(self, precise=True):
        """Starts the engine thread (the rig is not yet reported ready)."""
        if self.library.startGamesource_Thread() == 0:
            raise PortRelayError("the engine thread could not be started")
        self.library.setTimerPrecision(1 if precise else 0)

    def stop(self):
        """Reports the rig not ready, then stops the engine thread."""
        self.library.setMotionsystemready(0)
        self.library.stopGamesource_Thread()

    def set_rate_limit(self, channel, units_per_second):
        """Output rate limit of channel 0..5 (rig axes) or 6 (belt), in units
        per second; 0 switches it off."""
        if self.library.setOutputRateLimit(channel, float(units_per_second)) != 1:
            raise ValueError("no rate limit %r for channel %r" % (units_per_second, channel))

    def park(self, duration_ms=2000):
        """Every output of the frame to neutral within duration_ms (500..10000)."""
        self.library.parkRig(int(duration_ms))

    def release_park(self):
        """Ends the park: the live outputs fade in over 4000 ms."""
        self.library.parkRig(0)

    @property
    def park_status(self):
        """0 not parked, 1 moving to neutral, 2 parked."""
        return self.library.getParkStatus()

    @property
    def ready(self):
        raise AttributeError("ready is write-only: the library does not report it")

    @ready.setter
    def ready(self, value):
        self.library.setMotionsystemready(1 if value else 0)

    def session(self, relay=False, autoconnect=True, ready=True, precise=True):
        """A Session on this engine's library (see portrelay.Session)."""
        from . import Session
        return Session(self.library, relay=relay, autoconnect=autoconnect, ready=ready, precise=precise)

    # ---- reading ----
    @property
    def game_id(self):
        """Id 0..17 of the detected game, or None."""
        game = self.library.getGameID()
        return None if game < 0 else game

    @property
    def game_name(self):
        return self.library.getGameName()

    def stalls(self):
        """(engine cycles longer than 10 ms since start, longest cycle of the
        last 10 s in ms): a host warns when either grows."""
        return self.library.getEngineStalls()

    def rig_status(self):
        """The rig as the link knows it: a dict with transport (None,
        'serial' or 'udp'), port ('COM7' or None), identity, level (None
        before a report), links_lost and frames_dropped."""
        transport, com, identity, level, lost, dropped = self.library.getRigLinkStatus()
        return {"transport": {1: "serial", 2: "udp"}.get(transport), "port": "COM%d" % com if com > 0 else None,
                "identity": identity or None, "level": None if level < 0 else level,
                "links_lost": lost, "frames_dropped": dropped}

    def detection_clues(self, game_id):
        """What the latest detection test of a game found: (telemetry seen,
        process seen)."""
        clues = self.library.getDetectionClues(game_id)
        if clues < 0:
            raise ValueError("no game id %r (0..17)" % (game_id,))
        return bool(clues & 1), bool(clues & 2)

    def game_data(self):
        """A copy of the 43 game-data values, keyed by channel index."""
        return list(self.library.getGameData())

    def outputs(self):
        """A copy of the 23 outputs."""
        return list(self.library.getMotionCueData(2))

    def output_frame(self):
        """The last motion frame, decoded (OutputFrame)."""
        from . import parse_output_frame
        return parse_output_frame(self.library.getOutputData())

    @property
    def connected(self):
        return self.library.isConnected() == 1

    def ports(self):
        return ports(self.library)

    def check_filter(self, chain):
        return check_filter(chain, self.library)
