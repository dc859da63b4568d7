#!/usr/bin/env python3
# The mutation tester's site finder (scripts/mutants.py): which faults it finds
# in a small C++ text, that comments, strings, preprocessor lines and template
# brackets yield none, that a planted mutant is undone byte for byte, and that
# a seed fixes the sample.
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import mutants  # noqa: E402

Snippet = r'''// A snippet: a < b + 1 in a comment
#include <vector>
#define TWICE(x) ((x) * 2)
static const char* text = "a < b && c - 1";   // x <= y
static const int table[3] = {1, 2, 3};
/* if (a) return 0; */
int pick(std::vector<int>& v, int a, int b)
{
    if (a < b) return 0;
    int c = a + b * 2;
    float f = (float)a / b;
    float g = floorf(f);
    c = std::clamp(c, 0, 9);
    if (c > b) c = b;
    bool ok = a && b;
    int s = static_cast<int>(v.size()) << 1;
    const char* r = R"(x < y)";
    return v[0] + c;
}
'''

# Worked out by hand from the snippet: (line, kind, text replaced).
Expected = {
    (9, "guard", "if (a < b) return 0;"), (9, "relational", "<"), (9, "constant", "0"),
    (10, "arithmetic", "+"), (10, "arithmetic", "*"), (10, "constant", "2"),
    (11, "arithmetic", "/"), (11, "cast", "(float)a / b"),
    (12, "rounding", "floorf"),
    (13, "clamp", "std::clamp(c, 0, 9)"), (13, "constant", "0"), (13, "constant", "9"),
    (14, "relational", ">"), (14, "clamp", "if (c > b) c = b;"),
    (15, "logical", "&&"),
    (16, "constant", "1"),
    (18, "constant", "0"), (18, "arithmetic", "+"),
}


class SiteFinder(unittest.TestCase):
    def test_finds_the_faults_and_none_in_comments_strings_or_brackets(self):
        sites = mutants.findSites("x.cpp", Snippet)
        self.assertEqual({(s["line"], s["kind"], s["original"]) for s in sites}, Expected)

    def test_variants(self):
        byKind = {(s["line"], s["kind"]): s for s in mutants.findSites("x.cpp", Snippet)}
        change = lambda line, kind: [mutants.describe(byKind[(line, kind)], v)
                                     for v in byKind[(line, kind)]["variants"]]
        self.assertEqual(change(9, "relational"), ["< -> <="])
        self.assertEqual(change(14, "relational"), ["> -> >="])
        self.assertEqual(change(15, "logical"), ["&& -> ||"])
        self.assertEqual(change(10, "constant"), ["2 -> 1", "2 -> 3"])
        self.assertEqual(change(11, "cast"), ["(float)a / b -> (float)(a / b)"])
        self.assertEqual(change(12, "rounding"), ["floorf -> ceilf"])
        self.assertEqual(change(13, "clamp"), ["std::clamp(c, 0, 9) -> (c)"])
        self.assertEqual(change(9, "guard"), ["if (a < b) return 0; -> (nothing)"])

    def test_guard_and_clamp_shapes(self):
        text = ("int f(int* p, int n, int v, int lo)\n{\n"
                "    for (int i = 0; i < n; i++)\n        if (p[i]) continue;\n"   # a loop's body: no guard
                "    if (n) v++;\n    else if (v) return 1;\n"                      # after else: no guard
                "    if (!p) {\n        n = 0;\n        return 0;\n    }\n"         # a block guard, lines kept
                "    if (v) {\n        return 1;\n    } else {\n        n++;\n    }\n"   # has an else: none
                "    if (v < lo) v = lo;\n    if (n) v = lo;\n"                       # a clamp; v is not in n
                "    return v;\n}\n")
        sites = [s for s in mutants.findSites("g.cpp", text) if s["kind"] in ("guard", "clamp")]
        self.assertEqual([(s["line"], s["kind"]) for s in sites], [(7, "guard"), (16, "clamp")])
        self.assertEqual(sites[0]["variants"], ["\n\n\n"])
        self.assertEqual(mutants.describe(sites[1], sites[1]["variants"][0]), "if (v < lo) v = lo; -> (nothing)")

    def test_casts_move_into_and_out_of_a_division(self):
        text = ("float a = (float)(i + 1) / (float)count;\n"
                "float b = static_cast<float>(k) / n;\n"
                "double c = (double)(x / y);\n")
        casts = {s["line"]: mutants.describe(s, s["variants"][0])
                 for s in mutants.findSites("c.cpp", text) if s["kind"] == "cast"}
        self.assertEqual(casts, {1: "(float)(i + 1) / (float)count -> (float)((i + 1) / count)",
                                 2: "static_cast<float>(k) / n -> static_cast<float>(k / n)",
                                 3: "(double)(x / y) -> (double)x / y"})

    def test_report_resume_and_shares(self):
        rows = [["a.cpp:1:constant:0", "killed", "a.cpp:3", "constant", "1 -> 2", "test_a", "4", "x = 1;"],
                ["a.cpp:9:guard:0", "killed", "a.cpp:5", "guard", "g -> (nothing)", "build:x.bin", "9", "g"],
                ["b.cpp:2:relational:0", "survived", "b.cpp:7", "relational", "< -> <=", "-", "30", "if (a < b) f();"],
                ["b.cpp:5:logical:0", "survived", "b.cpp:8", "logical", "&& -> ||", "-", "30", "t = a && b;"],
                ["c.cpp:4:arithmetic:0", "did-not-compile", "c.cpp:2", "arithmetic", "* -> /", "-", "2", "m * v"],
                ["c.cpp:8:constant:1", "flaky", "c.cpp:4", "constant", "3 -> 4", "test_c", "20", "n = 3;"]]
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "report.tsv")
            with open(path, "w") as h:
                h.write('# options {"seed": 5, "count": 6, "files": ["b.cpp"]}\n' + mutants.ReportHeader + "\n")
                h.writelines("\t".join(r) + "\n" for r in rows)
            done, options = mutants.readReport(path)
        self.assertEqual(options, {"seed": 5, "count": 6, "files": ["b.cpp"]})
        self.assertEqual(sorted(done), sorted(r[0] for r in rows))
        # One survivor is an accepted equivalent: 2 of 5 compiled killed, 2 of 4 non-equivalent.
        counts, share, equivalent, shareNonEq = mutants.summary(list(done.values()),
                                                                {("b.cpp", "t = a && b;", "&& -> ||", 1)})
        self.assertEqual([counts[s] for s in mutants.Statuses], [2, 2, 1, 0, 1])
        self.assertEqual((share, equivalent, shareNonEq), (40.0, 1, 50.0))

    def test_planting_then_restoring_leaves_the_file_byte_identical(self):
        # A byte that is not UTF-8 and CRLF line ends must survive the round trip.
        data = ("// caf\udce9\r\n" + Snippet.replace("\n", "\r\n")).encode("utf-8", errors="surrogateescape")
        sites = mutants.findSites("x.cpp", data.decode("utf-8", errors="surrogateescape"))
        self.assertEqual(len(sites), len(Expected))
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "x.cpp")
            with open(path, "wb") as h:
                h.write(data)
            for site in sites:
                for variant in site["variants"]:
                    original = mutants.plantMutant(path, site, variant)
                    with open(path, "rb") as h:
                        planted = h.read()
                    self.assertNotEqual(planted, data)
                    self.assertEqual(planted.count(b"\n"), data.count(b"\n"))   # lines do not move
                    mutants.restoreFile(path, original)
                    with open(path, "rb") as h:
                        self.assertEqual(h.read(), data)

    def test_the_seed_fixes_the_sample(self):
        with tempfile.TemporaryDirectory() as d:
            for name in ("a.cpp", "b.cpp"):
                with open(os.path.join(d, name), "w") as h:
                    h.write(Snippet)
            one, total = mutants.sampleMutants(d, ["a.cpp", "b.cpp"], 10, 7)
            two, _ = mutants.sampleMutants(d, ["a.cpp", "b.cpp"], 10, 7)
            other, _ = mutants.sampleMutants(d, ["a.cpp", "b.cpp"], 10, 8)
        ids = lambda sample: [mutants.mutantId(s, v) for s, v in sample]
        self.assertEqual(total, 2 * len(Expected))
        self.assertEqual(ids(one), ids(two))
        self.assertNotEqual(ids(one), ids(other))
        self.assertEqual(len(set(ids(one))), 10)

    def test_an_edit_elsewhere_keeps_the_sample(self):
        # A function added to a.cpp: what was drawn is drawn again, in b.cpp
        # and in a.cpp's old lines, but for places the new lines took.
        where = lambda sample: {(s["file"], mutants.lineText(texts[s["file"]], s), s["kind"], s["original"], v)
                                for s, v in sample}
        added = "int extra(int a, int b)\n{\n    if (a > b) return a - 1;\n    return b * 3;\n}\n"
        with tempfile.TemporaryDirectory() as d:
            texts = {"a.cpp": Snippet, "b.cpp": Snippet}
            for name, text in texts.items():
                with open(os.path.join(d, name), "w") as h:
                    h.write(text)
            before = where(mutants.sampleMutants(d, ["a.cpp", "b.cpp"], 12, 3)[0])
            texts["a.cpp"] = added + Snippet
            with open(os.path.join(d, "a.cpp"), "w") as h:
                h.write(texts["a.cpp"])
            sample, _ = mutants.sampleMutants(d, ["a.cpp", "b.cpp"], 12, 3)
        after = where(sample)
        newLines = {l.strip() for l in added.split("\n")}
        for place in after - before:
            self.assertIn(place[1], newLines)
        self.assertGreaterEqual(len(after & before), 12 - sum(1 for p in after if p[1] in newLines))


class AcceptedEquivalents(unittest.TestCase):
    def test_every_entry_names_a_mutant_the_tree_still_has(self):
        # An entry whose line moved to another file or was rewritten excuses
        # nothing any more: it would only hide that the list is out of date.
        # One written alike elsewhere in its file must say which it is
        # ("file#k"), or it would excuse the others too.
        root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        entries = mutants.readAccepted(root)
        self.assertTrue(entries)
        with open(os.path.join(root, "tests", "mutants", "accepted.txt")) as h:
            placed = {(l.split("\t")[0].partition("#")[0], l.split("\t")[1].strip()) for l in h
                      if not l.startswith("#") and "#" in l.split("\t")[0]}
        for file, line, change, k in sorted(entries):
            with self.subTest(file=file, line=line):
                path = os.path.join(root, file)
                self.assertTrue(os.path.exists(path), "no file " + file)
                with open(path) as h:
                    text = h.read()
                numbers = [n for n, l in enumerate(text.split("\n"), 1) if l.strip() == line]
                self.assertGreaterEqual(len(numbers), k, "the line is no longer in %s %d times" % (file, k))
                if len(numbers) > 1:
                    self.assertIn((file, line), placed, "written %d times in %s: say which (file#k)" %
                                  (len(numbers), file))
                changes = {mutants.describe(site, v) for site in mutants.findSites(file, text)
                           if site["line"] == numbers[k - 1] for v in site["variants"]}
                self.assertIn(change, changes)

    def test_a_place_among_lines_written_alike(self):
        text = "int f() {\n    return 0;\n}\nint g() {\n    return 0;\n}\n"
        self.assertEqual([mutants.occurrence(text, n) for n in (2, 5, 1)], [1, 2, 1])

if __name__ == "__main__":
    unittest.main()
