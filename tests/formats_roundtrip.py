#!/usr/bin/env python3
"""Round trip of xKESTRA's alignment files through Biopython.

Usage: formats_roundtrip.py BIN_DIR SOURCE_DIR

Runs xKESTRA (with the bundled converter, gamma tool, model and frequency
files of BIN_DIR) on every bundled example and on inputs with awkward
names and letters, once per alignment format, and reads every alignment
back with Bio.Align and every tree with Bio.Phylo.  Checks: the names are
the headers' first words made unique; every row has the alignment's
length; removing the gaps from a row gives back its input sequence (case
aside, U, O and J as X); the aligned columns are the listing's columns and
the others its termini; Stockholm's structure lines have the alignment's
length; the tree has n leaves and n - 1 internal nodes.

Exits 77 (skipped) when Biopython is not installed.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    from Bio import Align, Phylo
except ImportError:
    print("SKIP: Biopython is not installed (Debian package python3-biopython)")
    sys.exit(77)

FORMATS = ["fasta", "clustal", "stockholm", "msf", "a2m"]
TOOLS = ["xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"]


def read_fasta(path):
    """(first header word, residues as xKESTRA reads them) per sequence."""
    records = []
    for line in open(path):
        line = line.rstrip("\r\n")
        if line.startswith(">"):
            words = line[1:].split()
            records.append([words[0] if words else "seq%d" % (len(records) + 1), ""])
        elif records:
            residues = re.sub(r"[\s.\-*]", "", line).upper()
            records[-1][1] += re.sub("[UOJ]", "X", residues)
    return records


def unique(names):
    given, used, out = set(names), set(), []
    for name in names:
        made, k = name, 2
        while made in used:
            made = "%s_%d" % (name, k)
            if made in given:
                made = name
            k += 1
        used.add(made)
        out.append(made)
    return out


def listing_width(report):
    """Columns of the report's final listing (its rows without the trailing blanks)."""
    listing = report.split("Multiple sequence alignment (Iteration 1): \n", 1)[1]
    widths, row = [], 0
    for line in listing.splitlines():
        if line == "":
            row = 0
            continue
        if len(line) != 77 or line[17:20] != "   " or line[70:73] != "   ":
            break  # the state model report follows the listing
        if row == len(widths):
            widths.append(0)
        widths[row] += len(line[20:70].rstrip())
        row += 1
    return max(widths)


def check(case, fmt, work, records, report):
    names = unique([r[0] for r in records])
    n = len(records)
    path = os.path.join(work, "aln." + fmt)
    alignment = Align.read(path, fmt)
    assert len(alignment.sequences) == n, (case, fmt, len(alignment.sequences))
    rows = [str(alignment[i]) for i in range(n)]
    width = alignment.shape[1]
    ids = [s.id for s in alignment.sequences]
    assert ids == names, (case, fmt, ids, names)
    for row, (_, residues) in zip(rows, records):
        assert len(row) == width, (case, fmt)
        assert row.replace("-", "").replace(".", "").upper() == residues, (case, fmt, row, residues)
    text = open(path).read()
    if fmt == "a2m":
        # The aligned columns are the listing's; the others hold the termini,
        # as many before and after the block as the longest terminus there.
        text_rows = ["".join(r.splitlines()[1:]) for r in text.split(">")[1:]]
        aligned = [i for i, c in enumerate(text_rows[0]) if c == "-" or c.isupper()]
        assert len(aligned) == listing_width(report), (case, len(aligned), listing_width(report))
        assert aligned == list(range(aligned[0], aligned[0] + len(aligned))), case
        lead = max(sum(c.islower() for c in r[: aligned[0]]) for r in text_rows)
        trail = max(sum(c.islower() for c in r[aligned[-1] + 1 :]) for r in text_rows)
        assert (lead, width - aligned[-1] - 1) == (aligned[0], trail), (case, lead, trail)
        check.widths[case] = width
    elif case in check.widths:
        assert width == check.widths[case], (case, fmt, width, check.widths[case])
    if fmt == "stockholm":
        for line in text.splitlines():
            if line.startswith("#=GR ") or line.startswith("#=GC "):
                assert len(line.split()[-1]) == width, (case, line)
        assert len(alignment.column_annotations["consensus secondary structure"]) == width
        assert set(alignment.column_annotations["consensus secondary structure"]) <= set("HEC.")
        for record, (_, residues) in zip(alignment.sequences, records):
            ss = record.letter_annotations["secondary structure"]
            assert len(ss) == len(residues) and set(ss) <= set("HEC"), (case, record.id)
    if fmt == "clustal":
        marks = alignment.column_annotations["clustal_consensus"]
        assert len(marks) == width and set(marks) <= set("*:. "), (case, marks)


check.widths = {}


def check_tree(case, work, records):
    tree = Phylo.read(os.path.join(work, "tree.nwk"), "newick")
    leaves = [leaf.name for leaf in tree.get_terminals()]
    assert sorted(leaves) == sorted(unique([r[0] for r in records])), (case, leaves)
    internal = tree.get_nonterminals() if len(records) > 1 else []
    assert len(internal) == len(records) - 1, (case, len(internal))
    assert all(c.branch_length is None or c.branch_length >= 0 for c in tree.find_clades())


def run_case(case, fasta_text, bin_dir, formats):
    work = tempfile.mkdtemp(prefix="xk-formats-")
    try:
        for tool in TOOLS:
            os.symlink(os.path.join(bin_dir, tool), os.path.join(work, tool))
        with open(os.path.join(work, "in.fa"), "w") as f:
            f.write(fasta_text)
        records = read_fasta(os.path.join(work, "in.fa"))
        for fmt in formats:
            args = [os.path.join(bin_dir, "xKESTRA"), "in.fa", "out.txt", "-r", "7",
                    "-f", fmt, "-o", "aln." + fmt, "-t", "tree.nwk"]
            r = subprocess.run(args, cwd=work, capture_output=True, text=True)
            assert r.returncode == 0, (case, fmt, r.stdout[-2000:], r.stderr)
            check(case, fmt, work, records, open(os.path.join(work, "out.txt")).read())
        check_tree(case, work, records)
    finally:
        shutil.rmtree(work)


def main():
    bin_dir, source_dir = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    example_dir = os.path.join(source_dir, "data", "example")
    for name in sorted(os.listdir(example_dir)):
        if name.endswith(".fa"):
            run_case(name, open(os.path.join(example_dir, name)).read(), bin_dir, ["a2m"] + FORMATS[:-1])
    globins = read_fasta(os.path.join(example_dir, "globins4.fa"))
    a, b, c = (g[1][:50] for g in globins[:3])
    awkward = (
        ">dup first copy, with blanks in the header\n" + a + "\n"
        ">dup\t second copy\n" + b[:20] + "BZ" + b[20:] + "\n"
        ">dup_2 a name the suffix must avoid\n" + c[:10].lower() + "u" + c[10:] + "X\n"
        ">" + "Long_identifier:with(odd)characters," + "x" * 60 + " end\n" + a[5:45] + "\n"
    )
    run_case("awkward names and letters", awkward, bin_dir, FORMATS[::-1])
    run_case("one sequence", ">only one sequence\n" + a + "\n", bin_dir, ["a2m", "stockholm"])
    print("all formats read back")


if __name__ == "__main__":
    main()
