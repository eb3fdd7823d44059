#!/usr/bin/env python3
"""Plot the benchmark's median copy time against tree size, from results.csv.

One panel per layout, one line per tool, both axes logarithmic (a straight
line of slope 1, like the grey guide, is time growing linearly with the
number of caption files). Needs matplotlib (Debian: python3-matplotlib).

  python3 bench/plot.py                      # bench/results/results.csv -> plot.png
  python3 bench/plot.py --csv FILE --out FILE.png
"""

import argparse
import csv
import os
import sys

try:
    import matplotlib
    matplotlib.use("Agg")  # a file, no window
    import matplotlib.pyplot as plt
    from matplotlib.ticker import FixedLocator, FuncFormatter, LogLocator, NullLocator
except ImportError:
    sys.exit("plot.py needs matplotlib: apt-get install python3-matplotlib "
             "(it serves Debian's own /usr/bin/python3)")

HERE = os.path.dirname(os.path.abspath(__file__))

TOOL_STYLE = [  # tool, legend text, matplotlib line format, colour
    ("cuecarry-empty", "cuecarry, empty destination", "o-", "#1f57c8"),
    ("cuecarry-full", "cuecarry, full destination", "s-", "#783cbe"),
    ("baseline-empty", "earlier build, empty destination", "o--", "#86a6e0"),
    ("baseline-full", "earlier build, full destination", "s--", "#b79ae0"),
    ("reference-empty", "reference copier, empty destination", "o:", "#222222"),
    ("reference-full", "reference copier, full destination", "s:", "#808080"),
    ("rsync", "rsync -a (filters)", "^-", "#e67814"),
    ("cp", "xargs cp --parents", "v-", "#1e963c"),
]
LAYOUT_TITLE = {"vod": "VOD (flat layout)", "zelvora": "Zelvora (nested layout)"}


def count_label(v, _pos=None):
    return "{:,}".format(int(round(v)))


def seconds_label(v, _pos=None):
    return "{:g}".format(v)


def draw_panel(ax, rows, layout):
    for tool, label, style, colour in TOOL_STYLE:
        pts = sorted((float(r["caption_files"]), float(r["median_s"]))
                     for r in rows if r["layout"] == layout and r["tool"] == tool)
        if pts:
            ax.plot(*zip(*pts), style, color=colour, label=label,
                    linewidth=1.8, markersize=5)
    ref = sorted((float(r["caption_files"]), float(r["median_s"])) for r in rows
                 if r["layout"] == layout and r["tool"] == "cuecarry-empty")
    if len(ref) >= 2:
        (x1, y1), x2 = ref[0], ref[-1][0]
        ax.plot([x1, x2], [y1, y1 * x2 / x1], "--", color="#999999", linewidth=1,
                label="linear growth from the first cuecarry point")
    ax.set_xscale("log")
    ax.set_yscale("log")
    # the tree sizes themselves label the x axis
    sizes = {float(r["caption_files"]) for r in rows if r["layout"] == layout}
    ax.xaxis.set_major_locator(FixedLocator(sorted(sizes)))
    ax.xaxis.set_major_formatter(FuncFormatter(count_label))
    ax.xaxis.set_minor_locator(NullLocator())
    ax.yaxis.set_major_locator(LogLocator(subs=(1.0, 2.0, 5.0)))
    ax.yaxis.set_major_formatter(FuncFormatter(seconds_label))
    ax.yaxis.set_minor_locator(NullLocator())
    ax.set_title(LAYOUT_TITLE.get(layout, layout))
    ax.set_xlabel("caption files")
    ax.set_ylabel("seconds (median)")
    ax.grid(True, color="#e6e6e6")


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--csv", default=os.path.join(HERE, "results", "results.csv"))
    ap.add_argument("--out", default=os.path.join(HERE, "results", "plot.png"))
    a = ap.parse_args(argv)
    with open(a.csv, newline="") as f:
        rows = [r for r in csv.DictReader(f)
                if r.get("median_s") and float(r["median_s"]) > 0]
    if not rows:
        sys.exit("no timed rows in %s" % a.csv)
    layouts = [l for l in LAYOUT_TITLE if any(r["layout"] == l for r in rows)]
    layouts += sorted({r["layout"] for r in rows} - set(layouts))

    fig, axes = plt.subplots(1, len(layouts), figsize=(6 * len(layouts), 5.2),
                             sharey=True, squeeze=False)
    for ax, layout in zip(axes[0], layouts):
        draw_panel(ax, rows, layout)
    fig.suptitle("cuecarry benchmark: copy time against tree size (log-log, warm cache)")
    legend = {}  # one entry per label, whichever panel has it
    for ax in axes[0]:
        for handle, label in zip(*ax.get_legend_handles_labels()):
            legend.setdefault(label, handle)
    fig.legend(legend.values(), legend.keys(), loc="lower center", ncol=3,
               fontsize="small", frameon=False)
    fig.tight_layout(rect=(0, 0.16, 1, 1))
    os.makedirs(os.path.dirname(os.path.abspath(a.out)), exist_ok=True)
    fig.savefig(a.out, dpi=100)
    print("wrote %s" % a.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
