#!/usr/bin/python3
"""Draw the results of an erdos-straus run as one PNG figure.

Reads the per-prime results CSV and the run summary JSON that one run wrote and
draws six panels: the least-shift histogram, the uniform and the weighted mass
against p (with the minima marked), the distribution of each mass (with its
median and 10th and 90th percentiles) and the distribution of the number of
shifts with a witness. Runs headless; needs numpy and matplotlib, which the
system Python has with Debian's python3-matplotlib.

A missing or malformed input file ends the script with a message on standard
error and exit status 1, before anything is drawn.
"""

import argparse
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
FIGURE_INCHES = (16, 15)
FIGURE_DPI = 100

INTEGER_KEYS = ("p_max", "c_max", "shift_count", "primes_1_mod_24", "covered", "max_least_shift",
                "max_least_shift_prime", "min_uniform_mass_prime", "min_weighted_mass_prime")
NUMBER_KEYS = ("min_uniform_mass", "median_uniform_mass", "p10_uniform_mass", "p90_uniform_mass",
               "min_weighted_mass", "median_weighted_mass", "median_uniform_expected_trials",
               "median_weighted_expected_trials")

# Up to this many primes a panel of mass against p shows every prime as a dot.
SCATTER_LIMIT = 5000

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


def count_lines_and_commas(f):
    """Counts line feeds and commas from the current position to the end; returns
    them with the last byte read (b"" for none)."""
    lines = commas = 0
    last = b""
    while True:
        block = f.read(1 << 24)
        if not block:
            return lines, commas, last
        lines += block.count(b"\n")
        commas += block.count(b",")
        last = block[-1:]


def read_results(path, summary):
    """Returns the columns p (exact, int64), successful_shifts, uniform_mass and
    weighted_mass (float64) of the results file. (The least shifts are drawn from the
    summary's histogram.)"""
    import numpy as np

    try:
        f = open(path, "rb")
    except OSError as e:
        raise InputError(f"cannot read results file '{path}': {e.strerror}") from None
    with f:
        try:
            if f.readline() != RESULTS_HEADER:
                raise InputError(f"results file '{path}' does not begin with the results header")
            # One cheap pass first: a cut-off last line or a row with the wrong
            # number of fields shows in the counts, which loadtxt (reading only
            # the columns drawn) would not notice.
            rows, commas, last = count_lines_and_commas(f)
            if last not in (b"", b"\n"):
                raise InputError(f"results file '{path}' is truncated: its last line is incomplete")
            if commas != rows * (RESULTS_FIELDS - 1):
                raise InputError(f"results file '{path}' is malformed: not every row has {RESULTS_FIELDS} fields")
            if rows != summary["primes_1_mod_24"]:
                raise InputError(f"results file '{path}' has {rows} rows, but the summary counts "
                                 f"{summary['primes_1_mod_24']} examined primes: the files are not from the "
                                 f"same run, or one of them is truncated")
            f.seek(len(RESULTS_HEADER))
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")  # loadtxt warns about a file with no rows
                # The primes as exact 64-bit integers (they reach 2^62, past
                # what a double holds exactly), the rest as doubles.
                table = np.loadtxt(f, delimiter=",", usecols=(0, 4, 5, 6), ndmin=1, encoding="ascii",
                                   dtype=[("p", np.int64), ("successful", np.float64), ("uniform", np.float64),
                                          ("weighted", np.float64)])
        except OSError as e:
            raise InputError(f"cannot read results file '{path}': {e.strerror}") from None
        except (ValueError, UnicodeDecodeError) as e:
            raise InputError(f"results file '{path}' is malformed: {e}") from None

    p, successful, uniform, weighted = (table[name] for name in ("p", "successful", "uniform", "weighted"))
    if len(p) > 0 and (np.any(np.diff(p) <= 0) or np.any(np.mod(p, 24) != 1)):
        raise InputError(f"results file '{path}' is malformed: its first column is not the ascending "
                         f"primes p = 1 (mod 24)")
    return p, successful, uniform, weighted


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


def draw_successful_shifts(ax, successful, summary):
    ax.set_title("Shifts with at least one witness, per prime")
    ax.set_xlabel(f"successful shifts (of {summary['shift_count']})")
    ax.set_ylabel("primes")
    if len(successful) == 0:
        empty_panel(ax, "no examined prime")
        return
    import numpy as np
    from matplotlib.ticker import MaxNLocator

    counts = np.bincount(successful.astype(np.int64))
    values = np.nonzero(counts)[0]
    ax.bar(values, counts[values], width=0.85, color="tab:purple")
    ax.xaxis.set_major_locator(MaxNLocator(integer=True))
    ax.set_ylim(0, counts.max() * 1.08)
    note(ax, f"median {np.median(successful):g}, mean {successful.mean():.2f}\n"
             f"range {int(successful.min())} to {int(successful.max())}")


def draw_mass_against_p(fig, ax, p, mass, name, minimum, minimum_prime, median, cmap, origin=0):
    import matplotlib
    import numpy as np

    ax.set_title(f"{name.capitalize()} mass against p")
    ax.set_xlabel("p" if origin == 0 else f"p - {fmt_count(origin)}")
    # The axis in doubles: exact differences from the origin, the primes
    # themselves (and the labels, which print them in full) exact as integers.
    p = (p - np.int64(origin)).astype(np.float64)
    ax.set_ylabel(f"{name} mass (log scale)")
    # A log axis has no place for 0 (an uncovered prime) or NaN (no shifts).
    shown = np.isfinite(mass) & (mass > 0)
    if not shown.any():
        empty_panel(ax, f"no positive {name} mass to draw")
        return
    x, y = p[shown], mass[shown]
    ax.set_yscale("log")
    if len(x) <= SCATTER_LIMIT:
        ax.scatter(x, y, s=16 if len(x) < 500 else 5, color=matplotlib.colormaps[cmap](0.8), linewidths=0)
    else:
        # A density, not a scatter: with many primes the points merge into a
        # blot that hides where most of them lie.
        cells = ax.hexbin(x, y, yscale="log", bins="log", gridsize=(110, 45), mincnt=1, cmap=cmap,
                          linewidths=0.1)
        fig.colorbar(cells, ax=ax, pad=0.01).set_label("primes per cell (log scale)")
    ax.ticklabel_format(axis="x", style="sci", scilimits=(-3, 6))
    if math.isfinite(median) and median > 0:
        ax.axhline(median, color="black", linestyle="--", linewidth=0.9, label=f"median {fmt_mass(median)}")
    if minimum_prime > 0 and not minimum > 0:
        # A minimum of 0 (an uncovered prime) has no place on the log axis.
        ax.plot([], [], linestyle="none", label=f"minimum {fmt_mass(minimum)} at p = {fmt_count(minimum_prime)}")
    elif minimum_prime > 0:
        ax.plot([minimum_prime - origin], [minimum], marker="*", markersize=15, color="red", markeredgecolor="black",
                linestyle="none", label=f"minimum {fmt_mass(minimum)} at p = {fmt_count(minimum_prime)}")
        # The minimum is the lowest point: room below it for the star, and its
        # label above it, towards the middle of the panel.
        bottom, top = ax.get_ylim()
        ax.set_ylim(min(bottom, minimum / 2.5), top)
        left_half = minimum_prime - origin < 0.5 * (p.min() + p.max())
        ax.annotate(f"p = {fmt_count(minimum_prime)}", (minimum_prime - origin, minimum), xytext=(20 if left_half else -20, 18),
                    textcoords="offset points", fontsize=9, color="darkred", ha="left" if left_half else "right",
                    arrowprops=dict(arrowstyle="-", color="darkred", linewidth=0.8))
    # Below the panel: inside, any corner may hide data.
    ax.legend(loc="upper center", bbox_to_anchor=(0.5, -0.13), ncol=2, fontsize=9, frameon=False)
    hidden = len(mass) - int(shown.sum())
    if hidden > 0:
        ax.text(0.01, 0.02, f"not shown: {fmt_count(hidden)} primes with mass 0 or NaN", transform=ax.transAxes,
                fontsize=8, color="0.3")


def draw_mass_distribution(ax, mass, name, colour, marks, percentiles_from):
    import numpy as np

    ax.set_title(f"Distribution of the {name} mass")
    ax.set_xlabel(f"{name} mass")
    ax.set_ylabel("primes per bin")
    values = mass[np.isfinite(mass)]
    if len(values) == 0:
        empty_panel(ax, f"no finite {name} mass")
        return
    bins = int(min(200, max(10, math.sqrt(len(values)))))
    lo, hi = values.min(), values.max()
    if lo == hi:
        lo, hi = lo - 0.5 * max(abs(lo), 1e-3), hi + 0.5 * max(abs(hi), 1e-3)
    counts, _, _ = ax.hist(values, bins=bins, range=(lo, hi), color=colour, alpha=0.75, edgecolor=colour)
    ax.set_ylim(0, counts.max() * 1.4)  # headroom for the legend
    # The legend goes to the side where the bars stay lower.
    third = max(1, len(counts) // 3)
    corner = "upper left" if counts[:third].max() < counts[-third:].max() else "upper right"
    styles = {"10th percentile": ":", "median": "-", "90th percentile": "--"}
    for label, value in marks:
        if math.isfinite(value):
            ax.axvline(value, color="black", linestyle=styles[label], linewidth=1.2,
                       label=f"{label} {fmt_mass(value)}")
    ax.legend(loc=corner, fontsize=9, framealpha=0.9, title=percentiles_from, title_fontsize=8)


def percentile(values, q):
    """The percentile as the run computes it: linear interpolation between the
    two nearest ranks of the sorted values (numpy's default method)."""
    import numpy as np

    return float(np.percentile(values, q * 100)) if len(values) else math.nan


def bounds_text(summary):
    """The interval of the run: "p_max = N", or "p from P_MIN to P_MAX"."""
    if "p_min" in summary:
        return f"p from {fmt_count(summary['p_min'])} to {fmt_count(summary['p_max'])}"
    return f"p_max = {fmt_count(summary['p_max'])}"


def axis_origin(summary, p):
    """Where the p axis counts from. Far out a double cannot tell neighbouring
    primes apart, so such a panel draws p - origin, which is exact, and says so."""
    if len(p) == 0 or int(p[-1]) < 2**53:
        return 0
    return int(summary.get("p_min", int(p[0])))


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


def plot(summary, columns, out_path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np

    p, successful, uniform, weighted = columns
    fig = plt.figure(figsize=FIGURE_INCHES, dpi=FIGURE_DPI)
    grid = fig.add_gridspec(3, 2, left=0.06, right=0.97, bottom=0.05, top=0.90, hspace=0.42, wspace=0.18)
    fig.suptitle(figure_title(summary), fontsize=14)

    draw_least_shift_histogram(fig.add_subplot(grid[0, 0]), summary)
    draw_successful_shifts(fig.add_subplot(grid[0, 1]), successful, summary)
    origin = axis_origin(summary, p)
    draw_mass_against_p(fig, fig.add_subplot(grid[1, 0]), p, uniform, "uniform",
                        summary["min_uniform_mass"], summary["min_uniform_mass_prime"],
                        summary["median_uniform_mass"], "Blues", origin)
    draw_mass_against_p(fig, fig.add_subplot(grid[1, 1]), p, weighted, "weighted",
                        summary["min_weighted_mass"], summary["min_weighted_mass_prime"],
                        summary["median_weighted_mass"], "Oranges", origin)
    draw_mass_distribution(fig.add_subplot(grid[2, 0]), uniform, "uniform", UNIFORM_COLOUR,
                           [("10th percentile", summary["p10_uniform_mass"]),
                            ("median", summary["median_uniform_mass"]),
                            ("90th percentile", summary["p90_uniform_mass"])],
                           "from the summary")
    # The summary holds only the median of the weighted mass; its percentiles
    # come from the rows, by the same rule.
    finite_weighted = weighted[np.isfinite(weighted)]
    draw_mass_distribution(fig.add_subplot(grid[2, 1]), weighted, "weighted", WEIGHTED_COLOUR,
                           [("10th percentile", percentile(finite_weighted, 0.1)),
                            ("median", summary["median_weighted_mass"]),
                            ("90th percentile", percentile(finite_weighted, 0.9))],
                           "median from the summary, percentiles from the rows")
    try:
        fig.savefig(out_path, dpi=FIGURE_DPI, format="png")
    except OSError as e:
        raise InputError(f"cannot write figure '{out_path}': {e.strerror}") from None
    finally:
        plt.close(fig)


def main(argv):
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Draw the results of an erdos-straus run (its results CSV and summary JSON) as one PNG.")
    parser.add_argument("--results", default="results/erdos_results.csv", metavar="CSV",
                        help="per-prime results file (default: %(default)s)")
    parser.add_argument("--summary", default="results/erdos_summary.json", metavar="JSON",
                        help="run summary file (default: %(default)s)")
    parser.add_argument("--out", default="results/erdos_plots.png", metavar="PNG",
                        help="figure to write (default: %(default)s)")
    args = parser.parse_args(argv)
    try:
        summary = read_summary(args.summary)
        columns = read_results(args.results, summary)
        if os.path.dirname(args.out) and not os.path.isdir(os.path.dirname(args.out)):
            raise InputError(f"cannot write figure '{args.out}': its directory does not exist")
        plot(summary, columns, args.out)
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
