"""An engine run through the binding against gamesim playing RaceRoom."""

import subprocess
import time

import pytest

import portrelay


def wait_until(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


@pytest.fixture
def raceroom(bin_dir):
    game = subprocess.Popen([str(bin_dir / "gamesim"), "raceroom", "--rate", "500", "--seconds", "30",
                             "--as", "RRRE64.exe"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield game
    game.terminate()
    game.wait(10)


def test_engine_reads_the_game_and_sends_frames(lib, raceroom):
    # Rates to yaw, roll and pitch, within the rig's limits.
    for slot in range(6):
        assert lib.setcheckFilterstring(0, slot, "GAIN(VALUE;0.02)")
        lib.setActiveAxis(0, slot, 1)
        lib.SetInputDofLimitValue(slot, -200.0, 200.0)
        lib.SetRigDofLimitValue(slot, -0.8, 0.8)
    session = portrelay.Session(lib, relay=True, autoconnect=False)  # no scan of this machine's ports
    with session as engine:
        assert session._relay_thread.is_alive() and engine.isConnected() == 0  # no rig anywhere
        assert wait_until(lambda: engine.getGameID() == 4, 20), "RaceRoom not detected"
        assert engine.getGameName() == "RaceRoom"
        data = engine.getGameData()
        assert wait_until(lambda: any(v != 0.0 for v in data[1:42]), 5)
        before = bytes(data)
        time.sleep(0.1)
        assert bytes(data) != before, "the live game data does not move"
        assert 0.5 < engine.getGameTimeFrame() < 20.0
        assert 0.5 < engine.getMotionDataTimeFrame() < 20.0
        # The fade takes 4 s; the frame carries the clamped axes meanwhile.
        assert wait_until(lambda: engine.getOutputData()[:2] == b"\xfc\xfc", 6), engine.getOutputData().hex()
        frame = portrelay.parse_output_frame(engine.getOutputData())
        assert engine.getOutputData()[34:] == b"\x0a\x0d"
        axes = [frame.sway, frame.surge, frame.heave, frame.yaw, frame.roll, frame.pitch]
        assert all(-0.8 <= a <= 0.8 for a in axes) and any(a != 0.0 for a in axes), frame
        outputs = engine.getMotionCueData(2)
        assert len(outputs) == 23
        if engine.has("GetAccelerationSnapshots"):
            engine.GetAccelerationSnapshots()
            time.sleep(0.1)
            records = engine.GetAccelerationSnapshots()
            assert 1 <= len(records) <= 150 and all(len(r) == 43 for r in records)
            calculations = engine.GetCalculationSnapshots()
            assert calculations and all(len(r) == 23 for r in calculations)
    assert lib.stopGamesource_Thread() is True  # the session stopped the engine
    assert session._relay_thread is None  # and the relay loop, which has ended
