#!/usr/bin/env python3
"""Wall-clock time of whole runs on one FASTA file, in one sitting: xKESTRA
classic, xKESTRA -m accurate and ProbCons (installed by bench/run_bench.sh),
each in a fresh working directory, the ratios to the classic run printed.

Usage: time_run.py FASTA [--repeat N] [--bin build/bin]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TOOLS = ["xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"]


def timed(cmd, fasta, bindir, stdout_file=None):
    work = tempfile.mkdtemp(prefix="xktime")
    try:
        for t in TOOLS:
            os.symlink(os.path.join(bindir, t), os.path.join(work, t))
        shutil.copy(fasta, os.path.join(work, "in.fa"))
        out = open(os.path.join(work, stdout_file), "w") if stdout_file else subprocess.DEVNULL
        start = time.monotonic()
        r = subprocess.run(cmd, cwd=work, stdout=out, stderr=subprocess.DEVNULL)
        took = time.monotonic() - start
        if r.returncode != 0:
            raise SystemExit(f"{cmd[0]} failed: status {r.returncode}")
        return took
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("fasta")
    ap.add_argument("--repeat", type=int, default=1)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    a = ap.parse_args()
    bindir = os.path.abspath(a.bin)
    fasta = os.path.abspath(a.fasta)
    xk = os.path.join(bindir, "xKESTRA")
    runs = {
        "xKESTRA classic": lambda: timed([xk, "in.fa", "out.txt", "-r", "1"], fasta, bindir),
        "xKESTRA accurate": lambda: timed([xk, "in.fa", "out.txt", "-r", "1", "-m", "accurate"], fasta, bindir),
    }
    if shutil.which("probcons"):
        runs["probcons"] = lambda: timed(["probcons", "in.fa"], fasta, bindir, "aln.fa")
    best = {}
    for _ in range(a.repeat):
        for name, run in runs.items():
            t = run()
            best[name] = min(best.get(name, t), t)
    base = best["xKESTRA classic"]
    print(f"{os.path.basename(fasta)}: {os.cpu_count()} cores, best of {a.repeat}")
    for name, t in best.items():
        print(f"  {name:18s} {t:8.2f} s   {t / base:5.2f} x classic")
    return 0


if __name__ == "__main__":
    sys.exit(main())
