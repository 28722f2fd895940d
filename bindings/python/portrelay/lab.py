"""Filter lab: what a filter chain does to the motion, as a picture.

    python3 -m portrelay.lab "EMALP(VALUE;8)" --input step --out step.png
    python3 -m portrelay.lab --compare "EMALP(VALUE;8)" "EMALP(VALUE;30)" --input chirp:0.1:20
    python3 -m portrelay.lab "GAIN(VALUE;2)" --input csv:session.csv:roll_speed

Inputs: step, impulse, sine:FREQ, chirp:F0:F1 (logarithmic sweep in Hz), noise,
csv:FILE:COLUMN (a column by header name or number; the sample period comes
from a column named time/time_s/time_ms when there is one, else --period).
The picture shows input and output over time and, for linear chains (VALUE,
EMALP, EMAHP, MUL, GAIN only), gain and phase against frequency from a sine
sweep. Every value is computed by the library's own filter code
(portrelay_lab, built from the engine's filter sources) through ctypes.
"""

import argparse
import csv
import ctypes
import math
import sys
import time

from ._loader import load_library

CYCLE_MS = 2.0
# Kinds whose chains are linear and time-invariant: they have a frequency response.
LINEAR_KINDS = {"VALUE", "EMALP", "EMAHP", "MUL", "GAIN"}


class FilterError(ValueError):
    """A filter string the library does not accept."""


def _refused(filter_string):
    """A FilterError naming where and why the library's parser refuses the
    chain (through the engine library's checkFilterstring when it loads)."""
    try:
        from .engine import check_filter, FilterError as CheckError
        check_filter(filter_string)
    except CheckError as refused:
        return FilterError("invalid filter string %s" % refused)
    except Exception:  # noqa: BLE001 - no engine library: the plain message
        pass
    return FilterError("invalid filter string: %s" % filter_string)


class Lab:
    """The filter lab library (portrelay_lab)."""

    def __init__(self, path=None, folder=None):
        self._dll, self.path = load_library("portrelay_lab", path, folder)
        dbl_p = ctypes.POINTER(ctypes.c_double)
        self._evaluate = self._dll.portrelayLab_evaluate
        self._evaluate.restype = ctypes.c_int32
        self._evaluate.argtypes = [ctypes.c_char_p, dbl_p, ctypes.c_int32, ctypes.c_double, dbl_p]
        self._kinds = self._dll.portrelayLab_chainKinds
        self._kinds.restype = ctypes.c_int32
        self._kinds.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int32), ctypes.c_int32]
        self._name = self._dll.portrelayLab_kindName
        self._name.restype = ctypes.c_char_p
        self._name.argtypes = [ctypes.c_int32]

    def evaluate(self, filter_string, samples, period_ms=CYCLE_MS):
        """Runs a fresh chain over `samples` (a sequence or numpy array of
        numbers taken every period_ms) at the engine's 2-ms cycle; returns the
        output per sample (a numpy array when numpy is present, else a list)."""
        try:
            import numpy as np
        except ImportError:
            np = None
        text = filter_string.encode("ascii")
        n = len(samples)
        if np is not None:
            x = np.ascontiguousarray(samples, dtype=np.float64)
            y = np.empty(n, dtype=np.float64)
            dbl_p = ctypes.POINTER(ctypes.c_double)
            result = self._evaluate(text, x.ctypes.data_as(dbl_p), n, period_ms, y.ctypes.data_as(dbl_p))
        else:
            x = (ctypes.c_double * n)(*samples)
            y = (ctypes.c_double * n)()
            result = self._evaluate(text, x, n, period_ms, y)
            y = list(y)
        if result == -1:
            raise _refused(filter_string)
        if result < 0:
            raise ValueError("bad arguments (period %r ms, %d samples)" % (period_ms, n))
        return y

    def chain(self, filter_string):
        """Keywords of the chain's nodes, outermost first, VALUE last."""
        text = filter_string.encode("ascii")
        count = self._kinds(text, None, 0)
        if count == -1:
            raise _refused(filter_string)
        kinds = (ctypes.c_int32 * count)()
        self._kinds(text, kinds, count)
        return [self._name(k).decode("ascii") for k in kinds]

    def is_linear(self, filter_string):
        return all(keyword in LINEAR_KINDS for keyword in self.chain(filter_string))

    def settle_seconds(self, filter_string, longest=120.0):
        """How long the chain's memory takes to settle: the time after which
        its response to a unit step stays within 1e-4 of its final value
        (relative to the largest output), measured with the library itself
        and capped at `longest` seconds."""
        import numpy as np
        steps = int(longest * 1000.0 / CYCLE_MS)
        y = np.asarray(self.evaluate(filter_string, np.ones(steps), CYCLE_MS))
        deviation = np.abs(y - y[-1])
        threshold = 1e-4 * max(float(np.abs(y).max()), 1e-12)
        moving = np.nonzero(deviation > threshold)[0]
        return 0.0 if moving.size == 0 else (int(moving[-1]) + 1) * CYCLE_MS / 1000.0

    def frequency_response(self, filter_string, frequencies):
        """Gain and phase (degrees) of a linear chain at each frequency in Hz,
        from a sine of amplitude 1 run until steady and fitted over whole
        periods. Input and output are sampled at the engine's 2-ms cycle."""
        import numpy as np
        settle = self.settle_seconds(filter_string)
        gains, phases = [], []
        for f in frequencies:
            periods = max(4, math.ceil(2.0 * f))
            measure = periods / f
            steps = int(round((settle + measure) / (CYCLE_MS / 1000.0)))
            t = np.arange(steps) * (CYCLE_MS / 1000.0)
            x = np.sin(2 * math.pi * f * t)
            y = self.evaluate(filter_string, x, CYCLE_MS)
            tail = slice(steps - int(round(measure / (CYCLE_MS / 1000.0))), steps)
            s, c = np.sin(2 * math.pi * f * t[tail]), np.cos(2 * math.pi * f * t[tail])
            # Least squares y = a sin + b cos (+ offset) over the measuring window.
            basis = np.column_stack([s, c, np.ones_like(s)])
            a, b, _ = np.linalg.lstsq(basis, y[tail], rcond=None)[0]
            gains.append(math.hypot(a, b))
            phases.append(math.degrees(math.atan2(b, a)))
        return np.array(gains), np.degrees(np.unwrap(np.radians(phases)))


def make_input(source, seconds=None, period_ms=CYCLE_MS):
    """The input named by `source`: (times in s, samples, period in ms, label)."""
    import numpy as np
    kind, _, rest = source.partition(":")
    kind = kind.lower()
    if kind == "csv":
        return read_csv_input(rest, period_ms)
    defaults = {"step": 1.0, "impulse": 1.0, "noise": 2.0, "sine": None, "chirp": 20.0}
    if kind not in defaults:
        raise ValueError("unknown input %r (step, impulse, sine:FREQ, chirp:F0:F1, noise, csv:FILE:COLUMN)" % source)
    args = [float(a) for a in rest.split(":")] if rest else []
    if kind == "sine":
        if len(args) != 1 or args[0] <= 0:
            raise ValueError("sine needs a frequency above 0: sine:FREQ")
    if kind == "chirp" and (len(args) != 2 or min(args) <= 0):
        raise ValueError("chirp needs two frequencies above 0: chirp:F0:F1")
    if seconds is None:
        seconds = defaults[kind] if kind != "sine" else max(1.0, 5.0 / args[0])
    n = max(2, int(round(seconds * 1000.0 / period_ms)))
    t = np.arange(n) * (period_ms / 1000.0)
    if kind == "step":
        # A short rest first, so the step is seen; it rises at a tenth of the run.
        x = (t >= seconds / 10.0).astype(float)
    elif kind == "impulse":
        x = np.zeros(n)
        x[int(round(n / 10.0))] = 1.0
    elif kind == "sine":
        x = np.sin(2 * math.pi * args[0] * t)
    elif kind == "chirp":
        f0, f1 = args
        if abs(f1 - f0) < 1e-12:
            x = np.sin(2 * math.pi * f0 * t)
        else:
            k = math.log(f1 / f0) / seconds
            x = np.sin(2 * math.pi * f0 * (np.exp(k * t) - 1.0) / k)
    else:
        x = np.random.default_rng(1).uniform(-1.0, 1.0, n)
    return t, x, period_ms, source


def read_csv_input(rest, period_ms):
    """csv:FILE:COLUMN — COLUMN is a header name or a 0-based column number."""
    import numpy as np
    path, sep, column = rest.rpartition(":")
    if not sep or not path:
        raise ValueError("csv input is csv:FILE:COLUMN")
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    if not rows:
        raise ValueError("%s is empty" % path)
    header = [h.strip() for h in rows[0]]
    has_header = not _is_number(rows[0][0] if rows[0] else "")
    body = rows[1:] if has_header else rows
    if column in header:
        index = header.index(column)
    else:
        try:
            index = int(column)
        except ValueError:
            raise ValueError("%s has no column %r (columns: %s)" % (path, column, ", ".join(header)))
    x = np.array([float(r[index]) for r in body if len(r) > index and r[index].strip()])
    time_index = next((i for i, h in enumerate(header) if has_header and h.lower() in
                       ("time", "t", "time_s", "time_ms", "t_ms", "t_s", "seconds", "ms")), None)
    if time_index is not None and len(body) > 1:
        stamps = np.array([float(r[time_index]) for r in body if len(r) > index and r[index].strip()])
        step = float(np.median(np.diff(stamps)))
        in_ms = "ms" in header[time_index].lower()
        if step > 0:
            period_ms = step if in_ms else step * 1000.0
    t = np.arange(len(x)) * (period_ms / 1000.0)
    return t, x, period_ms, "%s:%s" % (path, header[index] if has_header else column)


def _is_number(text):
    try:
        float(text)
        return True
    except ValueError:
        return False


def plot(lab, filters, input_source, out, seconds=None, period_ms=CYCLE_MS):
    """Evaluates each chain on the input and writes the PNG `out`. Returns a
    dict of what was computed (times, input, outputs, frequency responses)."""
    import numpy as np

    t, x, period_ms, label = make_input(input_source, seconds, period_ms)
    outputs = [lab.evaluate(f, x, period_ms) for f in filters]
    linear = [f for f in filters if lab.is_linear(f)]
    responses = {}
    if linear:
        frequencies = np.logspace(math.log10(0.05), math.log10(100.0), 36)
        for f in linear:
            responses[f] = lab.frequency_response(f, frequencies)

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    rows = 3 if linear else 1
    fig, axes = plt.subplots(rows, 1, figsize=(9, 3.2 * rows + 0.6), squeeze=False)
    axes = axes[:, 0]
    ax = axes[0]
    ax.plot(t, x, color="0.6", lw=1.0, label="input (%s)" % label)
    for f, y in zip(filters, outputs):
        ax.plot(t, y, lw=1.4, label=f)
    ax.set_xlabel("time [s]")
    ax.set_ylabel("value")
    ax.set_title("Filter lab: response over time (%g-ms samples, 2-ms engine cycle)" % period_ms)
    ax.grid(True, alpha=0.3)
    ax.legend(loc="best", fontsize=8)
    if linear:
        for f in linear:
            gain, phase = responses[f]
            axes[1].semilogx(frequencies, 20 * np.log10(np.maximum(gain, 1e-12)), lw=1.4, label=f)
            axes[2].semilogx(frequencies, phase, lw=1.4, label=f)
        axes[1].set_ylabel("gain [dB]")
        axes[1].set_title("Frequency response (sine sweep)")
        axes[2].set_ylabel("phase [deg]")
        axes[2].set_xlabel("frequency [Hz]")
        for a in axes[1:]:
            a.grid(True, which="both", alpha=0.3)
            a.legend(loc="best", fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=90)
    plt.close(fig)
    return {"times": t, "input": x, "outputs": dict(zip(filters, outputs)), "responses": responses,
            "frequencies": frequencies if linear else None}


def _missing_modules(*names):
    """The modules of `names` this interpreter cannot import."""
    import importlib.util
    return [name for name in names if importlib.util.find_spec(name) is None]


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m portrelay.lab",
                                     description="Plots what a filter chain does, with the library's own arithmetic. "
                                                 "The chain alone: the engine's input and rig limits, its "
                                                 "4000-ms fade and the output rate limit are not applied.")
    parser.add_argument("filter", nargs="?", help='filter string, e.g. "EMALP(VALUE;8)"')
    parser.add_argument("--compare", nargs=2, metavar=("A", "B"), help="two filter strings on one plot")
    parser.add_argument("--input", default="step",
                        help="step, impulse, sine:FREQ, chirp:F0:F1, noise or csv:FILE:COLUMN (default step)")
    parser.add_argument("--out", default="lab.png", help="PNG file to write (default lab.png)")
    parser.add_argument("--seconds", type=float, help="length of a generated input")
    parser.add_argument("--period", type=float, default=CYCLE_MS,
                        help="sample period of the input in ms (default 2, the engine's cycle)")
    parser.add_argument("--lib", help="folder holding the portrelay_lab library")
    args = parser.parse_args(argv)
    filters = list(args.compare) if args.compare else []
    if args.filter:
        filters.insert(0, args.filter)
    if not filters:
        parser.error("give a filter string or --compare A B")
    if args.period <= 0 or not math.isfinite(args.period):
        parser.error("--period must be above 0")
    missing = _missing_modules("numpy", "matplotlib")
    if missing:
        print("error: the filter lab needs %s for %s; on Debian run it with /usr/bin/python3 after "
              "'apt-get install python3-numpy python3-matplotlib'" % (" and ".join(missing), sys.executable),
              file=sys.stderr)
        return 1
    try:
        lab = Lab(folder=args.lib)
        start = time.perf_counter()
        result = plot(lab, filters, args.input, args.out, args.seconds, args.period)
    except (FilterError, ValueError, OSError) as error:
        print("error: %s" % error, file=sys.stderr)
        return 1
    print("wrote %s: %d samples through %s in %.2f s (the chain alone: no limits, no fade)"
          % (args.out, len(result["input"]), " and ".join(filters), time.perf_counter() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
