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

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sp_score  # noqa: E402

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
    print("BAliBASE accuracy (SP: share of the reference's aligned residue pairs reproduced; core: "
          "core-block columns only; pres: only pairs of residues present in xKESTRA's local listing; "
          "cov: share of residues xKESTRA lists)")
    print(f"{'case':<10}{'n':>3}{'xK cov':>8}{'xK SP':>7}{'xK pres':>8}{'xK core':>8}{'xKcorePr':>9}"
          + "".join(f"{t[:8] + ' SP':>12}{'pres':>6}{'coreP':>6}" for t in TOOLS)
          + f"{'xK wall':>9}" + "".join(f"{t[:8]:>9}" for t in TOOLS))
    sums = {}
    for case in cases:
        rv = "RV11" if case.startswith("BB11") else "RV12"
        ref = os.path.join(balibase, rv, case + ".msf")
        tfa = os.path.join(balibase, rv, case + ".tfa")
        xml = os.path.join(balibase, rv, case + ".xml")
        d = os.path.join(results, "balibase", case)
        try:
            xk = sp_score.score(ref, tfa, os.path.join(d, "xkestra", "out.txt"), True, xml)
        except (OSError, ValueError) as e:
            print(f"{case:<10} xKESTRA: {e}")
            continue
        row = [xk["coverage"], xk["sp"], xk["sp_present"], xk["core_sp"], xk["core_sp_present"]]
        line = f"{case:<10}{xk['sequences']:>3}" + "".join(fmt(v, w, 3) for v, w in zip(row, (8, 7, 8, 8, 9)))
        for tool in TOOLS:
            try:
                r = sp_score.score(ref, tfa, os.path.join(d, tool, "out.fa"), False, xml)
                pres, core_pres = sp_score.sp_on(r, xk["present"])
                vals = [r["sp"], pres, core_pres]
            except (OSError, ValueError):
                vals = [float("nan")] * 3
            row += vals
            line += fmt(vals[0], 12, 3) + fmt(vals[1], 6, 2) + fmt(vals[2], 6, 2)
        line += "".join(time_cell(timings.get((case, t))).rjust(9) for t in ("xkestra",) + TOOLS)
        print(line)
        for k, v in enumerate(row):
            sums.setdefault(k, []).append(v)
    if sums:
        mean = [sum(v for v in vals if not math.isnan(v)) / max(1, sum(1 for v in vals if not math.isnan(v)))
                for _, vals in sorted(sums.items())]
        line = f"{'mean':<10}{'':>3}" + "".join(fmt(v, w, 3) for v, w in zip(mean[:5], (8, 7, 8, 8, 9)))
        for k in range(len(TOOLS)):
            a, b, c = mean[5 + 3 * k:8 + 3 * k]
            line += fmt(a, 12, 3) + fmt(b, 6, 2) + fmt(c, 6, 2)
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
