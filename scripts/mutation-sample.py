#!/usr/bin/env python3
"""Seeded mutants of the core, each built and run against the test program of its folder.

    scripts/mutation-sample.py [--seed N] [--count N] [--build DIR] [--out LIST]
    scripts/mutation-sample.py --replay LIST [--build DIR] [--out LIST]

A mutant is one small change to one line of a core source file: a comparison flipped, an
arithmetic or logical operator swapped, an integer literal changed by one, or a statement
deleted. The mutant of src/<folder>/x.cpp is built into test_<folder> and that program is run;
the mutant is killed when the program fails (or runs past the time limit), and survives when it
passes. A mutant that does not compile is stillborn and not counted.

The first form draws mutants with the seed until --count of them compiled and writes the list
(one mutant a line, tab-separated) to --out. The second form runs the mutants of such a list
again, finding each by the text of its line (the line may have moved, even to another file), so
a list drawn before a change can be run after it. Both print the kill rate.

The tree must be clean (git status): every mutated file is restored after its run, also on
Ctrl+C. The build directory is configured like ./test.sh's when it does not exist.
"""

import argparse
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path
from shutil import which

CORE_FOLDERS = ["app", "link", "camera_index", "windows", "upload", "imaging", "adjust", "print", "live"]

COMPARISONS = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ", " == ": " != ", " != ": " == "}
OPERATORS = {" + ": " - ", " - ": " + ", " * ": " / ", " / ": " * ", " && ": " || ", " || ": " && "}
LITERAL = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
STATEMENT = re.compile(
    r"^\s*(?!return\b|break\b|continue\b|case\b|default\b|goto\b|throw\b|co_return\b)"
    r"[A-Za-z_][\w.:\->\[\]]*(\(.*\)|\s*[-+*/|&^]?=\s*.+|\+\+|--);\s*$"
)
STRING = re.compile(r'"(?:[^"\\]|\\.)*"|\'(?:[^\'\\]|\\.)*\'')


def code_part(line):
    """The line with string and character literals blanked and any // comment cut off."""
    blanked = STRING.sub(lambda m: " " * len(m.group(0)), line)
    cut = blanked.find("//")
    return blanked if cut < 0 else blanked[:cut] + " " * (len(blanked) - cut)


def sites_of_line(line):
    """Every (kind, column, old text, new text) mutation of one source line."""
    text = code_part(line)
    stripped = text.strip()
    if not stripped or stripped.startswith(("#", "*", "/*")) or "static_assert" in text:
        return []
    sites = []
    for table, kind in ((COMPARISONS, "comparison"), (OPERATORS, "operator")):
        for old, new in table.items():
            start = text.find(old)
            while start >= 0:
                sites.append((kind, start, old, new))
                start = text.find(old, start + 1)
    for match in LITERAL.finditer(text):
        value = int(match.group(1))
        for new in {value + 1, max(value - 1, 0)} - {value}:
            sites.append(("literal", match.start(1), match.group(1), str(new)))
    if STATEMENT.match(text) and not stripped.endswith(("{", ",")):
        sites.append(("delete", 0, line.rstrip("\n"), ""))
    return sites


def apply(line, column, old, new, kind):
    if kind == "delete":
        return "\n" if line.endswith("\n") else ""
    assert line[column : column + len(old)] == old
    return line[:column] + new + line[column + len(old) :]


def core_files(root):
    files = []
    for folder in CORE_FOLDERS:
        base = root / "src" / folder
        if base.is_dir():
            files += sorted(p for p in base.rglob("*.cpp"))
    return files


def folder_of(root, path):
    return path.relative_to(root / "src").parts[0]


class Runner:
    def __init__(self, root, build, timeout):
        self.root, self.build, self.timeout = root, build, timeout
        self.ready = set()
        self.restore = None

    def configure(self):
        if (self.build / "CMakeCache.txt").exists():
            return
        launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if which("ccache") else []
        subprocess.run(
            ["cmake", "-S", str(self.root), "-B", str(self.build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
             "-DFOTOLYX_WERROR=ON", "-DFOTOLYX_BUILD_BENCH=OFF", *launcher],
            check=True, stdout=subprocess.DEVNULL)

    def build_target(self, target):
        done = subprocess.run(["cmake", "--build", str(self.build), "-j2", "--target", target],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return done.returncode == 0

    def run_tests(self, target):
        program = self.build / "bin" / target
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        try:
            done = subprocess.run([str(program), "--gtest_brief=1"], cwd=self.build, env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=self.timeout, start_new_session=True)
            return done.returncode == 0
        except subprocess.TimeoutExpired:
            return False

    def baseline(self, folder):
        target = "test_" + folder
        if target in self.ready:
            return True
        if not (self.root / "tests" / folder).is_dir():
            return False
        if not self.build_target(target) or not self.run_tests(target):
            sys.exit(f"{target} does not pass before any mutant; mend that first")
        self.ready.add(target)
        return True

    def try_mutant(self, path, number, new_line):
        """'killed', 'survived', 'stillborn' or 'untested' for one mutant."""
        folder = folder_of(self.root, path)
        if not self.baseline(folder):
            return "untested"
        original = path.read_bytes()
        lines = original.decode().splitlines(keepends=True)
        lines[number - 1] = new_line
        self.restore = (path, original)
        try:
            path.write_text("".join(lines))
            if not self.build_target("test_" + folder):
                return "stillborn"
            return "survived" if self.run_tests("test_" + folder) else "killed"
        finally:
            path.write_bytes(original)
            self.restore = None


def draw(root, seed):
    """Every mutation site of the core in a seeded order."""
    sites = []
    for path in core_files(root):
        for number, line in enumerate(path.read_text().splitlines(keepends=True), 1):
            for kind, column, old, new in sites_of_line(line):
                sites.append((path, number, line, kind, column, old, new))
    random.Random(seed).shuffle(sites)
    return sites


def locate(root, record):
    """The file and line number where a listed mutant's line stands now, or None."""
    relative, number, kind, column, old, new, text = record
    candidates = [root / relative] + [p for p in core_files(root) if p != root / relative]
    for path in candidates:
        if not path.exists():
            continue
        lines = path.read_text().splitlines()
        hits = [i + 1 for i, line in enumerate(lines) if line.strip() == text.strip()]
        if hits:
            return path, min(hits, key=lambda n: abs(n - number))
    return None


def moved_column(text, line, column, old, kind):
    """The column of the same occurrence of `old` in the line as it stands now (its indent may differ)."""
    if kind == "delete":
        return 0
    occurrence = 0
    start = code_part(text).find(old)
    while 0 <= start < column:
        occurrence += 1
        start = code_part(text).find(old, start + 1)
    now = code_part(line).find(old)
    for _ in range(occurrence):
        now = code_part(line).find(old, now + 1)
    return now


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t")


def unescape(text):
    return re.sub(r"\\(.)", lambda m: "\t" if m.group(1) == "t" else m.group(1), text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=21)
    parser.add_argument("--count", type=int, default=60)
    parser.add_argument("--replay", type=Path)
    parser.add_argument("--build", type=Path, default=Path("build-mutants"))
    parser.add_argument("--out", type=Path)
    parser.add_argument("--timeout", type=int, default=240, help="seconds a test program may run")
    args = parser.parse_args()

    root = Path(subprocess.run(["git", "rev-parse", "--show-toplevel"], check=True, text=True,
                               stdout=subprocess.PIPE).stdout.strip())
    if subprocess.run(["git", "-C", str(root), "status", "--porcelain", "--untracked-files=no", "src"],
                      stdout=subprocess.PIPE, text=True).stdout.strip():
        sys.exit("src/ has uncommitted changes; the mutants would be mixed with them")
    build = args.build if args.build.is_absolute() else root / args.build
    runner = Runner(root, build, args.timeout)

    def restore_and_quit(signum, frame):
        if runner.restore:
            runner.restore[0].write_bytes(runner.restore[1])
        sys.exit(128 + signum)

    signal.signal(signal.SIGINT, restore_and_quit)
    signal.signal(signal.SIGTERM, restore_and_quit)
    runner.configure()

    if args.replay:
        records = []
        for line in args.replay.read_text().splitlines():
            if line.startswith("#") or not line.strip():
                continue
            fields = line.split("\t")
            records.append((fields[1], int(fields[2]), fields[3], int(fields[4]), unescape(fields[5]),
                            unescape(fields[6]), unescape(fields[7])))
        todo = []
        for record in records:
            where = locate(root, record)
            todo.append((record, where))
    else:
        todo = None

    results = []
    started = time.monotonic()
    out = open(args.out, "w") if args.out else None
    if out:
        out.write("# result\tfile\tline\tkind\tcolumn\told\tnew\tline text\n")

    def report(result, relative, number, kind, column, old, new, text):
        results.append(result)
        row = [result, str(relative), str(number), kind, str(column), escape(old), escape(new), escape(text)]
        print("\t".join(row[:7]), flush=True)
        if out:
            out.write("\t".join(row) + "\n")
            out.flush()

    if todo is not None:
        for (relative, number, kind, column, old, new, text), where in todo:
            if where is None:
                report("gone", relative, number, kind, column, old, new, text)
                continue
            path, now = where
            line = path.read_text().splitlines(keepends=True)[now - 1]
            column = moved_column(text, line, column, old, kind)
            result = runner.try_mutant(path, now, apply(line, column, old, new, kind))
            report(result, path.relative_to(root), now, kind, column, old, new, text)
    else:
        for path, number, line, kind, column, old, new in draw(root, args.seed):
            if sum(r in ("killed", "survived") for r in results) >= args.count:
                break
            result = runner.try_mutant(path, number, apply(line, column, old, new, kind))
            report(result, path.relative_to(root), number, kind, column, old, new, line.rstrip("\n"))

    killed = results.count("killed")
    counted = killed + results.count("survived")
    minutes = (time.monotonic() - started) / 60
    print(f"seed {args.seed}: {killed} of {counted} mutants killed "
          f"({100.0 * killed / max(counted, 1):.1f} %); {results.count('stillborn')} stillborn, "
          f"{results.count('untested')} without tests, {results.count('gone')} gone; {minutes:.0f} min")


if __name__ == "__main__":
    main()
