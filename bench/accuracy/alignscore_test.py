"""The accuracy scorer against hand-counted cases.

Three sequences and one reference for every case:

    A  ACDEFG-          reference columns with two or more residues:
    B  ACD/FG-  ('/':   c0 A1 B1        1 pair
    C  -CDEFGH   a break) c1 A2 B2 C1   3 pairs   c2 A3 B3 C2  3 pairs
                        c3 A4 C3        1 pair    c4 A5 B4 C4  3 pairs
                        c5 A6 B5 C5     3 pairs   (c6 holds C6 alone)
                        14 pairs in 6 columns
"""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import accuracy  # noqa: E402
import alignscore as al  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SEQS = ["ACDEFG", "ACDFG", "CDEFGH"]
NAMES = ["A", "B", "C"]
PIR = """C; a comment line
>P1;A
structureX:a
ACDEFG-*
>P1;B
structureX:b
ACD/
FG-*
>P1;C
sequence:c
-CDEFGH*
"""
# Residues shifted in A's first columns and B's first one:
# c0 0, c1 1 (A-C), c2 1 (A-C), c3 1, c4 3, c5 3: 9 of 14 pairs; c3-c5 whole.
TEST_FASTA = ">B second\nACD--\nFG\n>A\n-ACDEFG\n>C\n--CDEFGH\n"


def listing_report(rows, firsts):
    """An xKESTRA report tail: the final listing of `rows` in blocks of 50."""
    width = max(len(r) for r in rows)
    lines, tags = ["Multiple sequence alignment (Iteration 1): "], list(firsts)
    for b in range(0, width, 50):
        for s, row in enumerate(rows):
            piece = row[b:b + 50].ljust(50)
            end = tags[s] + sum(ch.isalpha() for ch in piece)
            lines.append(f"{NAMES[s]:<13}{tags[s]:4d}   {piece}   {end - 1:4d}")
            tags[s] = end
        lines.append("")
    return "\n".join(lines + [" M state:", " 1.00", ""])


class Files(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def reference(self):
        return al.reference_columns([r for _, r in al.read_pir(self.write("ref.ali", PIR))])


class HandCountedScores(Files):
    def test_shifted_residues_in_aligned_fasta(self):
        rows = al.by_name(al.read_fasta(self.write("t.fa", TEST_FASTA)), NAMES, "t.fa")
        sp, tc, pairs, cols = al.sp_tc(self.reference(), al.residue_columns(rows, SEQS))
        self.assertEqual((pairs, cols), (14, 6))
        self.assertAlmostEqual(sp, 9 / 14)
        self.assertAlmostEqual(tc, 3 / 6)

    def test_lower_case_residues_are_unaligned_only_when_so_marked(self):
        text = TEST_FASTA.replace("-ACDEFG", "-ACDEFg")
        rows = al.by_name(al.read_fasta(self.write("t.fa", text)), NAMES, "t.fa")
        # A6 leaves c5: one pair (B5-C5) of three, c5 no longer whole.
        sp, tc, _, _ = al.sp_tc(self.reference(), al.residue_columns(rows, SEQS, lower_unaligned=True))
        self.assertEqual((sp, tc), (7 / 14, 2 / 6))
        sp, tc, _, _ = al.sp_tc(self.reference(), al.residue_columns(rows, SEQS))
        self.assertEqual((sp, tc), (9 / 14, 3 / 6))

    def test_core_columns_of_a_balibase_reference(self):
        seqs = "".join(f"<sequence><seq-name>{n}</seq-name><seq-data>\n{r}\n</seq-data></sequence>"
                       for n, r in zip(NAMES, ["acdefg-", "acd-fg-", "-cdefgh"]))
        xml = self.write("r.xml", f"<macsim><alignment>{seqs}<column-score><colsco-name>coreblock"
                                  "</colsco-name><colsco-data>-1 1 1 1 1 0 1 </colsco-data>"
                                  "</column-score></alignment></macsim>")
        names, rows, core = al.read_balibase_xml(xml)
        self.assertEqual(names, NAMES)
        ref = al.reference_columns(rows, core)  # c1-c4: 10 pairs; c6 has one residue
        test = al.residue_columns(al.by_name(al.read_fasta(self.write("t.fa", TEST_FASTA)), NAMES, ""), SEQS)
        self.assertEqual(al.sp_tc(ref, test), (6 / 10, 2 / 4, 10, 4))

    def test_termini_outside_the_listing_are_unaligned(self):
        # A from residue 2, B from 2, C from 1; A1, B1 and C6 are not listed.
        # Every listed residue sits in its reference column, split over two blocks.
        pad = "." * 48
        report = self.write("out.txt", "pairwise reports\n\n" + listing_report(
            [pad + "CDEFG", pad + "CD.FG", pad + "CDEFG"], [2, 2, 1]))
        listing = al.read_xkestra_listing(report, 3)
        self.assertEqual([f for f, _ in listing], [2, 2, 1])
        test = al.residue_columns([r for _, r in listing], SEQS, [f for f, _ in listing])
        self.assertEqual(test[0][0], None)
        self.assertEqual(al.sp_tc(self.reference(), test)[:2], (13 / 14, 5 / 6))


class RefusedInputs(Files):
    def test_a_row_that_is_not_its_sequence_is_refused(self):
        with self.assertRaises(al.FormatError):
            al.residue_columns(["ACDEFG", "ACDWG", "CDEFGH"], SEQS)
        with self.assertRaises(al.FormatError):
            al.residue_columns(["ACDEFGA", "ACDFG", "CDEFGH"], SEQS)
        # 'X' stands for any residue.
        al.residue_columns(["ACXEFG", "ACDFG", "CDEFGH"], SEQS)

    def test_names_that_differ_from_the_input_are_refused(self):
        with self.assertRaises(al.FormatError):
            al.by_name([("A", ""), ("B", ""), ("D", "")], NAMES, "t.fa")

    def test_a_listing_with_a_missing_row_is_refused(self):
        report = listing_report(["CDEFG", "CD.FG", "CDEFG"], [2, 2, 1]).split("\n")
        del report[2]
        with self.assertRaises(al.FormatError):
            al.read_xkestra_listing(self.write("out.txt", "\n".join(report)), 3)


class RealFiles(unittest.TestCase):
    def test_the_listing_of_a_golden_report_holds_its_input(self):
        # The golden run aligns the first 60 residues of the four example globins.
        records = al.read_fasta(os.path.join(ROOT, "data", "example", "globins4.fa"))
        seqs = [s[:60] for _, s in records]
        listing = al.read_xkestra_listing(os.path.join(ROOT, "tests", "golden", "globins4x60.out"), 4)
        test = al.residue_columns([r for _, r in listing], seqs, [f for f, _ in listing])
        self.assertEqual([sum(c is not None for c in t) for t in test], [60, 59, 59, 52])

    def test_the_held_out_split_follows_the_hash_of_the_family_name(self):
        self.assertEqual(accuracy.fnv1a32(""), 2166136261)
        self.assertEqual(accuracy.fnv1a32("a"), 0xE40C292C)
        self.assertEqual(accuracy.fnv1a32("foobar"), 0xBF9CF968)


if __name__ == "__main__":
    unittest.main()
