#!/usr/bin/env python3
"""Tables of one run of bench/run_bench.sh: xKESTRA's phases and its wall
and processor times against mafft, probcons and muscle on the timing sets,
and, where BAliBASE cases were run, their SP accuracy.

Usage: bench_report.py RESULTS_DIR BALIBASE_DIR
RESULTS_DIR holds timings.tsv (case, tool, wall, user, sys, load, status,
peak KiB, sequences),
sets/<set>/phases.json (bench_run_phases) and balibase/<case>/<tool>/.
"""
import json
import math
import os
import sys

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "accuracy"))
import accuracy  # noqa: E402
import alignscore  # noqa: E402

TOOLS = ("mafft", "probcons", "muscle")
PHASES = (("input_s", "input"), ("all_pairs_s", "all pairs"), ("parent_profile_s", "parent"),
          ("initial_MSA_s", "init MSA"), ("state_model_s", "state mdl"), ("shutdown_s", "shutdown"),
          ("total_s", "total"))


def read_timings(path):
    t = {}
    with open(path) as f:
        for line in f:
            case, tool, wall, user, sys_, load, status, peak, _ = line.rstrip("\n").split("\t")
            t[(case, tool)] = {"wall": float(wall), "cpu": float(user) + float(sys_), "load": float(load),
                               "status": int(status), "peak_mb": float(peak) / 1024.0}
    return t


def fmt(x, w=8, d=2):
    if x is None or (isinstance(x, float) and math.isnan(x)):
        return "-".rjust(w)
    return f"{x:{w}.{d}f}"


def time_cell(t):
    if t is None:
        return "-".rjust(8)
    mark = "*" if t["status"] != 0 else " "
    return f"{t['wall']:7.2f}{mark}"


def main():
    results, balibase = sys.argv[1], sys.argv[2]
    timings = read_timings(os.path.join(results, "timings.tsv"))
    sets = sorted({c for c, _ in timings if not c.startswith("BB")})
    cases = sorted({c for c, _ in timings if c.startswith("BB")})

    print("xKESTRA phases (bench_run_phases, -r 1, wall seconds)")
    print(f"{'set':<16}" + "".join(f"{h:>10}" for _, h in PHASES))
    for s in sets:
        p = os.path.join(results, "sets", s, "phases.json")
        cells = ["-".rjust(10)] * len(PHASES)
        if os.path.exists(p):
            with open(p) as f:
                b = json.load(f)["benchmarks"][0]
            cells = [fmt(b.get(k), 10, 3) for k, _ in PHASES]
        print(f"{s:<16}" + "".join(cells))
    print()

    print("Whole runs, same machine, same run (wall s; CPU = user+sys s incl. child processes; "
          "peak = peak resident MB of the largest process; "
          "load = 1-min load average at the start; * = stopped at the cap or failed)")
    head = f"{'set':<16}{'tool':<10}{'wall':>8}{'CPU':>8}{'peak':>8}{'load':>6}"
    print(head + f"{'xK/tool wall':>14}{'xK/tool CPU':>13}")
    for s in sets:
        xk = timings.get((s, "xkestra"))
        for tool in ("xkestra",) + TOOLS:
            t = timings.get((s, tool))
            if t is None:
                continue
            line = f"{s:<16}{tool:<10}{time_cell(t)}{fmt(t['cpu'])}{fmt(t['peak_mb'], 8, 0)}{fmt(t['load'], 6)}"
            if tool != "xkestra" and xk is not None:
                line += f"{fmt(xk['wall'] / t['wall'], 14)}{fmt(xk['cpu'] / t['cpu'] if t['cpu'] > 0 else float('nan'), 13)}"
            print(line)
    print()

    if not cases:
        return 0
    print("BAliBASE accuracy on the core-block columns (SP: share of the reference's aligned residue pairs "
          "reproduced; TC: share of core columns reproduced whole; xK aligned: share of residues in "
          "xKESTRA's local listing; bench/accuracy/ is the full accuracy benchmark)")
    programs = ("xkestra",) + TOOLS
    print(f"{'case':<10}{'n':>3}{'xK aligned':>11}" + "".join(f"{t[:8] + ' SP':>12}{'TC':>6}" for t in programs)
          + "".join(f"{t[:8]:>9}" for t in programs))
    sums = {}
    for case in cases:
        rv = "RV11" if case.startswith("BB11") else "RV12"
        try:
            c = accuracy.balibase_case(os.path.join(balibase, rv), rv, case)
        except (OSError, ValueError) as e:
            print(f"{case:<10} reference: {e}")
            continue
        row, line = [], f"{case:<10}{len(c.seqs):>3}"
        for tool in programs:
            try:
                test = accuracy.test_alignment(c, os.path.join(results, "balibase", case, tool),
                                               "xkestra" if tool == "xkestra" else "peer")
                sp, tc, _, _ = alignscore.sp_tc(c.ref_cols, test)
                if tool == "xkestra":
                    row.append(sum(x is not None for t in test for x in t) / sum(len(t) for t in test))
                    line += fmt(row[-1], 11, 3)
            except (OSError, ValueError):
                sp = tc = float("nan")
                if tool == "xkestra":
                    row.append(sp)
                    line += fmt(sp, 11, 3)
            row += [sp, tc]
            line += fmt(sp, 12, 3) + fmt(tc, 6, 2)
        line += "".join(time_cell(timings.get((case, t))).rjust(9) for t in programs)
        print(line)
        for k, v in enumerate(row):
            sums.setdefault(k, []).append(v)
    if sums:
        mean = [accuracy.mean(vals) for _, vals in sorted(sums.items())]
        line = f"{'mean':<10}{'':>3}{fmt(mean[0], 11, 3)}"
        for k in range(len(programs)):
            line += fmt(mean[1 + 2 * k], 12, 3) + fmt(mean[2 + 2 * k], 6, 2)
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
