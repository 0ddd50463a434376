"""Accuracy of a multiple alignment against a reference alignment: SP and TC.

Residues are named by (sequence index, residue index from 0) in the
unaligned sequences, so the scores do not depend on column layouts.

- A reference alignment is a list of scored columns, each a list of the
  residues it holds (only columns with two or more residues matter).
- A test alignment is, per sequence, the test column of each residue, or
  None for a residue the alignment leaves unaligned (outside xKESTRA's
  locally aligned stretch, or written in lower case by a program that marks
  unaligned residues that way).

SP: the share of the reference's residue pairs in scored columns (two
residues of two different sequences in one column) that the test also puts
in one column.  TC: the share of scored reference columns with two or more
residues whose residues all share one test column (residues the test adds
to that column do not matter).  An unaligned residue is aligned to nothing.

Readers: aligned FASTA, PIR (.ali, '/' chain breaks and a final '*'),
BAliBASE XML (rows and the "coreblock" column scores, 1 = core column), and
the final listing of an xKESTRA report file.
"""
import re

GAPS = frozenset(".-~/ ")


class FormatError(ValueError):
    """A file that does not have the layout its reader expects."""


# -- readers ------------------------------------------------------------------

def read_fasta(path):
    """(name, text) per record of a FASTA file, in file order; the name is
    the first word after '>', the text its lines joined without blanks."""
    records = []
    with open(path) as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith(">"):
                words = line[1:].split()
                records.append([words[0] if words else "", []])
            elif records:
                records[-1][1].append("".join(line.split()))
            elif line.strip():
                raise FormatError(f"{path}: text before the first '>'")
    return [(n, "".join(t)) for n, t in records]


def read_pir(path):
    """(name, row) per entry of a PIR alignment (HOMSTRAD .ali): '>P1;name',
    one description line, then the row up to its final '*'."""
    with open(path) as f:
        lines = [ln.rstrip("\r\n") for ln in f]
    entries, k = [], 0
    while k < len(lines):
        if not lines[k].startswith(">"):
            k += 1
            continue
        name = lines[k].split(";", 1)[-1].strip()
        k += 2
        row = []
        while k < len(lines) and not lines[k].startswith(">"):
            row.append(lines[k].strip())
            k += 1
        text = "".join(row)
        if not text.endswith("*"):
            raise FormatError(f"{path}: entry {name} does not end in '*'")
        entries.append((name, text[:-1]))
    widths = {len(r) for _, r in entries}
    if len(widths) > 1:
        raise FormatError(f"{path}: rows of different widths {sorted(widths)}")
    return entries


def read_balibase_xml(path):
    """(names, rows, core) of a BAliBASE XML reference: the aligned rows in
    file order and, per column, whether it is a core column."""
    with open(path) as f:
        text = f.read()
    names = re.findall(r"<seq-name>\s*(\S+?)\s*</seq-name>", text)
    rows = ["".join(r.split()) for r in re.findall(r"<seq-data>(.*?)</seq-data>", text, re.S)]
    m = re.search(r"<colsco-name>coreblock</colsco-name>.*?<colsco-data>(.*?)</colsco-data>", text, re.S)
    if not names or len(names) != len(rows) or not m:
        raise FormatError(f"{path}: no sequences or no core-block scores")
    core = [int(v) == 1 for v in m.group(1).split()]
    if any(len(r) != len(core) for r in rows):
        raise FormatError(f"{path}: rows and core-block scores differ in width")
    return names, rows, core


def read_xkestra_listing(path, nseq):
    """Per sequence (input order): (number of the first listed residue,
    counted from 1; the listed row with its gap characters) from the final
    multiple-alignment listing of an xKESTRA report.  Residues before and
    after the listed stretch are not in the listing."""
    with open(path) as f:
        lines = f.read().split("\n")
    start = None
    for k, line in enumerate(lines):
        # The last listing is the final alignment: iteration 1 in the classic
        # run, the last kept refinement round in the accurate mode.
        if re.fullmatch(r"Multiple sequence alignment \(Iteration \d+\): ", line):
            start = k + 1
    if start is None:
        raise FormatError(f"{path}: no final multiple-alignment listing")
    first, rows, s = [None] * nseq, [[] for _ in range(nseq)], 0
    for line in lines[start:]:
        if line.startswith(" M state:") or line.startswith("Refinement: "):
            break
        if line == "":
            if s not in (0, nseq):
                raise FormatError(f"{path}: a block of {s} rows, expected {nseq}")
            s = 0
            continue
        if s >= nseq:
            raise FormatError(f"{path}: more rows in a block than sequences")
        if first[s] is None:
            first[s] = int(line[13:17])
        rows[s].append(line[20:70])
        s += 1
    if any(f is None for f in first):
        raise FormatError(f"{path}: the listing lacks rows")
    return [(first[k], "".join(rows[k])) for k in range(nseq)]


# -- alignments as residue columns --------------------------------------------

def residue_columns(rows, seqs, firsts=None, lower_unaligned=False, label="alignment"):
    """Per sequence, the column of each residue of its unaligned text (None:
    unaligned).  rows[s] is sequence s's aligned row, starting at residue
    firsts[s] (counted from 1; default 1); residues outside the row are
    unaligned.  With lower_unaligned, lower-case letters are residues that
    take no column.  The row's letters must be the sequence's residues
    ('X' in either stands for any residue)."""
    out = []
    for s, (row, seq) in enumerate(zip(rows, seqs)):
        cols = [None] * len(seq)
        r = (firsts[s] if firsts else 1) - 1
        for c, ch in enumerate(row):
            if ch in GAPS:
                continue
            if r >= len(seq) or (ch.upper() != seq[r].upper() and "X" not in (ch.upper(), seq[r].upper())):
                raise FormatError(f"{label}: row {s + 1} does not match its sequence at residue {r + 1}")
            if not (lower_unaligned and ch.islower()):
                cols[r] = c
            r += 1
        out.append(cols)
    return out


def reference_columns(rows, keep=None):
    """The residues (sequence, residue index) of each column of a reference
    alignment, only columns c with keep[c] when keep is given; columns with
    fewer than two residues are dropped."""
    width = max(len(r) for r in rows)
    cols = [[] for _ in range(width)]
    for s, row in enumerate(rows):
        r = 0
        for c, ch in enumerate(row):
            if ch not in GAPS:
                cols[c].append((s, r))
                r += 1
    return [col for c, col in enumerate(cols) if len(col) >= 2 and (keep is None or keep[c])]


def sp_tc(ref_cols, test):
    """(SP, TC, reference pairs, reference columns) of a test alignment
    (per sequence, the column of each residue or None) against the scored
    reference columns.  SP and TC are NaN when there is nothing to score."""
    pairs = hits = full = 0
    for col in ref_cols:
        where = [test[s][r] for s, r in col]
        col_pairs = len(col) * (len(col) - 1) // 2
        same = {}
        for w in where:
            if w is not None:
                same[w] = same.get(w, 0) + 1
        pairs += col_pairs
        hits += sum(k * (k - 1) // 2 for k in same.values())
        full += 1 if len(same) == 1 and None not in where else 0
    nan = float("nan")
    return (hits / pairs if pairs else nan, full / len(ref_cols) if ref_cols else nan, pairs, len(ref_cols))


def by_name(records, names, label):
    """The rows of `records` ((name, row) pairs) in the order of `names`."""
    rows = dict(records)
    if len(rows) != len(records) or sorted(rows) != sorted(names):
        raise FormatError(f"{label}: its sequence names differ from the input's")
    return [rows[n] for n in names]


def read_pair_reports(path):
    """The pairwise alignments of an xKESTRA report ("Initial pairwise
    alignment: i.gca, j.gca" and its QUERY / TARGET blocks), up to the first
    multiple-alignment report: {(i, j): ((first residue of i, row of i),
    (first residue of j, row of j))}, i and j counted from 1.  A pair whose
    report has no blocks aligns nothing: (1, "") for both."""
    pairs, key = {}, None
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Multiple sequence alignment"):
                break
            if line.startswith("Initial pairwise alignment: "):
                names = line[len("Initial pairwise alignment: "):].split(", ")
                try:
                    key = tuple(int(n.split(".")[0]) for n in names)
                except ValueError:
                    raise FormatError(f"{path}: a pair header without sequence numbers: {line}") from None
                if len(key) != 2:
                    raise FormatError(f"{path}: a pair header without two names: {line}")
                pairs[key] = [[None, ""], [None, ""]]
            elif line.startswith(("QUERY ", "TARGET ")) and key is not None:
                side = pairs[key][0 if line.startswith("QUERY") else 1]
                if side[0] is None:
                    side[0] = int(line[13:17])
                side[1] += line[20:-7]
    return {k: tuple((1 if f is None else f, r) for f, r in v) for k, v in pairs.items()}


def restrict(ref_cols, members):
    """The reference columns' residues of the sequences in `members`, only
    columns keeping two or more."""
    kept = ([x for x in col if x[0] in members] for col in ref_cols)
    return [col for col in kept if len(col) >= 2]
