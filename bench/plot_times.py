#!/usr/bin/env python3
"""Wall time against the number of sequences, one line per program, from
the timings.tsv of bench/run_bench.sh (timing sets only, not BAliBASE).

Usage: plot_times.py TIMINGS_TSV OUTPUT_PNG
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main():
    points = {}
    with open(sys.argv[1]) as f:
        for line in f:
            case, tool, wall, _, _, _, status, _, n = line.rstrip("\n").split("\t")
            if case.startswith("BB") or int(status) != 0:
                continue
            points.setdefault(tool, []).append((int(n), float(wall)))
    fig, ax = plt.subplots(figsize=(6, 4))
    for tool, pts in sorted(points.items()):
        pts.sort()
        ax.plot([p[0] for p in pts], [p[1] for p in pts], marker="o", label=tool)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("sequences")
    ax.set_ylabel("wall time (s)")
    ax.set_title("Whole run on the timing sets")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(sys.argv[2], dpi=120)
    return 0


if __name__ == "__main__":
    sys.exit(main())
