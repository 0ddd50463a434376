#!/usr/bin/env python3
"""Mean SP of xKESTRA runs on HOMSTRAD families or BAliBASE cases.

Quick evaluation for the accurate mode: each configuration is a program of
build/bin and its arguments (INPUT OUTPUT are put in front of them, or in
place of a "{io}" argument); every
case runs in a fresh working directory beside the converter, gamma tool and
data files.  SP is the share of the reference's aligned residue pairs that
the final listing also puts in one column (BAliBASE: core columns only).

HOMSTRAD families are split by the 32-bit FNV-1a hash of the folder name:
held out when it is 0 modulo 5, training otherwise.  HOMSTRAD's sequences
are the structurally aligned domains only; --flanks gives about half of the
sequences an unrelated stretch of 10 to 80 residues (cut from families of the
same part of the split) in front and half of them one behind, as whole
proteins have, and scores the domains' residues only.

A configuration "NAME=@PEER" runs a peer aligner instead (a name of
bench/accuracy/accuracy.py's PEERS: kalign, clustalo, mafft-linsi, muscle,
probcons; installed by bench/run_bench.sh or bench/accuracy/run.sh) and
scores its aligned FASTA the same way, so that a choice made on training
families can be set beside the peers' figures on the very same cases.

Usage:
  evaluate.py --set train|heldout|rv11|rv12 [--limit N] [--jobs J]
              --config NAME=PROGRAM ARG ... [--config ...]
e.g. --config "classic=xKESTRA -r 1" --config "acc=xk_gap_trial 12 1 pe {io} -r 1 -m accurate"
     --config "muscle=@muscle"
"""
import argparse
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "accuracy"))
import alignscore  # noqa: E402
from accuracy import PEERS  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))
SHARED = os.path.join(ROOT, "..", "shared")
TOOLS = ["xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"]


def fnv1a(name):
    h = 2166136261
    for b in name.encode():
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def read_pir(path):
    """Names and aligned rows of a HOMSTRAD .ali file."""
    names, rows = [], []
    with open(path) as f:
        lines = f.read().splitlines()
    k = 0
    while k < len(lines):
        if lines[k].startswith(">P1;"):
            names.append(lines[k][4:].strip())
            k += 2
            row = []
            while k < len(lines) and not lines[k].startswith(">"):
                row.append(lines[k].strip())
                k += 1
            rows.append("".join(row).replace("*", "").replace("/", "").upper())
        else:
            k += 1
    return names, rows


def mean_identity(rows):
    """Mean over the member pairs of the identical share of their aligned
    residue pairs in the reference."""
    vals = []
    for i in range(len(rows)):
        for j in range(i + 1, len(rows)):
            pairs = [(a, b) for a, b in zip(rows[i], rows[j]) if a.isalpha() and b.isalpha()]
            if pairs:
                vals.append(sum(a == b for a, b in pairs) / len(pairs))
    return sum(vals) / len(vals) if vals else 0.0


def homstrad_cases(held_out, limit, max_seqs, max_len, min_seqs=3, max_identity=1.0):
    base = os.path.join(SHARED, "data", "homstrad")
    out = []
    for fam in sorted(os.listdir(base)):
        if (fnv1a(fam) % 5 == 0) != held_out:
            continue
        ali = os.path.join(base, fam, fam + ".ali")
        if not os.path.exists(ali):
            continue
        names, rows = read_pir(ali)
        seqs = [re.sub(r"[^A-Z]", "", r) for r in rows]
        if not min_seqs <= len(names) <= max_seqs or max(len(s) for s in seqs) > max_len:
            continue
        if max_identity < 1.0 and mean_identity([r.upper() for r in rows]) >= max_identity:
            continue
        out.append(("homstrad", fam, names, rows, seqs))
    step = max(1, len(out) // limit) if limit else 1
    return out[::step][:limit] if limit else out


def balibase_cases(which, limit):
    base = os.path.join(SHARED, "bench", "balibase", which)
    cases = sorted(f[:-4] for f in os.listdir(base) if f.endswith(".tfa"))
    if limit:
        cases = cases[:limit]
    return [("balibase", os.path.join(base, c), None, None, None) for c in cases]


def add_flanks(cases):
    """Each HOMSTRAD case with unrelated flanks on its sequences, drawn the
    same way on every call (seeded by the family's hash): (case, offsets),
    offsets[s] the length of sequence s's front flank."""
    pool = "".join(s for c in cases for s in c[4])
    out = []
    for kind, fam, names, rows, seqs in cases:
        rng = random.Random(fnv1a(fam))
        flanked, offsets = [], []
        for s in seqs:
            def flank():
                if rng.random() >= 0.5:
                    return ""
                n = rng.randint(10, 80)
                start = rng.randrange(0, len(pool) - n)
                return pool[start:start + n]
            front, back = flank(), flank()
            flanked.append(front + s + back)
            offsets.append(len(front))
        out.append(((kind, fam, names, rows, flanked), offsets))
    return out


def run_peer(case, peer, work):
    """The residue columns of a peer's alignment of a HOMSTRAD case."""
    kind, name, names, rows, seqs = case
    with open(os.path.join(work, "in.fa"), "w") as f:
        for k, s in enumerate(seqs):
            f.write(f">s{k}\n{s}\n")
    cmd, out = PEERS[peer]
    with open(os.path.join(work, out if out not in cmd else "console.txt"), "w") as o:
        r = subprocess.run(cmd, cwd=work, stdout=o, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        raise ValueError(f"{peer} failed on {name}: {r.stderr.strip()[:200]}")
    aligned = dict(alignscore.read_fasta(os.path.join(work, out)))
    return alignscore.residue_columns([aligned[f"s{k}"] for k in range(len(seqs))], seqs)


def run_case(case, config, bindir, offsets=None):
    kind, name, names, rows, seqs = case
    prog, *args = config.split()
    work = tempfile.mkdtemp(prefix="xkeval")
    try:
        if prog.startswith("@"):
            if kind != "homstrad":
                return None, "BAliBASE cases are scored by bench/accuracy/run.sh"
            test = run_peer(case, prog[1:], work)
            return score_domains(rows, test, offsets), None
        for t in TOOLS:
            os.symlink(os.path.join(bindir, t), os.path.join(work, t))
        if kind == "homstrad":
            with open(os.path.join(work, "in.fa"), "w") as f:
                for n, s in zip(names, seqs):
                    f.write(f">{n}\n{s}\n")
        else:
            shutil.copy(name + ".tfa", os.path.join(work, "in.fa"))
        io = ["in.fa", "out.txt"]
        if "{io}" in args:
            k = args.index("{io}")
            args = args[:k] + io + args[k + 1:]
        else:
            args = io + args
        r = subprocess.run([os.path.join(bindir, prog), *args], cwd=work,
                           capture_output=True, text=True)
        if r.returncode != 0:
            return None, f"{prog} failed on {name}: {r.stderr.strip()[:200]}"
        out = os.path.join(work, "out.txt")
        if kind == "balibase":
            return None, "BAliBASE cases are scored by bench/accuracy/run.sh (--xk-args '-m accurate')"
        listing = alignscore.read_xkestra_listing(out, len(names))
        test = alignscore.residue_columns([r for _, r in listing], seqs, [f for f, _ in listing])
        return score_domains(rows, test, offsets), None
    finally:
        shutil.rmtree(work, ignore_errors=True)


def score_domains(rows, test, offsets):
    """SP of residue columns against the reference rows; with flanks, of the
    domains' residues only."""
    if offsets:
        domains = [re.sub(r"[^A-Z]", "", r) for r in rows]
        test = [cols[o:o + len(d)] for cols, o, d in zip(test, offsets, domains)]
    return alignscore.sp_tc(alignscore.reference_columns(rows), test)[0]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--set", required=True, choices=["train", "heldout", "rv11", "rv12"])
    ap.add_argument("--limit", type=int, default=0)
    ap.add_argument("--min-seqs", type=int, default=3)
    ap.add_argument("--max-seqs", type=int, default=12)
    ap.add_argument("--max-identity", type=float, default=1.0,
                    help="only families whose members are on average less identical than this (0..1)")
    ap.add_argument("--max-len", type=int, default=400)
    ap.add_argument("--jobs", type=int, default=1)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    ap.add_argument("--config", action="append", required=True)
    ap.add_argument("--flanks", action="store_true", help="unrelated flanks on the HOMSTRAD sequences")
    ap.add_argument("--per-case", action="store_true", help="also print every case's SP")
    a = ap.parse_args()
    if a.set in ("train", "heldout"):
        cases = homstrad_cases(a.set == "heldout", a.limit, a.max_seqs, a.max_len, a.min_seqs,
                               a.max_identity)
        if a.flanks:
            flanked = add_flanks(cases)
            cases = [c for c, _ in flanked]
            offsets = [o for _, o in flanked]
    else:
        cases = balibase_cases(a.set.upper(), a.limit)
    if not a.flanks:
        offsets = [None] * len(cases)
    configs = [c.split("=", 1) for c in a.config]
    results = {name: [] for name, _ in configs}
    with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
        futs = {(cname, k): pool.submit(run_case, case, conf, os.path.abspath(a.bin), offsets[k])
                for cname, conf in configs for k, case in enumerate(cases)}
        for (cname, k), fut in sorted(futs.items(), key=lambda x: x[0][1]):
            try:
                sp, err = fut.result()
            except (OSError, ValueError) as e:  # one case's failure is reported, not fatal
                sp, err = None, f"{cname} on case {k}: {e}"
            if err:
                print(err, file=sys.stderr)
            results[cname].append(sp)
    if a.per_case:
        print("case " + " ".join(f"{n:>10s}" for n in results))
        for k, case in enumerate(cases):
            vals = " ".join(f"{'-' if v[k] is None else f'{v[k]:.3f}':>10s}" for v in results.values())
            print(f"{os.path.basename(case[1])} {vals}")
    print(f"{a.set}: {len(cases)} cases")
    for cname, vals in results.items():
        ok = [v for v in vals if v is not None]
        mean = sum(ok) / len(ok) if ok else float("nan")
        print(f"  {cname:24s} mean SP {mean:.3f}  ({len(ok)} scored, {len(vals) - len(ok)} failed)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
