#!/usr/bin/env python3
# Mutation testing of Kestrel's own code: finds the places where a one-line
# fault is realistic, plants a seeded sample of them one at a time in a scratch
# copy of the tree, and reports which ones the test suite catches.
# Entry point: scripts/mutants.sh (it starts the X server the GL tests need).
import argparse
import fnmatch
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

DefaultFolders = ["app", "assets", "platform", "post", "render", "show", "sync", "tools"]
# Built only into the browser build, which the judging suite does not rebuild:
# a mutant there could only survive.
BrowserOnly = ("app/web/", "platform/web/", "render/web/")
Statuses = ["killed", "survived", "did-not-compile", "timed-out", "flaky"]

# ---------------------------------------------------------------------------
# Masking: comments, string and character literals and preprocessor lines
# become spaces (newlines kept), so offsets and line numbers stay those of the
# file and no site is ever found inside them.


def maskSource(text):
    out = list(text)
    n = len(text)
    i = 0
    lineStart = True

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if c == "\n":
            lineStart = True
            i += 1
            continue
        if lineStart and c in " \t":
            i += 1
            continue
        if lineStart and c == "#":
            # A preprocessor line, with its backslash continuations.
            j = i
            while j < n:
                if text[j] == "\n" and text[j - 1] != "\\":
                    break
                j += 1
            blank(i, j)
            i = j
            continue
        lineStart = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^()\\\s]{0,16})\(', text[i:i + 24])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            close = ")" + raw.group(1) + '"'
            j = text.find(close, i + raw.end())
            j = n if j < 0 else j + len(close)
            blank(i, j)
            i = j
            continue
        if c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(n, j + 1)
            blank(i, j)
            i = j
            continue
        i += 1
    return "".join(out)


# ---------------------------------------------------------------------------
# Tokens of the masked text: (kind, text, start, end).

TokenPattern = re.compile(
    r"(?P<ident>[A-Za-z_]\w*)"
    r"|(?P<num>(?:0[xX][0-9a-fA-F]+|\d+\.?\d*(?:[eE][+-]?\d+)?|\.\d+(?:[eE][+-]?\d+)?)[uUlLfF]*)"
    r"|(?P<op><<=|>>=|<=>|->\*|->|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||\+=|-=|\*=|/=|%=|&=|\|=|\^=|::"
    r"|[-+*/%<>=!&|^~?:;,.(){}\[\]])"
    r"|(?P<ws>\s+)"
    r"|(?P<other>.)",
    re.S,
)


def tokenize(masked):
    tokens = []
    for m in TokenPattern.finditer(masked):
        kind = m.lastgroup
        if kind == "ws":
            continue
        tokens.append((kind, m.group(), m.start(), m.end()))
    return tokens


Keywords = {
    "if", "else", "for", "while", "do", "return", "switch", "case", "default", "break", "continue", "goto",
    "sizeof", "const", "static", "struct", "enum", "union", "namespace", "using", "typedef", "template",
    "constexpr", "inline", "extern", "operator", "new", "delete", "auto", "void", "unsigned", "signed",
}


def matchClose(tokens, i):
    """Index of the bracket closing tokens[i] ('(', '[' or '{'), or -1."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    opener = tokens[i][1]
    closer = pairs[opener]
    depth = 0
    for k in range(i, len(tokens)):
        t = tokens[k][1]
        if t == opener:
            depth += 1
        elif t == closer:
            depth -= 1
            if depth == 0:
                return k
    return -1


def statementEnd(tokens, i):
    """Index of the ';' that ends the statement starting at tokens[i] (depth 0), or -1."""
    depth = 0
    for k in range(i, len(tokens)):
        t = tokens[k][1]
        if t in "([{":
            depth += 1
        elif t in ")]}":
            depth -= 1
            if depth < 0:
                return -1
        elif t == ";" and depth == 0:
            return k
    return -1


def operandEnd(tokens, i):
    """Last index of the primary expression starting at tokens[i] (a name with
    members, indices and calls, a number, or a bracketed group), or -1."""
    if i >= len(tokens):
        return -1
    kind, text = tokens[i][0], tokens[i][1]
    if text == "(":
        k = matchClose(tokens, i)
    elif kind == "num":
        return i
    elif kind == "ident" and text not in Keywords:
        k = i
        while k + 2 < len(tokens) and tokens[k + 1][1] == "::" and tokens[k + 2][0] == "ident":
            k += 2
    else:
        return -1
    if k < 0:
        return -1
    while k + 1 < len(tokens):
        nxt = tokens[k + 1][1]
        if nxt in ("(", "["):
            k = matchClose(tokens, k + 1)
            if k < 0:
                return -1
        elif nxt in (".", "->") and k + 2 < len(tokens) and tokens[k + 2][0] == "ident":
            k += 2
        else:
            break
    return k


# ---------------------------------------------------------------------------
# Sites: one place in one file and the faults that can be planted there.
# A site is a dict: file, line, start, end (offsets in the file), kind,
# original text and variants (replacement texts).

RelationalSwaps = {"<": ["<="], "<=": ["<"], ">": [">="], ">=": [">"], "==": ["!="], "!=": ["=="]}
ArithmeticSwaps = {"+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "+=": ["-="], "-=": ["+="], "*=": ["/="],
                   "/=": ["*="]}
LogicalSwaps = {"&&": ["||"], "||": ["&&"]}
RoundingSwaps = {"floor": ["ceil"], "ceil": ["floor"], "floorf": ["ceilf"], "ceilf": ["floorf"],
                 "round": ["floor", "ceil"], "roundf": ["floorf", "ceilf"], "lround": ["(long)"],
                 "lroundf": ["(long)"], "trunc": ["floor"], "truncf": ["floorf"]}
ClampCalls = {"clamp", "clampf", "min", "max", "fminf", "fmaxf", "fmin", "fmax"}
CastTypes = {"float", "double"}
GuardWords = {"return", "continue", "break", "goto"}


def isBinary(text, start, end):
    """A binary operator as the house format writes it: space on both sides."""
    return start > 0 and end < len(text) and text[start - 1].isspace() and text[end].isspace()


def lineOf(text, offset):
    return text.count("\n", 0, offset) + 1


def braceIsInitializer(tokens, i, stack):
    """Whether the '{' at tokens[i] opens a braced initializer (data) rather than a block."""
    if i == 0:
        return False
    prevKind, prev, prevStart, prevEnd = tokens[i - 1]
    if prev in ("=", ",", "(", "[", "return"):
        return True
    if prev == "{":
        return bool(stack) and stack[-1]
    return prevKind == "ident" and prev not in Keywords and prevEnd == tokens[i][2]


def constantVariants(text):
    m = re.fullmatch(r"(\d+)([uUlL]*)", text)
    if not m or (len(m.group(1)) > 1 and m.group(1).startswith("0")):
        return []
    value, suffix = int(m.group(1)), m.group(2)
    if value == 0:
        return ["1" + suffix]
    return [str(value - 1) + suffix, str(value + 1) + suffix]


def sizedInitializer(tokens, i):
    """The size of an array written out in full (int a[4] = {...}): changed, it does not compile."""
    following = [t[1] for t in tokens[i - 1:i + 4]]
    return following[:1] == ["["] and following[2:4] == ["]", "="] and following[4:5] == ["{"]


def findSites(path, text):
    masked = maskSource(text)
    tokens = tokenize(masked)
    sites = []

    def add(kind, start, end, variants):
        original = text[start:end]
        variants = [v for v in variants if v != original]
        if variants:
            sites.append({"file": path, "line": lineOf(text, start), "start": start, "end": end, "kind": kind,
                          "original": original, "variants": variants})

    braceStack = []   # one entry per open '{': True for an initializer
    for i, (kind, tok, start, end) in enumerate(tokens):
        if tok == "{":
            braceStack.append(braceIsInitializer(tokens, i, braceStack))
        elif tok == "}" and braceStack:
            braceStack.pop()
        prev = tokens[i - 1][1] if i > 0 else ""
        nxt = tokens[i + 1][1] if i + 1 < len(tokens) else ""
        if kind == "op" and isBinary(masked, start, end) and prev != "operator":
            if tok in RelationalSwaps:
                add("relational", start, end, RelationalSwaps[tok])
            elif tok in ArithmeticSwaps:
                add("arithmetic", start, end, ArithmeticSwaps[tok])
            elif tok in LogicalSwaps:
                add("logical", start, end, LogicalSwaps[tok])
        elif kind == "num" and not (braceStack and braceStack[-1]) and not sizedInitializer(tokens, i):
            add("constant", start, end, constantVariants(tok))
        elif kind == "ident" and tok in RoundingSwaps and nxt == "(" and prev not in (".", "->"):
            add("rounding", start, end, RoundingSwaps[tok])
        elif kind == "ident" and tok in ClampCalls and nxt == "(" and prev not in (".", "->"):
            clampSite(tokens, i, text, add)
        elif tok == "if" and prev not in ("else",):
            guardSite(tokens, i, text, add)
        elif tok == "(" and nxt in CastTypes and i + 2 < len(tokens) and tokens[i + 2][1] == ")":
            castSite(tokens, i, i + 3, text, add)
        elif tok == "static_cast" and nxt == "<" and i + 3 < len(tokens) and tokens[i + 2][1] in CastTypes \
                and tokens[i + 3][1] == ">":
            castSite(tokens, i, i + 4, text, add)
    sites.sort(key=lambda s: (s["start"], s["kind"]))
    return sites


def splitArguments(tokens, open_, close):
    """(first, last) token indices of each top-level argument between two brackets."""
    args, depth, first = [], 0, open_ + 1
    for k in range(open_ + 1, close):
        t = tokens[k][1]
        if t in "([{":
            depth += 1
        elif t in ")]}":
            depth -= 1
        elif t == "," and depth == 0:
            args.append((first, k - 1))
            first = k + 1
    args.append((first, close - 1))
    return [a for a in args if a[0] <= a[1]]


def clampSite(tokens, i, text, add):
    """std::clamp(v, lo, hi) -> v; min/max(a, b) -> the argument that is not a constant."""
    start = tokens[i - 2][2] if i >= 2 and tokens[i - 1][1] == "::" else tokens[i][2]
    close = matchClose(tokens, i + 1)
    if close < 0:
        return
    args = splitArguments(tokens, i + 1, close)
    name = tokens[i][1]
    if "clamp" in name:
        if len(args) != 3:
            return
        keep = [args[0]]
    else:
        if len(args) != 2:
            return
        keep = [a for a in args if not (a[0] == a[1] and tokens[a[0]][0] == "num")]
    variants = ["(" + text[tokens[a][2]:tokens[b][3]] + ")" for a, b in keep]
    add("clamp", start, tokens[close][3], variants)


def guardSite(tokens, i, text, add):
    """A flat guard (if (...) return/continue/break ...;), or a clamp line
    (if (x < lo) x = lo;), removed whole; the line breaks stay so that line
    numbers do not move."""
    before = tokens[i - 1][1] if i > 0 else ";"
    if before not in (";", "{", "}", ":") or i + 1 >= len(tokens) or tokens[i + 1][1] != "(":
        return
    close = matchClose(tokens, i + 1)
    if close < 0 or close + 1 >= len(tokens):
        return
    body = close + 1
    end = -1
    kind = None
    if tokens[body][1] in GuardWords:
        end = statementEnd(tokens, body)
        kind = "guard"
    elif tokens[body][1] == "{":
        # A block guard: a few statements, the last a return/continue/break, no else.
        closeBrace = matchClose(tokens, body)
        if closeBrace < 0 or closeBrace + 1 < len(tokens) and tokens[closeBrace + 1][1] == "else":
            return
        inner = [t[1] for t in tokens[body + 1:closeBrace]]
        if inner.count(";") > 4 or "{" in inner:
            return
        k = closeBrace - 1
        semis = [j for j in range(body + 1, closeBrace) if tokens[j][1] == ";"]
        if len(semis) < 1 or semis[-1] != k:
            return
        lastStart = semis[-2] + 1 if len(semis) > 1 else body + 1
        if tokens[lastStart][1] not in GuardWords:
            return
        end = closeBrace
        kind = "guard"
    elif tokens[body][0] == "ident":
        # A clamp line: the assigned name appears in the condition, which compares.
        target = operandEnd(tokens, body)
        if target < 0 or target + 1 >= len(tokens) or tokens[target + 1][1] != "=":
            return
        lhs = text[tokens[body][2]:tokens[target][3]]
        cond = text[tokens[i + 1][2]:tokens[close][3]]
        if lhs not in cond or not any(tokens[k][1] in ("<", ">", "<=", ">=") for k in range(i + 2, close)):
            return
        end = statementEnd(tokens, body)
        kind = "clamp"
    if end < 0 or kind is None:
        return
    if end + 1 < len(tokens) and tokens[end + 1][1] == "else":
        return
    start, stop = tokens[i][2], tokens[end][3]
    add(kind, start, stop, ["\n" * text.count("\n", start, stop)])


def castSite(tokens, i, operand, text, add):
    """(float)a / b -> (float)(a / b), and (float)(a / b) -> (float)a / b: the
    division done in integers, or the cast moved onto the dividend."""
    castText = text[tokens[i][2]:tokens[operand - 1][3]]
    last = operandEnd(tokens, operand)
    if last < 0:
        return
    if last + 2 < len(tokens) and tokens[last + 1][1] == "/" and isBinary(text, tokens[last + 1][2],
                                                                         tokens[last + 1][3]):
        divisor = last + 2
        strip = divisor
        if tokens[divisor][1] == "(" and divisor + 2 < len(tokens) and tokens[divisor + 1][1] in CastTypes \
                and tokens[divisor + 2][1] == ")":
            strip = divisor + 3
        divisorEnd = operandEnd(tokens, strip)
        if divisorEnd < 0:
            return
        dividend = text[tokens[operand][2]:tokens[last][3]]
        inner = dividend + " / " + text[tokens[strip][2]:tokens[divisorEnd][3]]
        replacement = castText + "(" + inner + ")"
        if castText.startswith("static_cast"):
            # static_cast<float>(a) / b -> static_cast<float>(a / b)
            inside = text[tokens[operand + 1][2]:tokens[last - 1][3]] if tokens[operand][1] == "(" else dividend
            replacement = castText + "(" + inside + " / " + text[tokens[strip][2]:tokens[divisorEnd][3]] + ")"
        add("cast", tokens[i][2], tokens[divisorEnd][3], [replacement])
    elif tokens[operand][1] == "(" and last == matchClose(tokens, operand) and castText.startswith("("):
        slashes = [k for k in range(operand + 1, last) if tokens[k][1] == "/"]
        depthOk = all(tokens[k][1] not in "([{" for k in range(operand + 1, last))
        if len(slashes) == 1 and depthOk:
            inside = text[tokens[operand + 1][2]:tokens[last - 1][3]]
            add("cast", tokens[i][2], tokens[last][3], [castText + inside])


def applyMutant(text, site, replacement):
    return text[:site["start"]] + replacement + text[site["end"]:]


def plantMutant(path, site, replacement):
    """Writes the mutant into the file; returns the file's bytes for restoreFile."""
    with open(path, "rb") as h:
        original = h.read()
    text = original.decode("utf-8", errors="surrogateescape")
    with open(path, "wb") as h:
        h.write(applyMutant(text, site, replacement).encode("utf-8", errors="surrogateescape"))
    return original


def restoreFile(path, original):
    with open(path, "wb") as h:
        h.write(original)


def describe(site, replacement):
    def flat(s):
        return " ".join(s.split()) or "(nothing)"
    return "%s -> %s" % (flat(site["original"]), flat(replacement))


# ---------------------------------------------------------------------------
# Files and the sample.


def trackedFiles(root):
    out = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         check=True, capture_output=True).stdout.decode()
    return sorted(p for p in out.split("\0") if p and os.path.isfile(os.path.join(root, p)))


def chooseFiles(files, globs):
    if not globs:
        return [f for f in files if f.endswith(".cpp") and f.split("/")[0] in DefaultFolders and
                not f.startswith(BrowserOnly)]
    chosen = [f for f in files if any(fnmatch.fnmatch(f, g) for g in globs)]
    return [f for f in chosen if not (f.startswith("tests/") or f.startswith("fuzz/"))]


def mutantId(site, variant):
    return "%s:%d:%s:%d" % (site["file"], site["start"], site["kind"], variant)


def sampleMutants(root, files, count, seed):
    """The sample: the count sites whose draw with the seed comes first, one
    variant each, in the drawn order (any prefix is itself a random sample).
    A site's draw depends on its file, the text of its line, its kind and
    text, and which such site of the file it is, not on where it stands: an
    edit elsewhere leaves the rest of the sample as it was (a new site may
    take a place), so the CI guard's sample moves only with the lines changed."""
    drawn = []
    total = 0
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8", errors="surrogateescape") as h:
            text = h.read()
        seen = {}
        for site in findSites(f, text):
            total += 1
            what = (lineText(text, site), site["kind"], site["original"])
            seen[what] = seen.get(what, 0) + 1
            key = "%d\0%s\0%s\0%s\0%s\0%d" % (seed, f, what[0], what[1], what[2], seen[what])
            digest = hashlib.sha256(key.encode("utf-8", errors="surrogateescape")).digest()
            drawn.append((digest, site))
    drawn.sort(key=lambda d: d[0])
    mutants = [(site, int.from_bytes(digest[8:16], "big") % len(site["variants"])) for digest, site in drawn[:count]]
    return mutants, total


# ---------------------------------------------------------------------------
# The scratch tree: a copy of the tracked files in DIR/src (only files whose
# content changed are written, so the build there stays incremental), built
# in DIR/src/build (the same relative layout as the tree's own build, so
# ccache with CCACHE_BASEDIR finds the tree's objects).


def syncScratch(root, scratch, files):
    """Brings the scratch copy to the tree's files."""
    manifestPath = os.path.join(scratch, ".mutants-files")
    old = set()
    if os.path.exists(manifestPath):
        with open(manifestPath) as h:
            old = set(h.read().split("\n")) - {""}
    for f in files:
        with open(os.path.join(root, f), "rb") as h:
            data = h.read()
        dst = os.path.join(scratch, f)
        try:
            with open(dst, "rb") as h:
                same = h.read() == data
        except OSError:
            same = False
        if not same:
            os.makedirs(os.path.dirname(dst) or ".", exist_ok=True)
            with open(dst, "wb") as h:
                h.write(data)
            shutil.copymode(os.path.join(root, f), dst)
    for f in old - set(files):
        try:
            os.remove(os.path.join(scratch, f))
        except OSError:
            pass
    with open(manifestPath, "w") as h:
        h.write("\n".join(files))


def run(cmd, timeout, cwd=None, env=None):
    """(exit code, output, seconds); exit code None when the time ran out
    (the whole process group is killed)."""
    began = time.time()
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode(errors="replace"), time.time() - began
    except subprocess.TimeoutExpired:
        killGroup(p)
        out, _ = p.communicate()
        return None, out.decode(errors="replace"), time.time() - began
    except BaseException:
        killGroup(p)   # interrupted: nothing of the step may outlive the run
        raise


def killGroup(p):
    try:
        os.killpg(p.pid, signal.SIGKILL)
    except OSError:
        pass


def log(message):
    print("mutants: " + message, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# The tests: names, the folder each one guards and what must be built for it,
# all read from ctest -N -V, so that moved or renamed tests are found.

TestLine = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) \.*\s*(\**)([^*].*?)\s+([\d.]+) sec")


# Tests that cannot tell a fault from a slip: the format check reads the
# tree's text (a guard line removed leaves a blank line only it objects to),
# and the browser tests run a tree of their own that a mutant is not built into.
NotJudges = re.compile(r"^(house_format|web_.*)$")


def listTests(build, src):
    code, out, _ = run(["ctest", "--test-dir", build, "-N", "-V"], 120)
    commands, tests = {}, []
    for line in out.splitlines():
        m = re.match(r"^(\d+): Test command: (.*)$", line)
        if m:
            commands[m.group(1)] = m.group(2)
        m = re.match(r"^\s*Test\s+#(\d+): (\S+)$", line)
        if m:
            tests.append((m.group(2), commands.get(m.group(1), "")))
    sources = {}
    for dirpath, _, names in os.walk(os.path.join(src, "tests")):
        for n in names:
            if n.endswith(".cpp"):
                sources.setdefault(n[:-4], os.path.relpath(os.path.join(dirpath, n), src))
    out = {}
    for name, command in tests:
        words = re.findall(r'"([^"]*)"|(\S+)', command)
        words = [a or b for a, b in words]
        program = words[0] if words else ""
        script = next((w for w in words[1:] if w.endswith(".sh")), None)
        if script:
            rel = os.path.relpath(script, src)
            target = "all"
        else:
            rel = sources.get(os.path.basename(program), "")
            # A program of the build is its own target; an outside one (python3) needs nothing built.
            target = os.path.basename(program) if program.startswith(build) else None
        parts = rel.split("/")
        folder = parts[1] if len(parts) > 2 and parts[0] == "tests" else ""
        if not rel:
            folder = ""
        out[name] = {"folder": folder, "target": target}
    return out


def keepFailureLog(build, test):
    """Copies ctest's log of the run that failed to build/Testing/failed-TEST-TIME.log: its path, or None."""
    source = os.path.join(build, "Testing", "Temporary", "LastTest.log")
    target = os.path.join(build, "Testing", "failed-%s-%d.log" % (test, int(time.time())))
    try:
        shutil.copyfile(source, target)
    except OSError:
        return None
    return target


def runTests(build, names, timeout, jobs, env):
    """Runs the named tests, stopping at the first failure: (first failing test
    or None, 'timeout' or None, {name: seconds})."""
    regex = "^(" + "|".join(re.escape(n) for n in names) + ")$"
    code, out, _ = run(["ctest", "--test-dir", build, "-j%d" % jobs, "--stop-on-failure", "-R", regex], timeout,
                       env=env)
    times, failed = {}, None
    for line in out.splitlines():
        m = TestLine.match(line)
        if m:
            times[m.group(1)] = float(m.group(4))
            if m.group(3).strip() != "Passed" and failed is None:
                failed = m.group(1)
    if code is None:
        return failed, "timeout", times
    if code != 0 and failed is None:
        failed = "ctest"
    return failed, None, times


# ---------------------------------------------------------------------------
# Accepted equivalent mutants: tests/mutants/accepted.txt, one per line,
# "file<TAB>the mutated line as written<TAB>the change<TAB>why". A line written
# more than once in its file is named by its place among them: "file#k" for
# the k-th (an entry without it names the first), so that an excuse for one
# "return 0;" does not excuse every other.


def readAccepted(root):
    accepted = set()
    path = os.path.join(root, "tests", "mutants", "accepted.txt")
    if os.path.exists(path):
        with open(path) as h:
            for line in h:
                parts = line.rstrip("\n").split("\t")
                if len(parts) >= 3 and not line.startswith("#"):
                    file, _, k = parts[0].partition("#")
                    accepted.add((file, parts[1].strip(), parts[2], int(k) if k.isdigit() else 1))
    return accepted


def occurrence(text, lineNumber):
    """Which of the lines written as line lineNumber is written (1 for the first)."""
    lines = text.split("\n")
    if not 1 <= lineNumber <= len(lines):
        return 1
    wanted = lines[lineNumber - 1].strip()
    return sum(1 for l in lines[:lineNumber] if l.strip() == wanted)


def fileText(root, file):
    try:
        with open(os.path.join(root, file), encoding="utf-8", errors="surrogateescape") as h:
            return h.read()
    except OSError:
        return ""


def lineText(text, site):
    a = text.rfind("\n", 0, site["start"]) + 1
    b = text.find("\n", site["start"])
    return text[a:b if b >= 0 else len(text)].strip()


# ---------------------------------------------------------------------------
# The run.

ReportHeader = "# id\tstatus\tfile:line\tkind\tchange\ttest\tseconds\tline"


def readReport(path):
    done, options = {}, {}
    if not os.path.exists(path):
        return done, options
    with open(path) as h:
        for line in h:
            if line.startswith("# options "):
                options = json.loads(line[len("# options "):])
            elif line.strip() and not line.startswith("#"):
                parts = line.rstrip("\n").split("\t")
                done[parts[0]] = parts
    return done, options


def summary(rows, accepted, root=None):
    """Counts by status and the killed shares; a survivor's place among lines
    written alike is read from the files under root (the tree the report was
    made on), the first when no root is given."""
    counts = {s: 0 for s in Statuses}
    equivalent = 0
    for parts in rows:
        counts[parts[1]] = counts.get(parts[1], 0) + 1
        if parts[1] == "survived":
            f, _, number = parts[2].rpartition(":")
            k = occurrence(fileText(root, f), int(number)) if root and number.isdigit() else 1
            if (f, parts[7] if len(parts) > 7 else "", parts[4], k) in accepted:
                equivalent += 1
    compiled = counts["killed"] + counts["survived"] + counts["timed-out"] + counts["flaky"]
    share = 100.0 * counts["killed"] / compiled if compiled else 0.0
    nonEquivalent = compiled - equivalent
    shareNonEq = 100.0 * counts["killed"] / nonEquivalent if nonEquivalent else 0.0
    return counts, share, equivalent, shareNonEq


def costData(build, tests):
    """The times of ctest's last run in this build (Testing/Temporary/CTestCostData.txt),
    when it ran every test: a tree whose suite just ran needs no unmutated run."""
    path = os.path.join(build, "Testing", "Temporary", "CTestCostData.txt")
    if not os.path.exists(path):
        return None
    times, failing, afterRule = {}, [], False
    with open(path) as h:
        for line in h:
            parts = line.split()
            if parts == ["---"]:
                afterRule = True
            elif afterRule and parts:
                failing.append(parts[0])
            elif len(parts) == 3:
                times[parts[0]] = float(parts[2])
    if not set(tests) <= set(times):
        return None
    for name in failing:
        times.pop(name, None)
    return {"times": times, "failing": failing}


def stopOnSignal(signum, frame):
    # SIGTERM and SIGHUP end the run like Ctrl-C, so the planted file is restored.
    raise KeyboardInterrupt


def parseArguments():
    ap = argparse.ArgumentParser(prog="mutants.sh", description="Mutation testing of the tree's own code.")
    ap.add_argument("--build", default="build-mutants",
                    help="work folder: the scratch copy (DIR/src) and its build (DIR/src/build)")
    ap.add_argument("--files", nargs="+", metavar="GLOB", help="files to mutate (default: every .cpp of %s)" %
                    ", ".join(DefaultFolders))
    ap.add_argument("--count", type=int, default=100, help="mutants to sample (default 100)")
    ap.add_argument("--seed", type=int, default=1, help="sample seed (default 1)")
    ap.add_argument("--resume", metavar="REPORT", help="continue the run of REPORT (its seed, count and files)")
    ap.add_argument("--retest", metavar="REPORT",
                    help="run REPORT's survivors (and flaky, timed-out mutants) again on the tree as it is now, "
                    "into REPORT-retest.tsv; the summary joins them with REPORT's other rows")
    ap.add_argument("--report", metavar="PATH", help="report file (default DIR/report-seedS.tsv)")
    ap.add_argument("--in-place", action="store_true",
                    help="plant the mutants in this tree itself and test them in its build (--build, default "
                    "build), restoring each file; for a throwaway checkout such as CI's")
    ap.add_argument("--slow", type=float, default=None,
                    help="after the folder's tests, skip tests slower than this many seconds (unmutated) "
                    "unless the mutated file is in app/ (default 10; with --ci %g)" % CiSlow)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--rebaseline", action="store_true", help="run every test unmutated again for its time")
    ap.add_argument("--list", action="store_true", help="print the sample and exit, building nothing")
    ap.add_argument("--ci", action="store_true",
                    help="the CI guard: %d mutants of %s with seed %d planted in place in --build (default "
                    "build, whose suite has just run), exit 1 below --min-share (default %.0f)" %
                    (CiCount, " ".join(CiFiles), CiSeed, CiMinShare))
    ap.add_argument("--min-share", type=float, default=None, help="exit 1 when the killed share is below this")
    args = ap.parse_args()
    if args.ci:
        args.seed, args.count, args.in_place = CiSeed, CiCount, True
        args.files = args.files or CiFiles
        args.min_share = CiMinShare if args.min_share is None else args.min_share
    if args.slow is None:
        args.slow = CiSlow if args.ci else 10.0
    if args.in_place and args.build == "build-mutants":
        args.build = "build"
    args.build = os.path.abspath(args.build)
    if args.ci:
        args.report = args.report or os.path.join(args.build, "mutants-ci.tsv")
        if os.path.exists(args.report):
            os.remove(args.report)
    return args


def prepareTree(args, root):
    """The tree the mutants go into and its build, built unmutated: (src, build, env) or None."""
    if args.in_place:
        src, build = root, args.build
        if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            log("%s is not a configured build of this tree" % build)
            return None
    else:
        src = os.path.join(args.build, "src")
        build = os.path.join(src, "build")
        os.makedirs(src, exist_ok=True)
        syncScratch(root, src, trackedFiles(root))
    env = dict(os.environ)
    env.setdefault("CCACHE_BASEDIR", os.path.dirname(root))
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        configure = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release"]
        if shutil.which("ccache"):
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        code, out, _ = run(configure, 600, env=env)
        if code != 0:
            log("configuring the scratch build failed:\n" + out[-3000:])
            return None
    log("building the unmutated tree")
    code, out, _ = run(["cmake", "--build", build, "-j%d" % args.jobs], 7200, env=env)
    if code != 0:
        log("the unmutated tree does not build:\n" + out[-3000:])
        return None
    return src, build, env


def baselineTimes(args, build, tests, env):
    """The unmutated times: they set the timeouts and which tests count as
    slow, and a test that fails unmutated is left out. In place, ctest's own
    record of the suite's last run; else kept in DIR/mutants-baseline.json
    across runs, where only the tests without a time run (--rebaseline: all)."""
    path = os.path.join(args.build, "mutants-baseline.json")
    baseline = costData(build, tests) if args.in_place else None
    if baseline is None:
        baseline = {"times": {}, "failing": []}
        if os.path.exists(path) and not args.rebaseline:
            with open(path) as h:
                baseline = json.load(h)
        # A test that failed unmutated last time is tried again: it may only have been loaded.
        unknown = [t for t in tests if t not in baseline["times"]]
        baseline["failing"] = []
        if unknown:
            log("running %d tests unmutated for their times" % len(unknown))
            regex = "^(" + "|".join(re.escape(n) for n in unknown) + ")$"
            code, out, _ = run(["ctest", "--test-dir", build, "-j%d" % args.jobs, "-R", regex], 7200, env=env)
            for line in out.splitlines():
                m = TestLine.match(line)
                if m and m.group(3).strip() == "Passed":
                    baseline["times"][m.group(1)] = float(m.group(4))
                elif m:
                    baseline["failing"].append(m.group(1))
            with open(path, "w") as h:
                json.dump(baseline, h, indent=1)
    failing = [t for t in baseline["failing"] if t in tests]
    if failing:
        log("left out, failing unmutated: " + " ".join(failing))
    return {t: baseline["times"][t] for t in tests if t in baseline["times"]}


def runSample(args, mutants, done, src, build, env, tests, times, accepted):
    """Plants, tests and reports each mutant not yet in the report: the new report rows.
    An accepted equivalent is reported as a survivor without being built: no test can catch it."""
    runnable = [t for t in tests if t in times and not NotJudges.match(t)]
    for parts in done.values():
        if parts[1] == "killed":
            noteKill(parts[2].split("/")[0], parts[5])
    rows = []
    began = time.time()
    with open(args.report, "a") as report:
        if not done:
            report.write("# options %s\n" % json.dumps({"seed": args.seed, "count": args.count,
                                                        "files": args.files}))
            report.write(ReportHeader + "\n")
            report.flush()
        for number, (site, variant) in enumerate(mutants, 1):
            ident = mutantId(site, variant)
            if ident in done:
                continue
            replacement = site["variants"][variant]
            path = os.path.join(src, site["file"])
            mutantBegan = time.time()
            with open(path, "rb") as h:
                original = h.read()
            text = original.decode("utf-8", errors="surrogateescape")
            key = (site["file"], lineText(text, site), describe(site, replacement), occurrence(text, site["line"]))
            if key in accepted:
                status, killer = "survived", "accepted-equivalent"
            else:
                original = plantMutant(path, site, replacement)
                try:
                    status, killer = testMutant(build, site, runnable, tests, times, args, env)
                finally:
                    restoreFile(path, original)
            seconds = time.time() - mutantBegan
            if status == "killed":
                noteKill(site["file"].split("/")[0], killer)
            row = [ident, status, "%s:%d" % (site["file"], site["line"]), site["kind"],
                   describe(site, replacement), killer or "-", "%.0f" % seconds, lineText(text, site)]
            row = [c.replace("\t", " ") for c in row]
            report.write("\t".join(row) + "\n")
            report.flush()
            rows.append(row)
            rate = 3600.0 * len(rows) / max(time.time() - began, 60.0)
            log("%d/%d %s %s %s (%s, %.0f s; %.0f an hour)" % (number, len(mutants), status, row[2], row[4],
                                                               row[5], seconds, rate))
    if rows:
        minutes = (time.time() - began) / 60.0
        print("this run: %d mutants in %.1f min (%.0f an hour)" % (len(rows), minutes, len(rows) / minutes * 60))
    return rows


def main():
    args = parseArguments()
    signal.signal(signal.SIGTERM, stopOnSignal)
    signal.signal(signal.SIGHUP, stopOnSignal)
    root = subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True, capture_output=True,
                          cwd=os.path.dirname(os.path.abspath(__file__))).stdout.decode().strip()
    done, earlier, again = {}, {}, set()
    if args.retest:
        earlier, options = readReport(args.retest)
        args.seed, args.count, args.files = options.get("seed"), options.get("count"), options.get("files")
        again = {i for i, parts in earlier.items() if parts[1] in ("survived", "flaky", "timed-out")}
        args.report = re.sub(r"\.tsv$", "", args.retest) + "-retest.tsv"
        if os.path.exists(args.report):
            os.remove(args.report)
    elif args.resume:
        done, options = readReport(args.resume)
        args.seed = options.get("seed", args.seed)
        args.count = options.get("count", args.count)
        args.files = options.get("files", args.files)
        args.report = args.resume
    else:
        args.report = args.report or os.path.join(args.build, "report-seed%d.tsv" % args.seed)
        if os.path.exists(args.report) and not args.list:
            log("%s exists; give --resume %s to continue it, or remove it" % (args.report, args.report))
            return 2

    files = chooseFiles(trackedFiles(root), args.files)
    if not files:
        log("no files match %s" % " ".join(args.files or []))
        return 2
    mutants, siteCount = sampleMutants(root, files, args.count, args.seed)
    if args.retest:
        mutants = [m for m in mutants if mutantId(*m) in again]
    log("%d sites in %d files; sample of %d with seed %d" % (siteCount, len(files), len(mutants), args.seed))
    if args.list:
        for site, variant in mutants:
            print("%s:%d\t%s\t%s" % (site["file"], site["line"], site["kind"],
                                     describe(site, site["variants"][variant])))
        return 0

    prepared = prepareTree(args, root)
    if not prepared:
        return 1
    src, build, env = prepared
    tests = listTests(build, src)
    dataState["unmutated"] = dataDigest(build)
    times = baselineTimes(args, build, tests, env)
    accepted = readAccepted(root)
    rows = list(done.values()) + [parts for i, parts in earlier.items() if i not in again]
    rows += runSample(args, mutants, done, src, build, env, tests, times, accepted)
    # The build is left unmutated for the next run.
    run(["cmake", "--build", build, "-j%d" % args.jobs], 3600, env=env)

    counts, share, equivalent, shareNonEq = summary(rows, accepted, src)
    print("report: %s" % args.report)
    if equivalent:
        print("of the %d survivors %d are accepted equivalents (tests/mutants/accepted.txt): killed share of "
              "non-equivalent compiled mutants %.1f %%" % (counts["survived"], equivalent, shareNonEq))
    print("mutants: %d killed, %d survived, %d did not compile, %d timed out, %d flaky "
          "(killed share of compiled mutants: %.1f %%)" % (counts["killed"], counts["survived"],
                                                          counts["did-not-compile"], counts["timed-out"],
                                                          counts["flaky"], share))
    # The guard counts accepted equivalents out: no test can ever catch them.
    if args.min_share is not None and shareNonEq < args.min_share:
        log("the killed share of non-equivalent mutants, %.1f %%, is below %.1f %%" % (shareNonEq, args.min_share))
        return 1
    return 0


def dataDigest(build):
    """A digest of the generated data directory (build/data)."""
    digest = hashlib.sha1()
    top = os.path.join(build, "data")
    for dirpath, dirnames, names in sorted(os.walk(top)):
        dirnames.sort()
        for n in sorted(names):
            path = os.path.join(dirpath, n)
            digest.update(os.path.relpath(path, top).encode() + b"\0")
            with open(path, "rb") as h:
                digest.update(h.read())
    return digest.hexdigest()


# Whether build/data still holds what a mutated content tool generated: the
# folder stage builds only its test programs, so it must then bring the data
# back to the unmutated tree's first.
dataState = {"unmutated": None, "mutated": False}


def testMutant(build, site, runnable, tests, times, args, env):
    """Builds and tests the planted mutant: (status, the test that caught it)."""
    folder = site["file"].split("/")[0]
    built = set()
    try:
        return testStages(build, site, folder, runnable, tests, times, args, env, built)
    finally:
        if built & {"all", "kestrel_data"}:
            dataState["mutated"] = dataDigest(build) != dataState["unmutated"]


# The tests that caught mutants of each folder so far in the report: after the
# folder's own tests they run before the rest (whole-program tests such as the
# reference stills catch most faults of the content tools).
killers = {}


def noteKill(folder, test):
    if test and test != "-" and not test.startswith("build"):
        killers.setdefault(folder, {})
        killers[folder][test] = killers[folder].get(test, 0) + 1


def testStages(build, site, folder, runnable, tests, times, args, env, built):
    first = [t for t in runnable if tests[t]["folder"] == folder]
    rest = [t for t in runnable if t not in first and (folder == "app" or times[t] <= args.slow)]
    seen = killers.get(folder, {})
    likely = sorted((t for t in rest if t in seen), key=lambda t: -seen[t])
    rest = [t for t in rest if t not in likely]
    for stage in (first, likely, rest):
        if not stage:
            continue
        targets = {tests[t]["target"] for t in stage} - {None}
        if "all" in targets or folder == "tools":
            targets = {"all"}
        elif dataState["mutated"]:
            targets.add("kestrel_data")
        targets = sorted(targets - built)
        if targets and "all" not in built:
            code, out, _ = run(["cmake", "--build", build, "-j%d" % args.jobs, "--target"] + targets, 1800,
                               env=env)
            built.update(targets)
            if code is None:
                return "timed-out", "build"
            if code != 0:
                # make names the object it could not make: "[... target.dir/file.cpp.o] Error 1".
                if re.search(r"[/\[]" + re.escape(os.path.basename(site["file"])) + r"\.o\] Error", out):
                    return "did-not-compile", None
                # Built, but a step of the build failed (a content tool generating the data).
                failedStep = re.search(r"\*\*\* \[[^\]]*?([^/\]:]+)\] Error", out)
                return "killed", "build:" + (failedStep.group(1) if failedStep else "?")
        expected = sum(times[t] for t in stage) / args.jobs + max(times[t] for t in stage)
        failed, timedOut, _ = runTests(build, stage, 3 * expected + 30, args.jobs, env)
        if timedOut:
            return "timed-out", failed or "-"
        if failed:
            if failed == "ctest":
                return "killed", "ctest"
            # Run the failing test again on the same mutant: a second failure is a kill.
            # The first failure's output is kept: a flaky test is looked into from it.
            kept = keepFailureLog(build, failed)
            again, timedOut, _ = runTests(build, [failed], 3 * times[failed] + 30, 1, env)
            if not (timedOut or again) and kept:
                log("%s failed once and passed again; its output: %s" % (failed, kept))
            if timedOut or again:
                return "killed", failed
            return "flaky", failed
    return "survived", None


# The CI guard: a small sample with a fixed seed, over the floors whose tests
# are quick, sized to stay within about five minutes on two warm cores.
CiSeed = 24
CiCount = 12
CiFiles = ["sync/*.cpp", "assets/*.cpp", "post/*.cpp", "render/*.cpp"]
CiMinShare = 100.0
# The guard's floors are unit-tested: after a mutated file's own folder it runs
# only the tests that take under 3 s unmutated, so a survivor costs seconds.
CiSlow = 3.0

if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        log("stopped; the planted file is restored and --resume REPORT continues the run")
        sys.exit(130)
