#!/usr/bin/env python3
"""Sum-of-pairs accuracy of a multiple alignment against a reference.

SP is the share of the reference's aligned residue pairs (two residues of two
sequences in one reference column) that the test alignment also puts in one
column.  Residues are named (sequence, residue number from 1), so the score
does not depend on the column layout.

Readers:
  - reference: MSF (BAliBASE .msf); core columns from the BAliBASE .xml
    ("coreblock" column scores, 1 = core);
  - test: aligned FASTA (mafft, probcons, muscle), or xKESTRA's report file,
    whose final listing (the last "Multiple sequence alignment (Iteration K): "
    block, before " M state:" or the accurate mode's "Refinement:" line)
    holds, per sequence in input order, the aligned stretch (the classic
    run's local stretches leave residues outside it absent).

With absent residues, three figures: SP over all reference pairs (absent
pairs count as missed), SP over the reference pairs whose two residues are
both present, and the coverage (share of residues present).

Usage: sp_score.py REF.msf UNALIGNED.fa TEST [--xkestra] [--xml REF.xml]
"""
import argparse
import itertools
import re
import sys

GAPS = set(".-~ ")


def read_fasta(path):
    """Names and texts of a FASTA file, in file order (name: first word)."""
    names, seqs = [], []
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith(">"):
                names.append(line[1:].split()[0] if line[1:].split() else "")
                seqs.append([])
            elif names:
                seqs[-1].append(line.strip())
    return names, ["".join(s) for s in seqs]


def read_msf(path):
    """Names (in header order) and aligned rows of an MSF file."""
    names, rows = [], {}
    with open(path) as f:
        lines = f.read().splitlines()
    body = 0
    for k, line in enumerate(lines):
        m = re.match(r"\s*Name:\s+(\S+)", line)
        if m:
            names.append(m.group(1))
            rows[m.group(1)] = []
        if line.strip() == "//":
            body = k + 1
            break
    for line in lines[body:]:
        parts = line.split()
        if len(parts) >= 2 and parts[0] in rows:
            rows[parts[0]].append("".join(parts[1:]))
    return names, [("".join(rows[n])) for n in names]


def read_core_columns(xml_path):
    """Per reference column, whether it is a core column (score 1)."""
    with open(xml_path) as f:
        text = f.read()
    m = re.search(r"<colsco-name>coreblock</colsco-name>.*?<colsco-data>(.*?)</colsco-data>", text, re.S)
    if not m:
        return None
    return [int(v) == 1 for v in m.group(1).split()]


def read_xkestra_listing(path, nseq):
    """Per sequence (input order): (first residue number, aligned row) of the
    final listing of an xKESTRA report; the row keeps its gap characters."""
    with open(path) as f:
        lines = f.read().split("\n")
    start = None
    for k, line in enumerate(lines):
        if re.fullmatch(r"Multiple sequence alignment \(Iteration \d+\): ", line):
            start = k + 1
    if start is None:
        raise ValueError(f"{path}: no final listing")
    first = [None] * nseq
    rows = [[] for _ in range(nseq)]
    s = 0
    for line in lines[start:]:
        if line.startswith(" M state:") or line.startswith("Refinement:"):
            break
        if line == "":
            if s not in (0, nseq):
                raise ValueError(f"{path}: a block of {s} rows, expected {nseq}")
            s = 0
            continue
        if s >= nseq:
            raise ValueError(f"{path}: more rows in a block than sequences")
        if first[s] is None:
            first[s] = int(line[13:17])
        rows[s].append(line[20:70])
        s += 1
    return [(first[k], "".join(rows[k])) for k in range(nseq)]


def columns(rows, firsts):
    """Residue names (sequence, residue number) per column."""
    width = max(len(r) for r in rows)
    cols = [[] for _ in range(width)]
    for s, row in enumerate(rows):
        pos = firsts[s]
        for c, ch in enumerate(row):
            if ch not in GAPS:
                cols[c].append((s, pos))
                pos += 1
    return cols


def residues_of(rows, firsts):
    """Per sequence, the residue letters in the row and their numbers."""
    out = []
    for s, row in enumerate(rows):
        letters = [ch for ch in row if ch not in GAPS]
        out.append((firsts[s], "".join(letters)))
    return out


def pairs(cols, keep=None):
    """Aligned residue pairs of the columns (only columns with keep[c])."""
    got = set()
    for c, col in enumerate(cols):
        if keep is not None and not (c < len(keep) and keep[c]):
            continue
        for a, b in itertools.combinations(sorted(col), 2):
            if a[0] != b[0]:
                got.add((a, b))
    return got


def check_residues(label, rows, firsts, seqs):
    """Every row's residues must be its sequence's residues at those numbers."""
    for s, (first, letters) in enumerate(residues_of(rows, firsts)):
        want = seqs[s][first - 1:first - 1 + len(letters)].upper()
        if letters.upper() != want:
            raise ValueError(f"{label}: row {s + 1} does not match its sequence")


def score(ref_msf, unaligned, test, xkestra=False, xml=None):
    names, seqs = read_fasta(unaligned)
    ref_names, ref_rows = read_msf(ref_msf)
    order = {n: k for k, n in enumerate(names)}
    if sorted(ref_names) != sorted(names):
        raise ValueError(f"{ref_msf}: names differ from {unaligned}")
    ref_by_input = [ref_rows[ref_names.index(n)] for n in names]
    check_residues(ref_msf, ref_by_input, [1] * len(names), seqs)
    ref_cols = columns(ref_by_input, [1] * len(names))
    core = read_core_columns(xml) if xml else None
    if core is not None and len(core) != len(ref_cols):
        core = None

    if xkestra:
        listing = read_xkestra_listing(test, len(names))
        firsts = [f for f, _ in listing]
        rows = [r for _, r in listing]
    else:
        t_names, t_rows = read_fasta(test)
        if sorted(t_names) != sorted(names):
            raise ValueError(f"{test}: names differ from {unaligned}")
        rows = [None] * len(names)
        for n, r in zip(t_names, t_rows):
            rows[order[n]] = r
        firsts = [1] * len(names)
    check_residues(test, rows, firsts, seqs)
    test_pairs = pairs(columns(rows, firsts))
    present = {(s, first + k) for s, (first, letters) in enumerate(residues_of(rows, firsts))
               for k in range(len(letters))}
    total = sum(len(x) for x in seqs)

    def sp(ref_pairs, only_present):
        if only_present:
            ref_pairs = {p for p in ref_pairs if p[0] in present and p[1] in present}
        return (len(ref_pairs & test_pairs) / len(ref_pairs)) if ref_pairs else float("nan"), len(ref_pairs)

    all_pairs = pairs(ref_cols)
    core_pairs = pairs(ref_cols, core) if core is not None else set()
    result = {
        "sequences": len(names),
        "coverage": len(present) / total,
        "sp": sp(all_pairs, False)[0],
        "sp_present": sp(all_pairs, True)[0],
        "core_sp": sp(core_pairs, False)[0] if core is not None else float("nan"),
        "core_sp_present": sp(core_pairs, True)[0] if core is not None else float("nan"),
        "present": present,
        "test_pairs": test_pairs,
        "ref_pairs": all_pairs,
        "core_pairs": core_pairs,
    }
    return result


def sp_on(result, present):
    """SP of a scored alignment over the reference pairs whose residues are
    all in `present` (another alignment's residues): all and core pairs."""
    out = []
    for key in ("ref_pairs", "core_pairs"):
        ref = {p for p in result[key] if p[0] in present and p[1] in present}
        out.append(len(ref & result["test_pairs"]) / len(ref) if ref else float("nan"))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("reference")
    ap.add_argument("unaligned")
    ap.add_argument("test")
    ap.add_argument("--xkestra", action="store_true", help="TEST is an xKESTRA report file")
    ap.add_argument("--xml", help="BAliBASE .xml with the core columns")
    a = ap.parse_args()
    r = score(a.reference, a.unaligned, a.test, a.xkestra, a.xml)
    print(f"coverage {r['coverage']:.3f}  SP {r['sp']:.3f}  SP(present) {r['sp_present']:.3f}  "
          f"core SP {r['core_sp']:.3f}  core SP(present) {r['core_sp_present']:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
