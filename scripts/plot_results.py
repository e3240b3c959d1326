#!/usr/bin/python3
"""Draw an erdos-straus run as one PNG figure, at any size of run.

Reads the run summary JSON and either the run's profile (--profile, the
compact CSV that `erdos-straus --profile FILE` writes: the examined primes in
about a thousand bins of p) or its per-prime results CSV, which it reads in
one streaming pass into the very same profile, in bounded memory. Either way
it draws eight panels: the least-shift histogram; the number of shifts with a
witness; the uniform and the weighted mass against p, as a density with the
10th, 50th and 90th percentiles and the mean of each bin (the minima marked);
the distribution of each mass (with its median and 10th and 90th percentiles);
the largest and the mean least shift of each bin against p; and the share of
the primes by least shift against p. Runs headless; needs numpy and
matplotlib, which the system Python has with Debian's python3-matplotlib.

A missing or malformed input file ends the script with a message on standard
error and exit status 1, before anything is drawn.
"""

import argparse
import io
import json
import math
import os
import re
import sys
import warnings

# The name it was called by: plot_results.py in the source tree, erdos-straus-plot
# where it is installed.
PROGRAM = os.path.basename(sys.argv[0]) or "plot_results.py"

RESULTS_HEADER = (b"p,least_c,first_d,branch,successful_shifts,uniform_mass,weighted_mass,"
                  b"uniform_expected_trials,weighted_expected_trials\n")
RESULTS_FIELDS = RESULTS_HEADER.count(b",") + 1

# The picture is always this size, so that it can be checked and compared.
FIGURE_INCHES = (16, 20)
FIGURE_DPI = 100

INTEGER_KEYS = ("p_max", "c_max", "shift_count", "primes_1_mod_24", "covered", "max_least_shift",
                "max_least_shift_prime", "min_uniform_mass_prime", "min_weighted_mass_prime")
NUMBER_KEYS = ("min_uniform_mass", "median_uniform_mass", "p10_uniform_mass", "p90_uniform_mass",
               "min_weighted_mass", "median_weighted_mass", "median_uniform_expected_trials",
               "median_weighted_expected_trials")

# The profile's columns, as erdos-straus writes them (see docs/profile.md).
LEAST_COLUMNS = 33      # least shifts 3, 7, ..., 127, then the wider ones together
SUCCESS_COLUMNS = 66    # successful shift counts 0 to 64, then the larger ones together
MASS_COLUMNS = 97       # below 2^-16, then six to an octave up to 1
MASS_OCTAVES = 16
MASS_STEPS = (0.5612310241546865, 0.6299605249474366, 0.7071067811865476, 0.7937005259840998,
              0.8908987181403393)  # 2^(-5/6) ... 2^(-1/6) as the program has them
PROFILE_HEAD = ("p_lo", "p_hi", "primes", "covered", "max_least_c", "max_least_c_p", "sum_least_c",
                "mean_uniform_mass", "mean_weighted_mass")
PROFILE_HEADER = ",".join(
    PROFILE_HEAD + tuple(f"least_{3 + 4 * k}" for k in range(LEAST_COLUMNS - 1)) + ("least_above_127",) +
    tuple(f"successful_{k}" for k in range(SUCCESS_COLUMNS - 1)) + ("successful_above_64",) +
    tuple(f"{mass}_h{k}" for mass in ("uniform", "weighted") for k in range(MASS_COLUMNS)))
TARGET_BINS = 1000
FIRST_OCTAVE = 6
# Bytes of the results file read at a time while streaming (about 160,000 rows).
STREAM_BLOCK = 1 << 24

UNIFORM_COLOUR = "tab:blue"
WEIGHTED_COLOUR = "tab:orange"


class InputError(Exception):
    """A missing, unreadable or malformed input file; the message says which and why."""


def read_summary(path):
    try:
        with open(path, "rb") as f:
            text = f.read().decode("ascii")
    except OSError as e:
        raise InputError(f"cannot read summary file '{path}': {e.strerror}") from None
    except UnicodeDecodeError:
        raise InputError(f"summary file '{path}' is not a run summary: it holds non-ASCII bytes") from None

    # The run prints the special doubles as bare nan, -nan and inf, which JSON
    # lacks; Python's json reads them as NaN and Infinity.
    specials = {"nan": "NaN", "-nan": "NaN", "inf": "Infinity", "-inf": "-Infinity"}
    text = re.sub(r'(?<=": )(-?nan|-?inf)(?=\s*[,}\n])', lambda m: specials[m.group(1)], text)
    try:
        summary = json.loads(text)
    except ValueError as e:
        raise InputError(f"summary file '{path}' is not a run summary: {e}") from None
    if not isinstance(summary, dict):
        raise InputError(f"summary file '{path}' is not a run summary: it is not an object")

    def check(key, accept, what):
        if key not in summary:
            raise InputError(f"summary file '{path}' is not a run summary: key '{key}' is missing")
        value = summary[key]
        if isinstance(value, bool) != (what == "true or false") or not isinstance(value, accept):
            raise InputError(f"summary file '{path}' is not a run summary: '{key}' is not {what}")

    for key in INTEGER_KEYS:
        check(key, int, "an integer")
    if "p_min" in summary:  # a run over an interval names its lower bound
        check("p_min", int, "an integer")
    for key in NUMBER_KEYS:
        check(key, (int, float), "a number")
    check("all_first_witnesses_verified", bool, "true or false")
    check("least_shift_histogram", dict, "an object")
    histogram = {}
    for key, count in summary["least_shift_histogram"].items():
        if not re.fullmatch(r"-?\d+", key) or isinstance(count, bool) or not isinstance(count, int):
            raise InputError(f"summary file '{path}' is not a run summary: "
                             f"least_shift_histogram entry '{key}' is not a shift and a count")
        histogram[int(key)] = count
    summary["least_shift_histogram"] = dict(sorted(histogram.items()))
    return summary



# --- The profile -------------------------------------------------------------
#
# A profile is a dict of numpy arrays, one entry per bin: "p_lo" and "p_hi"
# (Python ints, exact), "primes", "covered", "max_c", "max_c_p", "sum_c"
# (int64), "mean_uniform", "mean_weighted" (float64), and the histograms
# "least" (bins x 33), "successful" (bins x 66), "uniform" and "weighted"
# (bins x 97).


def plan_bins(p_min, p_max):
    """The first prime of each bin, as erdos-straus plans them for [p_min, p_max]."""
    if p_min > 0 and p_max // 4 < p_min:
        width = -(-(p_max - p_min + 1) // TARGET_BINS)
        return list(range(p_min, p_max + 1, width))
    starts = [p_min]
    if p_max < 1 << FIRST_OCTAVE:
        return starts
    low = max(FIRST_OCTAVE, p_min.bit_length() - 1 if p_min > 0 else 0)
    high = p_max.bit_length() - 1
    parts = -(-TARGET_BINS // (high - low + 1))
    for j in range(low, high + 1):
        for i in range(parts):
            start = (1 << j) + ((1 << j) * i) // parts
            if starts[-1] < start <= p_max:
                starts.append(start)
    return starts


def empty_profile(starts, p_max):
    import numpy as np

    n = len(starts)
    zeros = lambda *shape: np.zeros(shape if len(shape) > 1 else shape[0], dtype=np.int64)
    return {"p_lo": list(starts), "p_hi": [s - 1 for s in starts[1:]] + [p_max],
            "primes": zeros(n), "covered": zeros(n), "max_c": zeros(n), "max_c_p": zeros(n), "sum_c": zeros(n),
            "mean_uniform": np.full(n, math.nan), "mean_weighted": np.full(n, math.nan),
            "least": zeros(n, LEAST_COLUMNS), "successful": zeros(n, SUCCESS_COLUMNS),
            "uniform": zeros(n, MASS_COLUMNS), "weighted": zeros(n, MASS_COLUMNS)}


def summary_interval(summary):
    return summary.get("p_min", 0), summary["p_max"]


def read_profile(path, summary):
    """The profile file of the run of summary."""
    import numpy as np

    try:
        with open(path, "rb") as f:
            text = f.read().decode("ascii")
    except OSError as e:
        raise InputError(f"cannot read profile file '{path}': {e.strerror}") from None
    except UnicodeDecodeError:
        raise InputError(f"profile file '{path}' is malformed: it holds non-ASCII bytes") from None
    lines = text.split("\n")
    if lines[0] != PROFILE_HEADER:
        raise InputError(f"profile file '{path}' does not begin with the profile header")
    if lines[-1] != "":
        raise InputError(f"profile file '{path}' is truncated: its last line is incomplete")
    rows = [line.split(",") for line in lines[1:-1]]
    width = PROFILE_HEADER.count(",") + 1
    if not rows or any(len(row) != width for row in rows):
        raise InputError(f"profile file '{path}' is malformed: not every row has {width} fields")
    try:
        p_lo = [int(row[0]) for row in rows]
        p_hi = [int(row[1]) for row in rows]
        numbers = np.array([[int(v) for v in row[2:7]] + [int(v) for v in row[9:]] for row in rows], dtype=np.int64)
        means = np.array([[float(v) for v in row[7:9]] for row in rows], dtype=np.float64)
    except ValueError as e:
        raise InputError(f"profile file '{path}' is malformed: {e}") from None
    p_min, p_max = summary_interval(summary)
    planned = plan_bins(p_min, p_max)
    if len(p_lo) < len(planned) and p_lo == planned[:len(p_lo)]:
        raise InputError(f"profile file '{path}' is truncated: its bins end at p = {p_hi[-1]}, "
                         f"before p_max = {p_max}")
    if p_lo != planned or p_hi[-1] != p_max:
        raise InputError(f"profile file '{path}' does not have the bins of the summary's interval: "
                         f"the files are not from the same run")
    profile = empty_profile(p_lo, p_max)
    for k, name in enumerate(("primes", "covered", "max_c", "max_c_p", "sum_c")):
        profile[name] = numbers[:, k].copy()
    profile["mean_uniform"], profile["mean_weighted"] = means[:, 0].copy(), means[:, 1].copy()
    at = 5
    for name, columns in (("least", LEAST_COLUMNS), ("successful", SUCCESS_COLUMNS), ("uniform", MASS_COLUMNS),
                          ("weighted", MASS_COLUMNS)):
        profile[name] = numbers[:, at:at + columns].copy()
        at += columns
    if int(profile["primes"].sum()) != summary["primes_1_mod_24"] or \
            int(profile["covered"].sum()) != summary["covered"]:
        raise InputError(f"profile file '{path}' counts {int(profile['primes'].sum())} primes, but the summary "
                         f"counts {summary['primes_1_mod_24']}: the files are not from the same run")
    return profile


def mass_columns(values):
    """The profile column of each mass; -1 for a NaN."""
    import numpy as np

    with np.errstate(invalid="ignore"):
        fraction, exponent = np.frexp(values)
        step = sum((fraction >= s).astype(np.int64) for s in MASS_STEPS)
        column = 1 + (MASS_OCTAVES - 1 + exponent.astype(np.int64)) * (len(MASS_STEPS) + 1) + step
        column[values < 2.0 ** -MASS_OCTAVES] = 0
        column[values >= 1.0] = MASS_COLUMNS - 1
        column[np.isnan(values)] = -1
    return column


class ProfileBuilder:
    """Folds rows, in increasing p, into a profile exactly as erdos-straus does."""

    def __init__(self, p_min, p_max):
        import numpy as np

        self.starts = plan_bins(p_min, p_max)
        self.profile = empty_profile(self.starts, p_max)
        self.index = np.array(self.starts, dtype=np.int64)
        n = len(self.starts)
        # The masses truncated to multiples of 2^-64, summed exactly.
        self.sums = {"uniform": [0] * n, "weighted": [0] * n}

    def fold(self, p, least_c, successful, uniform, weighted):
        import numpy as np

        prof = self.profile
        bins = np.searchsorted(self.index, p, side="right") - 1
        present, firsts, counts = np.unique(bins, return_index=True, return_counts=True)
        prof["primes"][present] += counts
        covered = least_c > 0
        prof["covered"][present] += np.add.reduceat(covered.astype(np.int64), firsts)
        shift = np.where(covered, least_c, 0)
        prof["sum_c"][present] += np.add.reduceat(shift, firsts)
        top = np.maximum.reduceat(shift, firsts)
        at_top = np.where(covered & (shift == np.repeat(top, counts)), np.arange(len(p)), len(p))
        first_at_top = np.minimum.reduceat(at_top, firsts)
        better = top > prof["max_c"][present]
        prof["max_c"][present[better]] = top[better]
        prof["max_c_p"][present[better]] = p[first_at_top[better]]
        n = len(self.starts)

        def count(name, column, keep, columns):
            prof[name] += np.bincount(bins[keep] * columns + column[keep], minlength=n * columns).reshape(n, columns)

        count("least", np.minimum((least_c - 3) // 4, LEAST_COLUMNS - 1), covered, LEAST_COLUMNS)
        count("successful", np.minimum(successful, SUCCESS_COLUMNS - 1), np.ones(len(p), bool), SUCCESS_COLUMNS)
        for name, values in (("uniform", uniform), ("weighted", weighted)):
            column = mass_columns(values)
            count(name, column, column >= 0, MASS_COLUMNS)
            scaled = np.floor(np.ldexp(np.where(column >= 0, values, 0.0), 64))  # exact in doubles
            high = np.floor(np.ldexp(scaled, -32))
            low = (scaled - np.ldexp(high, 32)).astype(np.uint64)
            high_sums = np.add.reduceat(high.astype(np.uint64), firsts)
            low_sums = np.add.reduceat(low, firsts)
            sums = self.sums[name]
            for b, h, l in zip(present.tolist(), high_sums.tolist(), low_sums.tolist()):
                sums[b] += (h << 32) + l

    def finish(self):
        prof = self.profile
        for name in ("uniform", "weighted"):
            counted = prof[name].sum(axis=1)
            prof["mean_" + name][:] = [math.ldexp(float(s) / int(n), -64) if n else math.nan
                                       for s, n in zip(self.sums[name], counted)]
        return prof


def stream_results(path, summary):
    """The profile of the results file of the run of summary, read in one pass
    of STREAM_BLOCK bytes at a time."""
    import numpy as np

    try:
        f = open(path, "rb")
    except OSError as e:
        raise InputError(f"cannot read results file '{path}': {e.strerror}") from None
    builder = ProfileBuilder(*summary_interval(summary))
    rows = 0
    last_p = -1
    leftover = b""
    with f:
        try:
            if f.readline() != RESULTS_HEADER:
                raise InputError(f"results file '{path}' does not begin with the results header")
            while True:
                block = f.read(STREAM_BLOCK)
                if not block:
                    break
                block = leftover + block
                cut = block.rfind(b"\n") + 1
                block, leftover = block[:cut], block[cut:]
                if not block:
                    continue
                lines = block.count(b"\n")
                if block.count(b",") != lines * (RESULTS_FIELDS - 1):
                    raise InputError(f"results file '{path}' is malformed: not every row has {RESULTS_FIELDS} fields")
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore")
                    # The primes as exact 64-bit integers (they reach 2^62,
                    # past what a double holds exactly), the rest as doubles.
                    table = np.loadtxt(io.BytesIO(block), delimiter=",", usecols=(0, 1, 4, 5, 6), ndmin=1,
                                       encoding="ascii",
                                       dtype=[("p", np.int64), ("least_c", np.int64), ("successful", np.int64),
                                              ("uniform", np.float64), ("weighted", np.float64)])
                p = table["p"]
                if p[0] <= last_p or np.any(np.diff(p) <= 0) or np.any(np.mod(p, 24) != 1) or \
                        p[0] < builder.starts[0] or p[-1] > summary["p_max"]:
                    raise InputError(f"results file '{path}' is malformed: its first column is not the ascending "
                                     f"primes p = 1 (mod 24) of the summary's interval")
                last_p = int(p[-1])
                rows += lines
                builder.fold(p, table["least_c"], table["successful"], table["uniform"], table["weighted"])
        except OSError as e:
            raise InputError(f"cannot read results file '{path}': {e.strerror}") from None
        except (ValueError, UnicodeDecodeError) as e:
            raise InputError(f"results file '{path}' is malformed: {e}") from None
    if leftover:
        raise InputError(f"results file '{path}' is truncated: its last line is incomplete")
    if rows != summary["primes_1_mod_24"]:
        raise InputError(f"results file '{path}' has {rows} rows, but the summary counts "
                         f"{summary['primes_1_mod_24']} examined primes: the files are not from the "
                         f"same run, or one of them is truncated")
    return builder.finish()


# --- What the panels draw from a profile --------------------------------------

def mass_edges():
    """The edges of the mass columns, for a log axis: the column below 2^-16
    drawn down to 2^-17."""
    import numpy as np

    return np.array([2.0 ** -(MASS_OCTAVES + 1)] +
                    [2.0 ** ((k - MASS_COLUMNS) / (len(MASS_STEPS) + 1)) for k in range(1, MASS_COLUMNS + 1)])


def histogram_percentiles(counts, q):
    """The q-quantile of each row of mass histograms, interpolated on the log
    scale within its column; NaN for an empty row."""
    import numpy as np

    edges = np.log(mass_edges())
    cumulative = np.cumsum(counts, axis=1)
    totals = cumulative[:, -1]
    target = q * totals
    column = np.minimum(np.argmax(cumulative >= target[:, None], axis=1), counts.shape[1] - 1)
    rows = np.arange(len(counts))
    before = np.where(column > 0, cumulative[rows, np.maximum(column - 1, 0)], 0)
    inside = counts[rows, column]
    with np.errstate(invalid="ignore", divide="ignore"):
        share = np.where(inside > 0, (target - before) / inside, 0.0)
        value = np.exp(edges[column] + share * (edges[column + 1] - edges[column]))
    return np.where(totals > 0, value, math.nan)


# The lines of a panel against p join neighbouring bins up to this many
# primes, so that a bin of a few primes does not make them jump.
LINE_PRIMES = 40


def joined_bins(profile):
    """The bins of the profile joined, in order, into groups of at least
    LINE_PRIMES primes (the last may hold fewer): the index of each group's
    first bin and its last, and the profile's counts summed over each group."""
    import numpy as np

    primes = profile["primes"]
    before = np.concatenate(([0], np.cumsum(primes)[:-1]))
    group = before // LINE_PRIMES
    firsts = np.concatenate(([0], np.nonzero(np.diff(group))[0] + 1))
    lasts = np.concatenate((firsts[1:] - 1, [len(primes) - 1]))
    joined = {name: np.add.reduceat(profile[name], firsts, axis=0)
              for name in ("primes", "covered", "sum_c", "least", "uniform", "weighted")}
    for name in ("uniform", "weighted"):
        counted = profile[name].sum(axis=1)
        weights = np.add.reduceat(np.nan_to_num(profile["mean_" + name]) * counted, firsts)
        with np.errstate(invalid="ignore", divide="ignore"):
            joined["mean_" + name] = np.where(joined[name].sum(axis=1) > 0, weights / joined[name].sum(axis=1),
                                              math.nan)
    return firsts, lasts, joined


class Axis:
    """How p is drawn: on a log axis for a profile of octaves, else linearly,
    counted from an origin far out where a double cannot tell primes apart."""

    def __init__(self, summary, profile):
        import numpy as np

        p_min, p_max = summary_interval(summary)
        self.log = not (p_min > 0 and p_max // 4 < p_min)
        self.origin = p_min if not self.log and p_max >= 2 ** 53 else 0
        lo = [max(v - self.origin, 1 if self.log else 0) for v in profile["p_lo"]]
        self.edges = np.array(lo + [profile["p_hi"][-1] + 1 - self.origin], dtype=np.float64)
        self.centres = np.sqrt(self.edges[:-1] * self.edges[1:]) if self.log else \
            0.5 * (self.edges[:-1] + self.edges[1:])
        shown = np.nonzero(profile["primes"])[0]
        self.limits = (self.edges[shown[0]], self.edges[shown[-1] + 1]) if len(shown) else None
        firsts, lasts, self.joined = joined_bins(profile)
        left, right = self.edges[firsts], self.edges[lasts + 1]
        self.joined_centres = np.sqrt(left * right) if self.log else 0.5 * (left + right)

    def x(self, p):
        return float(p - self.origin)

    def dress(self, ax):
        ax.set_xlabel("p" if self.origin == 0 else f"p - {fmt_count(self.origin)}")
        if self.log:
            ax.set_xscale("log")
        else:
            ax.ticklabel_format(axis="x", style="sci", scilimits=(-3, 6))
        if self.limits:
            ax.set_xlim(*self.limits)


def fmt_count(n):
    return f"{n:,}"


def fmt_mass(x):
    return f"{x:.4g}"


def note(ax, text):
    """A note in the top right corner of a panel."""
    ax.text(0.98, 0.96, text, transform=ax.transAxes, ha="right", va="top", fontsize=9,
            bbox=dict(boxstyle="round", facecolor="white", alpha=0.85, edgecolor="0.7"))


def empty_panel(ax, text):
    ax.set_xticks([])
    ax.set_yticks([])
    ax.text(0.5, 0.5, text, transform=ax.transAxes, ha="center", va="center", fontsize=11, color="0.4")


def draw_least_shift_histogram(ax, summary):
    ax.set_title("Least shift with a witness")
    ax.set_xlabel("least shift c")
    ax.set_ylabel("primes (log scale)")
    histogram = summary["least_shift_histogram"]
    if not histogram:
        empty_panel(ax, "no prime is covered")
        return
    shifts = list(histogram)
    counts = list(histogram.values())
    from matplotlib.ticker import MaxNLocator

    ax.bar(shifts, counts, width=3.0, color="tab:green", edgecolor="darkgreen", linewidth=0.5)
    if len(shifts) <= 20:
        ax.set_xticks(shifts)
    else:
        ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_yscale("log")
    ax.set_ylim(0.5, max(counts) * 4)
    for c, n in zip(shifts, counts):
        ax.annotate(fmt_count(n), (c, n), xytext=(0, 2), textcoords="offset points", ha="center", va="bottom",
                    fontsize=7, rotation=90 if len(shifts) > 12 else 0)
    uncovered = summary["primes_1_mod_24"] - summary["covered"]
    text = f"largest: c = {summary['max_least_shift']}, first at p = {fmt_count(summary['max_least_shift_prime'])}"
    if uncovered > 0:
        text += f"\nnot covered: {fmt_count(uncovered)} prime{'' if uncovered == 1 else 's'}"
    note(ax, text)


def draw_successful_shifts(ax, profile, summary):
    import numpy as np
    from matplotlib.ticker import MaxNLocator

    ax.set_title("Shifts with at least one witness, per prime")
    ax.set_xlabel(f"successful shifts (of {summary['shift_count']})")
    ax.set_ylabel("primes")
    counts = profile["successful"].sum(axis=0)
    total = int(counts.sum())
    if total == 0:
        empty_panel(ax, "no examined prime")
        return
    above = int(counts[-1])
    counts = counts[:-1]
    values = np.nonzero(counts)[0]
    ax.bar(values, counts[values], width=0.85, color="tab:purple")
    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_ylim(0, counts.max() * 1.08 if len(values) else 1)
    cumulative = np.cumsum(counts)
    # The median as the run's percentiles take it: between the two middle ranks.
    middle = [int(np.searchsorted(cumulative, rank, side="right")) for rank in ((total - 1) // 2, total // 2)]
    text = f"median {(middle[0] + middle[1]) / 2:g}"
    if above == 0:
        text += f", mean {float((np.arange(len(counts)) * counts).sum()) / total:.2f}\n" \
                f"range {int(values.min())} to {int(values.max())}"
    else:
        text += f"\n{fmt_count(above)} prime{'' if above == 1 else 's'} with more than {len(counts) - 1}"
    note(ax, text)


def draw_mass_against_p(fig, ax, axis, profile, name, minimum, minimum_prime, median, cmap, colour):
    import numpy as np
    from matplotlib.colors import LogNorm

    ax.set_title(f"{name.capitalize()} mass against p: density, percentiles and mean along p")
    ax.set_ylabel(f"{name} mass (log scale)")
    counts = profile[name]
    if counts.sum() == 0 or axis.limits is None:
        empty_panel(ax, f"no {name} mass to draw")
        return
    edges = mass_edges()
    used = np.nonzero(counts.sum(axis=0))[0]
    cells = ax.pcolormesh(axis.edges, edges, np.ma.masked_equal(counts.T, 0), cmap=cmap,
                          norm=LogNorm(vmin=1, vmax=max(2, counts.max())), shading="flat")
    fig.colorbar(cells, ax=ax, pad=0.01).set_label("primes per cell (log scale)")
    ax.set_yscale("log")
    axis.dress(ax)
    low = 0.5 * float(edges[used[0]])
    ax.set_ylim(min(low, minimum / 2.5) if minimum > 0 else low, float(edges[used[-1] + 1]) * 1.5)
    joined = axis.joined
    band = [histogram_percentiles(joined[name], q) for q in (0.1, 0.5, 0.9)]
    x = axis.joined_centres
    ax.plot(x, band[0], color="black", linewidth=0.7, linestyle=":", label="10th and 90th percentile")
    ax.plot(x, band[2], color="black", linewidth=0.7, linestyle=":")
    ax.plot(x, band[1], color="black", linewidth=1.0, label="median")
    ax.plot(x, joined["mean_" + name], color=colour, linewidth=1.0, label="mean")
    if math.isfinite(median) and median > 0:
        ax.axhline(median, color="black", linestyle="--", linewidth=0.9, label=f"median of the run {fmt_mass(median)}")
    if minimum_prime > 0 and not minimum > 0:
        # A minimum of 0 (an uncovered prime) has no place on the log axis.
        ax.plot([], [], linestyle="none", label=f"minimum {fmt_mass(minimum)} at p = {fmt_count(minimum_prime)}")
    elif minimum_prime > 0:
        ax.plot([axis.x(minimum_prime)], [minimum], marker="*", markersize=15, color="red", markeredgecolor="black",
                linestyle="none", label=f"minimum {fmt_mass(minimum)} at p = {fmt_count(minimum_prime)}")
    # Below the panel: inside, any corner may hide data.
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.13), ncol=3, fontsize=8, frameon=False)
    hidden = int(profile["primes"].sum() - counts.sum())
    if hidden > 0:
        ax.text(0.01, 0.02, f"not shown: {fmt_count(hidden)} primes with mass NaN", transform=ax.transAxes,
                fontsize=8, color="0.3")


def draw_mass_distribution(ax, profile, name, colour, marks, percentiles_from):
    import numpy as np

    ax.set_title(f"Distribution of the {name} mass")
    ax.set_xlabel(f"{name} mass (log scale; columns of 1/6 octave)")
    ax.set_ylabel("primes per column")
    counts = profile[name].sum(axis=0)
    if counts.sum() == 0:
        empty_panel(ax, f"no {name} mass that is a number")
        return
    edges = mass_edges()
    used = np.nonzero(counts)[0]
    ax.stairs(counts, edges, fill=True, color=colour, alpha=0.75)
    ax.set_xscale("log")
    ax.set_xlim(float(edges[used[0]]) / 1.3, float(edges[used[-1] + 1]) * 1.3)
    ax.set_ylim(0, counts.max() * 1.4)  # headroom for the legend
    third = max(1, len(used) // 3)
    corner = "upper left" if counts[used[:third]].max() < counts[used[-third:]].max() else "upper right"
    styles = {"10th percentile": ":", "median": "-", "90th percentile": "--"}
    for label, value in marks:
        if math.isfinite(value) and value > 0:
            ax.axvline(value, color="black", linestyle=styles[label], linewidth=1.2,
                       label=f"{label} {fmt_mass(value)}")
    if any(math.isfinite(value) and value > 0 for _, value in marks):
        ax.legend(loc=corner, fontsize=9, framealpha=0.9, title=percentiles_from, title_fontsize=8)


def draw_least_shift_against_p(ax, axis, profile, summary):
    import numpy as np

    ax.set_title("Least shift against p: the largest of each bin, and the mean")
    ax.set_ylabel("least shift c")
    covered = profile["covered"]
    if covered.sum() == 0 or axis.limits is None:
        empty_panel(ax, "no prime is covered")
        return
    has = covered > 0
    ax.scatter(axis.centres[has], profile["max_c"][has], s=6, color="tab:red", linewidths=0,
               label="largest least shift of the bin")
    joined = axis.joined
    with np.errstate(invalid="ignore", divide="ignore"):
        mean = np.where(joined["covered"] > 0, joined["sum_c"] / np.maximum(joined["covered"], 1), math.nan)
    ax.plot(axis.joined_centres, mean, color="tab:green", linewidth=1.0, label="mean least shift")
    ax.plot([axis.x(summary["max_least_shift_prime"])], [summary["max_least_shift"]], marker="*", markersize=15,
            color="red", markeredgecolor="black", linestyle="none",
            label=f"largest: c = {summary['max_least_shift']} at p = {fmt_count(summary['max_least_shift_prime'])}")
    axis.dress(ax)
    ax.set_ylim(0, summary["max_least_shift"] * 1.15 + 1)
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.13), ncol=3, fontsize=8, frameon=False)


def draw_least_shift_shares(ax, axis, profile):
    import numpy as np

    ax.set_title("Share of the primes by least shift, along p")
    ax.set_ylabel("share of the primes")
    if profile["primes"].sum() == 0 or axis.limits is None:
        empty_panel(ax, "no examined prime")
        return
    joined = axis.joined
    primes, least = joined["primes"], joined["least"]
    groups = [("c = 3", least[:, 0]), ("c = 7", least[:, 1]), ("c = 11", least[:, 2]),
              ("c = 15 to 27", least[:, 3:7].sum(axis=1)), ("c ≥ 31", least[:, 7:].sum(axis=1)),
              ("not covered", primes - joined["covered"])]
    with np.errstate(invalid="ignore", divide="ignore"):
        shares = [np.where(primes > 0, counts / np.maximum(primes, 1), math.nan) for _, counts in groups]
    colours = ["tab:green", "tab:olive", "tab:cyan", "tab:blue", "tab:purple", "tab:red"]
    bottom = np.zeros(len(primes))
    keep = primes > 0
    for (label, _), share, colour in zip(groups, shares, colours):
        ax.fill_between(axis.joined_centres[keep], bottom[keep], (bottom + share)[keep], color=colour, alpha=0.8,
                        linewidth=0, label=label)
        bottom = bottom + np.nan_to_num(share)
    axis.dress(ax)
    ax.set_ylim(0, 1)
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.13), ncol=6, fontsize=8, frameon=False)


def bounds_text(summary):
    """The interval of the run: "p_max = N", or "p from P_MIN to P_MAX"."""
    if "p_min" in summary:
        return f"p from {fmt_count(summary['p_min'])} to {fmt_count(summary['p_max'])}"
    return f"p_max = {fmt_count(summary['p_max'])}"


def figure_title(summary):
    """The two title lines: the equation, then the bounds and the counts. The
    verification is named only when some prime was covered, since with none
    there was no witness to verify."""
    shifts = summary["shift_count"]
    covered = summary["covered"]
    if covered == 0:
        verified = ""
    elif summary["all_first_witnesses_verified"]:
        verified = ", first witnesses all verified"
    else:
        verified = ", first witnesses NOT all verified"
    return ("Erdős–Straus equation 4/p = 1/m + 1/x + 1/y with m = (p + c)/4, primes p ≡ 1 (mod 24)\n"
            f"{bounds_text(summary)}, c_max = {summary['c_max']} "
            f"({shifts} shift{'' if shifts == 1 else 's'}): {fmt_count(summary['primes_1_mod_24'])} primes examined, "
            f"{fmt_count(covered)} covered{verified}")


def plot(summary, profile, out_path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=FIGURE_INCHES, dpi=FIGURE_DPI)
    grid = fig.add_gridspec(4, 2, left=0.06, right=0.97, bottom=0.04, top=0.92, hspace=0.45, wspace=0.18)
    fig.suptitle(figure_title(summary), fontsize=14)
    axis = Axis(summary, profile)

    draw_least_shift_histogram(fig.add_subplot(grid[0, 0]), summary)
    draw_successful_shifts(fig.add_subplot(grid[0, 1]), profile, summary)
    draw_mass_against_p(fig, fig.add_subplot(grid[1, 0]), axis, profile, "uniform",
                        summary["min_uniform_mass"], summary["min_uniform_mass_prime"],
                        summary["median_uniform_mass"], "Blues", UNIFORM_COLOUR)
    draw_mass_against_p(fig, fig.add_subplot(grid[1, 1]), axis, profile, "weighted",
                        summary["min_weighted_mass"], summary["min_weighted_mass_prime"],
                        summary["median_weighted_mass"], "Oranges", WEIGHTED_COLOUR)
    draw_mass_distribution(fig.add_subplot(grid[2, 0]), profile, "uniform", UNIFORM_COLOUR,
                           [("10th percentile", summary["p10_uniform_mass"]),
                            ("median", summary["median_uniform_mass"]),
                            ("90th percentile", summary["p90_uniform_mass"])],
                           "from the summary")
    # The summary holds only the median of the weighted mass; its percentiles
    # come from the histogram, interpolated within a column.
    weighted_all = profile["weighted"].sum(axis=0)[None, :]
    draw_mass_distribution(fig.add_subplot(grid[2, 1]), profile, "weighted", WEIGHTED_COLOUR,
                           [("10th percentile", float(histogram_percentiles(weighted_all, 0.1)[0])),
                            ("median", summary["median_weighted_mass"]),
                            ("90th percentile", float(histogram_percentiles(weighted_all, 0.9)[0]))],
                           "median from the summary, percentiles from the histogram")
    draw_least_shift_against_p(fig.add_subplot(grid[3, 0]), axis, profile, summary)
    draw_least_shift_shares(fig.add_subplot(grid[3, 1]), axis, profile)
    try:
        fig.savefig(out_path, dpi=FIGURE_DPI, format="png")
    except OSError as e:
        raise InputError(f"cannot write figure '{out_path}': {e.strerror}") from None
    finally:
        plt.close(fig)


def main(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Draw an erdos-straus run (its summary JSON with its profile CSV, or with its results CSV "
                    "read in one streaming pass) as one PNG.")
    parser.add_argument("--results", default="results/erdos_results.csv", metavar="CSV",
                        help="per-prime results file, read when no profile is given (default: %(default)s)")
    parser.add_argument("--profile", metavar="CSV",
                        help="the run's profile (erdos-straus --profile FILE): the figure needs no rows")
    parser.add_argument("--summary", default="results/erdos_summary.json", metavar="JSON",
                        help="run summary file (default: %(default)s)")
    parser.add_argument("--out", default="results/erdos_plots.png", metavar="PNG",
                        help="figure to write (default: %(default)s)")
    args = parser.parse_args(argv)
    try:
        summary = read_summary(args.summary)
        if args.profile is not None:
            profile = read_profile(args.profile, summary)
        else:
            profile = stream_results(args.results, summary)
        if os.path.dirname(args.out) and not os.path.isdir(os.path.dirname(args.out)):
            raise InputError(f"cannot write figure '{args.out}': its directory does not exist")
        plot(summary, profile, args.out)
    except InputError as e:
        print(f"{PROGRAM}: {e}", file=sys.stderr)
        return 1
    except ImportError as e:
        print(f"{PROGRAM}: {e}; install numpy and matplotlib (Debian: python3-matplotlib) "
              f"and run the script with /usr/bin/python3", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
