#!/usr/bin/env python3
"""Accuracy benchmark: runs xKESTRA and the peer aligners on BAliBASE RV11
and RV12 and on the held-out HOMSTRAD families, scores SP and TC against the
references, and writes the tables and plots.  Normally started by
bench/accuracy/run.sh, which builds xKESTRA and installs the peers first.

Every run has a folder OUT/runs/SET/CASE/PROGRAM/ with the input (in.fa), the
program's output, its log and result.tsv (exit status, wall seconds).  A
program's runs are kept between invocations: xKESTRA (under its label) is
rerun every time, a peer only where its result is missing.  So two models
are compared by running twice into one OUT with different --data and
--label; the report scores every program folder found.

Scoring: BAliBASE on the core-block columns of the .xml reference; HOMSTRAD
on every column of the .ali reference with two or more residues.  xKESTRA's
alignment is read from its aligned FASTA file when it wrote one (lower-case
letters: unaligned residues), else from the report's final listing (residues
outside the listed stretch: unaligned).
"""
import argparse
import concurrent.futures
import math
import os
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no caches in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import alignscore as al  # noqa: E402

SETS = ("RV11", "RV12", "homstrad")
# Peer name: (command, output file).  The command runs in the run folder on in.fa.
PEERS = {
    "kalign": (["kalign", "-i", "in.fa", "-o", "out.fa"], "out.fa"),
    "clustalo": (["clustalo", "-i", "in.fa", "-o", "out.fa", "--force"], "out.fa"),
    "mafft-linsi": (["mafft", "--localpair", "--maxiterate", "1000", "in.fa"], "out.fa"),
    "muscle": (["muscle", "-align", "in.fa", "-output", "out.fa", "-threads", "1"], "out.fa"),
    "probcons": (["probcons", "in.fa"], "out.fa"),
}
XK_FILES = ("xKESTRA", "xmkprof", "xkordel_gamma")
DATA_FILES = ("model_R.hmm", "observed", "expected")


def fnv1a32(text):
    """32-bit FNV-1a hash of the bytes of a text."""
    h = 2166136261
    for b in text.encode():
        h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h


def held_out(family):
    """Whether a HOMSTRAD family is held out from training (1 in 5 by hash)."""
    return fnv1a32(family) % 5 == 0


# -- cases --------------------------------------------------------------------

class Case:
    """One benchmark case: names and residues of the input sequences, and the
    scored reference columns."""

    def __init__(self, set_name, name, names, seqs, ref_cols):
        self.set, self.name, self.names, self.seqs, self.ref_cols = set_name, name, names, seqs, ref_cols


def balibase_case(folder, set_name, name):
    records = al.read_fasta(os.path.join(folder, name + ".tfa"))
    names, seqs = [n for n, _ in records], [s.upper() for _, s in records]
    xml = os.path.join(folder, name + ".xml")
    ref_names, ref_rows, core = al.read_balibase_xml(xml)
    rows = al.by_name(list(zip(ref_names, ref_rows)), names, xml)
    al.residue_columns(rows, seqs, label=xml)  # the reference holds exactly the input's residues
    if any(sum(ch not in al.GAPS for ch in r) != len(s) for r, s in zip(rows, seqs)):
        raise al.FormatError(f"{xml}: a row lacks residues of its sequence")
    return Case(set_name, name, names, seqs, al.reference_columns(rows, core))


def homstrad_case(folder, name):
    entries = al.read_pir(os.path.join(folder, name, name + ".ali"))
    names = [n for n, _ in entries]
    rows = [r.upper() for _, r in entries]
    seqs = ["".join(ch for ch in r if ch not in al.GAPS) for r in rows]
    return Case("homstrad", name, names, seqs, al.reference_columns(rows))


def load_cases(shared, sets, limit):
    cases = []
    for s in sets:
        if s == "homstrad":
            folder = os.path.join(shared, "data", "homstrad")
            names = sorted(f for f in os.listdir(folder)
                           if held_out(f) and os.path.exists(os.path.join(folder, f, f + ".ali")))
            make = lambda n: homstrad_case(folder, n)  # noqa: E731
        else:
            folder = os.path.join(shared, "bench", "balibase", s)
            names = sorted(f[:-4] for f in os.listdir(folder) if f.endswith(".tfa"))
            make = lambda n, folder=folder, s=s: balibase_case(folder, s, n)  # noqa: E731
        cases += [make(n) for n in names[:limit or None]]
    return cases


# -- running ------------------------------------------------------------------

def stage_xkestra(work, a):
    for f in XK_FILES:
        os.symlink(os.path.join(a.bin, f), os.path.join(work, f))
    for f in DATA_FILES:
        os.symlink(os.path.join(a.data or a.bin, f), os.path.join(work, f))


def run_one(case, program, a):
    """Runs one program on one case in a fresh folder; returns (status, wall)."""
    work = os.path.join(a.out, "runs", case.set, case.name, program)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "in.fa"), "w") as f:
        for n, s in zip(case.names, case.seqs):
            f.write(f">{n}\n" + "".join(s[k:k + 60] + "\n" for k in range(0, len(s), 60)))
    if program == a.label:
        stage_xkestra(work, a)
        fasta = ["-o", "aln.fa", "-f", "fasta"] if a.xk_fasta else []
        cmd, stdout = ["./xKESTRA", "in.fa", "out.txt", "-r", str(a.seed)] + fasta + a.xk_args.split(), "console.txt"
    else:
        cmd, out = PEERS[program]
        stdout = out if out not in cmd else "console.txt"
    t0 = time.monotonic()
    try:
        with open(os.path.join(work, stdout), "w") as o, open(os.path.join(work, "log.txt"), "w") as e:
            status = subprocess.run(cmd, cwd=work, stdout=o, stderr=e, timeout=a.cap).returncode
    except subprocess.TimeoutExpired:
        status = "timeout"
    wall = time.monotonic() - t0
    if program == a.label:
        for f in XK_FILES + DATA_FILES:
            os.remove(os.path.join(work, f))
    with open(os.path.join(work, "result.tsv"), "w") as f:
        f.write(f"{'xkestra' if program == a.label else 'peer'}\t{status}\t{wall:.2f}\n")
    return status, wall


def run_all(cases, programs, a):
    # Set by set, cases in name order, so that a stopped run leaves whole sets
    # and an unbiased sample of the last one.
    todo = []
    for c in cases:
        for p in programs:
            done = os.path.join(a.out, "runs", c.set, c.name, p, "result.tsv")
            if (p == a.label and not a.resume) or not os.path.exists(done):
                todo.append((c, p))
    print(f"== {len(todo)} runs on {len(cases)} cases, {a.jobs} at a time", flush=True)
    with concurrent.futures.ThreadPoolExecutor(max_workers=a.jobs) as pool:
        futures = {pool.submit(run_one, c, p, a): (c, p) for c, p in todo}
        for k, fut in enumerate(concurrent.futures.as_completed(futures), 1):
            c, p = futures[fut]
            status, wall = fut.result()
            mark = "" if status == 0 else f"  (status {status})"
            print(f"   [{k}/{len(todo)}] {c.set} {c.name} {p}: {wall:.1f} s{mark}", flush=True)


# -- scoring ------------------------------------------------------------------

def test_alignment(case, folder, kind):
    """Per sequence of the case, the column of each residue (None: unaligned)
    in a program's output."""
    fasta = os.path.join(folder, "aln.fa" if kind == "xkestra" else "out.fa")
    if kind == "xkestra" and not os.path.exists(fasta):
        listing = al.read_xkestra_listing(os.path.join(folder, "out.txt"), len(case.names))
        return al.residue_columns([r for _, r in listing], case.seqs, [f for f, _ in listing],
                                  label=folder)
    records = al.read_fasta(fasta)
    if kind == "xkestra" and len(records) == len(case.names) and sorted(n for n, _ in records) != sorted(case.names):
        rows = [r for _, r in records]  # names shortened by the writer: input order
    else:
        rows = al.by_name(records, case.names, fasta)
    return al.residue_columns(rows, case.seqs, lower_unaligned=kind == "xkestra", label=fasta)


def score_case(case, out):
    """Rows (set, case, program, sequences, status, wall, SP, TC, aligned share)
    for every program run on the case; a failed run scores 0."""
    rows = []
    top = os.path.join(out, "runs", case.set, case.name)
    for program in sorted(os.listdir(top)) if os.path.isdir(top) else []:
        folder = os.path.join(top, program)
        try:
            with open(os.path.join(folder, "result.tsv")) as f:
                kind, status, wall = f.read().split()
        except (OSError, ValueError):
            continue
        sp = tc = 0.0
        aligned = float("nan")
        if status == "0":
            try:
                test = test_alignment(case, folder, kind)
                sp, tc, _, _ = al.sp_tc(case.ref_cols, test)
                aligned = sum(c is not None for t in test for c in t) / sum(len(t) for t in test)
            except (OSError, ValueError) as e:
                status = "unreadable"
                print(f"   {case.set} {case.name} {program}: {e}", file=sys.stderr)
        rows.append((case.set, case.name, program, len(case.seqs), status, float(wall), sp, tc, aligned))
    return rows


def mean(values):
    values = [v for v in values if not math.isnan(v)]
    return sum(values) / len(values) if values else float("nan")


def summary(rows, sets):
    """Markdown tables: per set, per program the number of cases, failures,
    mean SP, mean TC, mean aligned share and summed wall time; then mean SP
    and TC per set and program in one table.  Only the cases that every
    program ran count, so that the means compare like with like."""
    programs = sorted({r[2] for r in rows}, key=lambda p: (p in PEERS, p))
    lines = []
    for s in sets:
        ran = {}
        for r in rows:
            if r[0] == s:
                ran.setdefault(r[1], set()).add(r[2])
        common = {c for c, ps in ran.items() if ps == set(programs)}
        mine = [r for r in rows if r[0] == s and r[1] in common]
        if len(common) < len(ran):
            lines += [f"({s}: {len(ran) - len(common)} cases left out, not run by every program)", ""]
        rows = [r for r in rows if r[0] != s or r[1] in common]
        if not mine:
            continue
        lines += [f"### {s} ({len(common)} cases)", "",
                  "| program | cases | failed | mean SP | mean TC | aligned residues | wall s |",
                  "|---|---|---|---|---|---|---|"]
        for p in programs:
            pr = [r for r in mine if r[2] == p]
            if pr:
                lines.append(f"| {p} | {len(pr)} | {sum(r[4] != '0' for r in pr)} | {mean([r[6] for r in pr]):.3f} "
                             f"| {mean([r[7] for r in pr]):.3f} | {mean([r[8] for r in pr]):.3f} "
                             f"| {sum(r[5] for r in pr):.0f} |")
        lines.append("")
    lines += ["### Mean SP / TC per set", "", "| set | " + " | ".join(programs) + " |",
              "|---|" + "---|" * len(programs)]
    for s in sets:
        cells = []
        for p in programs:
            pr = [r for r in rows if r[0] == s and r[2] == p]
            cells.append(f"{mean([r[6] for r in pr]):.3f} / {mean([r[7] for r in pr]):.3f}" if pr else "-")
        if any(c != "-" for c in cells):
            lines.append(f"| {s} | " + " | ".join(cells) + " |")
    return "\n".join(lines) + "\n"


def plot(rows, sets, out):
    """One PNG per set: SP per case, the programs' bars side by side."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("== no matplotlib (Debian: python3-matplotlib): no plots", file=sys.stderr)
        return
    programs = sorted({r[2] for r in rows}, key=lambda p: (p in PEERS, p))
    for s in sets:
        mine = {(r[1], r[2]): r[6] for r in rows if r[0] == s}
        cases = sorted({c for c, _ in mine})
        if not cases:
            continue
        width = 0.8 / len(programs)
        fig, ax = plt.subplots(figsize=(max(8.0, 0.25 * len(cases) * len(programs) ** 0.5), 4.5))
        for k, p in enumerate(programs):
            xs = [i + (k - (len(programs) - 1) / 2) * width for i in range(len(cases))]
            ax.bar(xs, [mine.get((c, p), 0.0) for c in cases], width, label=p)
        ax.set_xticks(range(len(cases)))
        ax.set_xticklabels(cases, rotation=90, fontsize=6)
        ax.set_xlim(-0.6, len(cases) - 0.4)
        ax.set_ylim(0, 1)
        ax.set_ylabel("SP")
        ax.set_title(f"{s}: sum-of-pairs score per case")
        ax.legend(fontsize=7, ncol=len(programs), loc="upper center", bbox_to_anchor=(0.5, -0.25))
        fig.tight_layout()
        fig.savefig(os.path.join(out, f"sp_{s}.png"), dpi=120)
        plt.close(fig)


def pair_sp(case, pairs):
    """(hits, reference pairs, aligned share) of a case's pairwise
    alignments ({(i, j): ((first, row), (first, row))}, every pair of the
    case) on the reference pairs."""
    n = len(case.seqs)
    if sorted(pairs) != [(i, j) for i in range(1, n + 1) for j in range(i + 1, n + 1)]:
        raise al.FormatError(f"{case.set} {case.name}: the pairwise alignments do not cover every pair once")
    hits = total = aligned = residues = 0
    for (i, j), ((f1, r1), (f2, r2)) in pairs.items():
        t = al.residue_columns([r1, r2], [case.seqs[i - 1], case.seqs[j - 1]], [f1, f2],
                               label=f"{case.name} pair {i}-{j}")
        sp, _, count, _ = al.sp_tc(al.restrict(case.ref_cols, {i - 1, j - 1}), {i - 1: t[0], j - 1: t[1]})
        hits += round(sp * count) if count else 0
        total += count
        aligned += sum(x is not None for side in t for x in side)
        residues += len(t[0]) + len(t[1])
    return hits, total, aligned / residues


def allpairs_report(cases, sets, a):
    """SP on the reference pairs of the all-pairs phase's own alignments (from
    the report of the xKESTRA run under --label) beside BLOSUM62 with the same
    local aligner and gap costs and BLOSUM62 end to end (xk_pair_aligners)."""
    tool = os.path.join(a.bin, "xk_pair_aligners")
    blosum = os.path.join(os.path.dirname(os.path.dirname(a.bin)), "data", "blosum62_joint.tsv")
    if not os.path.exists(blosum):
        blosum = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "blosum62_joint.tsv")
    methods = (f"{a.label} all-pairs", "BLOSUM62 local (same aligner)", "BLOSUM62 end to end (11 + k)")
    per_set = {}
    for c in cases:
        folder = os.path.join(a.out, "runs", c.set, c.name, a.label)
        if not os.path.exists(os.path.join(folder, "out.txt")):
            continue
        try:
            sources = [al.read_pair_reports(os.path.join(folder, "out.txt"))]
            for mode in ("local", "global"):
                text = subprocess.run([tool, mode, blosum, os.path.join(folder, "in.fa")], check=True,
                                      capture_output=True, text=True).stdout
                with open(os.path.join(folder, f"pairs_{mode}.txt"), "w") as f:
                    f.write(text)
                sources.append(al.read_pair_reports(os.path.join(folder, f"pairs_{mode}.txt")))
            scores = [pair_sp(c, s) for s in sources]
        except (OSError, ValueError, subprocess.CalledProcessError) as e:
            print(f"   {c.set} {c.name}: all-pairs scoring failed: {e}", file=sys.stderr)
            continue
        per_set.setdefault(c.set, []).append([(h / n if n else float("nan"), share) for h, n, share in scores])
    lines = ["### All-pairs phase: pairwise alignments on the reference pairs", "",
             "Mean over cases of SP (share of the reference pairs of every sequence pair reproduced) "
             "and of the share of residues aligned.", "",
             "| set | cases | " + " | ".join(methods) + " |", "|---|---|" + "---|" * len(methods)]
    for s in sets:
        if s in per_set:
            rows = per_set[s]
            cells = [f"{mean([r[m][0] for r in rows]):.3f} ({mean([r[m][1] for r in rows]):.2f})"
                     for m in range(len(methods))]
            lines.append(f"| {s} | {len(rows)} | " + " | ".join(cells) + " |")
    text = "\n".join(lines) + "\n"
    with open(os.path.join(a.out, "allpairs.md"), "w") as f:
        f.write(text)
    print(text)


def report(cases, sets, out):
    rows = [r for c in cases for r in score_case(c, out)]
    with open(os.path.join(out, "scores.tsv"), "w") as f:
        f.write("set\tcase\tprogram\tsequences\tstatus\twall_s\tSP\tTC\taligned\n")
        for r in rows:
            f.write("\t".join(f"{v:.4f}" if isinstance(v, float) else str(v) for v in r) + "\n")
    text = summary(rows, sets)
    with open(os.path.join(out, "summary.md"), "w") as f:
        f.write(text)
    plot(rows, sets, out)
    print(text)


def arguments(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    ap.add_argument("--out", default=os.path.join(root, "run", "accuracy"), help="results folder")
    ap.add_argument("--shared", default=os.path.join(root, "..", "shared"), help="the shared data folder")
    ap.add_argument("--bin", default=os.path.join(root, "build", "bin"), help="built xKESTRA and its tools")
    ap.add_argument("--data", help="folder with model_R.hmm, observed and expected (default: --bin)")
    ap.add_argument("--label", default="xkestra", help="name of this xKESTRA variant in the tables")
    ap.add_argument("--xk-args", default="", help="extra xKESTRA arguments, e.g. '-m accurate'")
    ap.add_argument("--xk-fasta", action="store_true",
                    help="have xKESTRA write its alignment as aligned FASTA (-o aln.fa -f fasta) and score that")
    ap.add_argument("--seed", type=int, default=1, help="xKESTRA's seed (-r)")
    ap.add_argument("--sets", default=",".join(SETS), help="comma-separated: " + ",".join(SETS))
    ap.add_argument("--limit", type=int, default=0, help="at most this many cases per set (0: all)")
    ap.add_argument("--jobs", type=int, default=2, help="runs at a time")
    ap.add_argument("--peers", default=",".join(PEERS), help="comma-separated peers to run, or 'none'")
    ap.add_argument("--cap", type=float, default=1800, help="seconds before a run is stopped")
    ap.add_argument("--resume", action="store_true", help="run xKESTRA too only where its result is missing")
    ap.add_argument("--report-only", action="store_true", help="score the runs already in --out")
    ap.add_argument("--allpairs", action="store_true",
                    help="also score the all-pairs phase's pairwise alignments beside BLOSUM62 baselines")
    a = ap.parse_args(argv)
    a.out, a.bin = os.path.abspath(a.out), os.path.abspath(a.bin)
    a.data = os.path.abspath(a.data) if a.data else None
    a.sets = [s for s in a.sets.split(",") if s]
    if any(s not in SETS for s in a.sets):
        ap.error(f"unknown set in --sets (known: {', '.join(SETS)})")
    a.peers = [] if a.peers == "none" else [p for p in a.peers.split(",") if p]
    if any(p not in PEERS for p in a.peers) or a.label in PEERS:
        ap.error(f"unknown peer in --peers, or a label that is a peer's name (peers: {', '.join(PEERS)})")
    return a


def main(argv):
    a = arguments(argv)
    if not a.report_only:
        missing = [os.path.join(a.bin, f) for f in XK_FILES] + [os.path.join(a.data or a.bin, f) for f in DATA_FILES]
        missing = [f for f in missing if not os.path.exists(f)]
        if missing:
            print(f"missing: {', '.join(missing)}", file=sys.stderr)
            return 1
    cases = load_cases(a.shared, a.sets, a.limit)
    os.makedirs(a.out, exist_ok=True)
    if not a.report_only:
        peers = [p for p in a.peers if shutil.which(PEERS[p][0][0])]
        for p in sorted(set(a.peers) - set(peers)):
            print(f"== {p}: not installed, skipped")
        t0 = time.monotonic()
        run_all(cases, [a.label] + peers, a)
        print(f"== runs took {time.monotonic() - t0:.0f} s wall on {os.cpu_count()} cores\n")
    report(cases, a.sets, a.out)
    if a.allpairs:
        allpairs_report(cases, a.sets, a)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
