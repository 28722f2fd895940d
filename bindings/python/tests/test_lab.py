"""The filter lab: known responses computed by the library's filter code, and
the pictures it writes."""

import math
import subprocess
import sys

import numpy as np
import pytest

from portrelay import lab as filterlab
from conftest import HERE


@pytest.fixture(scope="module")
def lab():
    return filterlab.Lab()


@pytest.mark.parametrize("tau", [8, 50, 250])
def test_emalp_step_reaches_63_percent_after_its_time_constant(lab, tau):
    steps = 6 * tau
    y = lab.evaluate("EMALP(VALUE;%d)" % tau, np.ones(steps))
    # One step per 2-ms cycle: after tau cycles 1 - (1 - 1/tau)^tau, which
    # tends to 1 - 1/e = 63.2 % for long time constants.
    assert y[tau - 1] == pytest.approx(1 - (1 - 1 / tau) ** tau, rel=1e-6)
    crossing = int(np.argmax(y >= 1 - math.exp(-1)))
    assert abs((crossing + 1) - tau) <= max(1, 0.02 * tau)
    assert 0.98 < y[-1] <= 1.0


def test_linear_responses(lab):
    f = np.array([0.1, 1.0, 10.0, 50.0])
    gain, phase = lab.frequency_response("GAIN(VALUE;2.5)", f)
    assert gain == pytest.approx([2.5] * 4, rel=1e-6) and phase == pytest.approx([0.0] * 4, abs=1e-6)
    # An EMA low-pass with divisor d: H = (1/d) / (1 - (1 - 1/d) z^-1), z = e^(iwT).
    d, period = 20.0, 0.002
    gain, phase = lab.frequency_response("EMALP(VALUE;20)", f)
    z = np.exp(1j * 2 * np.pi * f * period)
    expected = (1 / d) / (1 - (1 - 1 / d) / z)
    assert gain == pytest.approx(np.abs(expected), rel=1e-3)
    assert phase == pytest.approx(np.degrees(np.angle(expected)), abs=0.2)
    assert lab.is_linear("GAIN(EMAHP(MUL(VALUE;2);30);1)") and not lab.is_linear("ABS(VALUE)")
    assert lab.chain("gain(EMALP(VALUE;10);2)") == ["GAIN", "EMALP", "VALUE"]


def test_evaluation_is_the_libraries_and_follows_the_input_period(lab):
    with pytest.raises(filterlab.FilterError):
        lab.evaluate("EMALP(VALUE;0.5)", [1.0])  # below the smallest time constant
    with pytest.raises(ValueError):
        lab.evaluate("VALUE", [1.0], period_ms=0.0)
    # The engine's rounding: filter memory is a float, arguments are floats.
    y = lab.evaluate("GAIN(VALUE;0.1)", [1.0])
    assert y[0] == float(np.float32(0.1))
    y = lab.evaluate("EMALP(VALUE;3)", [1.0] * 3)
    s = [np.float32(0.0)]
    for _ in range(3):
        s.append(np.float32((1.0 - float(s[-1])) / 3.0 + float(s[-1])))
    assert list(y) == [float(v) for v in s[1:]]
    # SINUS ignores its input and turns once per 500 cycles whatever the period.
    fast = lab.evaluate("SINUS(VALUE;1;2)", np.zeros(1000), period_ms=1.0)  # 1 s of 1-ms samples
    slow = lab.evaluate("SINUS(VALUE;1;2)", np.zeros(100), period_ms=10.0)  # 1 s of 10-ms samples
    ref = lab.evaluate("SINUS(VALUE;1;2)", np.zeros(500))                  # 1 s of 2-ms cycles
    assert list(fast[1::2]) == list(ref) and list(fast[0::2]) == list(ref)
    assert list(slow) == list(ref[0::5])
    # A 10-ms input is held over the five cycles it spans.
    held = lab.evaluate("EMALP(VALUE;5)", [1.0, 1.0], period_ms=10.0)
    assert held[1] == pytest.approx(1 - 0.8 ** 6, rel=1e-6)


def test_pictures(tmp_path, capsys):
    recording = tmp_path / "session.csv"
    with open(recording, "w") as f:
        f.write("time_ms,roll_speed\n")
        for i in range(500):
            f.write("%g,%g\n" % (i * 4.0, math.sin(i / 20.0)))
    # The command line as a tuner types it.
    out = tmp_path / "step.png"
    done = subprocess.run([sys.executable, "-m", "portrelay.lab", "EMALP(VALUE;8)", "--input", "step", "--out",
                           str(out)], cwd=HERE.parent, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    pictures = [out]
    for args, name in [
        (["--compare", "EMALP(VALUE;8)", "ABS(EMAHP(VALUE;30))", "--input", "chirp:0.5:20", "--seconds", "2"],
         "compare.png"),
        (["NOISE(VALUE;1;100;7)", "--input", "csv:%s:roll_speed" % recording], "csv.png"),
    ]:
        pictures.append(tmp_path / name)
        assert filterlab.main(args + ["--out", str(pictures[-1])]) == 0
    for picture in pictures:
        assert picture.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and picture.stat().st_size > 10000
    assert "500 samples" in capsys.readouterr().out  # the recording's own period (4 ms) was taken
    assert filterlab.main(["GAIN(VALUE)", "--out", str(tmp_path / "x.png")]) == 1
    assert "invalid filter string" in capsys.readouterr().err
    assert filterlab.main(["VALUE", "--input", "csv:%s:pitch" % recording, "--out", str(tmp_path / "x.png")]) == 1
    assert "no column 'pitch'" in capsys.readouterr().err
    assert not (tmp_path / "x.png").exists()
