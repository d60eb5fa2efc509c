#!/usr/bin/env python3
"""Mutation testing: plants the faults of scripts/mutants.txt one at a time in a scratch copy of
the tree, rebuilds, and runs the test suite to see whether it notices.

    python3 scripts/mutants.py [--tree DIR] [--scratch DIR] [--only TEXT] [--list] [--report FILE]

The scratch copy keeps its build folder between runs, so later runs rebuild only what changed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = "build-mut"
NODE_DIRS = ("tests/node_modules",)
# Never copied from a tree that is not a checkout, and never deleted from the scratch copy.
SKIPPED = re.compile(r"^(build[^/]*|.*node_modules|\.git)$")


@dataclass
class Mutant:
    name: str
    file: str = ""
    notice: str = ""
    old: str = ""
    new: str = ""
    line: int = 0


def parse_catalogue(path):
    """Blocks of '## name', 'file:', 'notice:', then '- ' original and '+ ' replacement lines
    (either may span several lines; no '+' line deletes the original). '#' lines are comments."""
    mutants, old, new = [], [], []

    def close():
        if mutants:
            mutants[-1].old, mutants[-1].new = "\n".join(old), "\n".join(new)

    for number, raw in enumerate(read(path).splitlines(), 1):
        if raw.startswith("## "):
            close()
            old, new = [], []
            mutants.append(Mutant(raw[3:].strip(), line=number))
        elif raw.startswith("#") or not raw.strip():
            continue
        elif not mutants:
            sys.exit(f"{path}:{number}: text before the first '## name'")
        elif raw.startswith(("file:", "notice:")):
            key, _, value = raw.partition(":")
            setattr(mutants[-1], key, value.strip())
        elif raw[0] in "-+" and raw[1:2] in ("", " "):
            (old if raw[0] == "-" else new).append(raw[2:])
        else:
            sys.exit(f"{path}:{number}: cannot read {raw!r}")
    close()
    names = [m.name for m in mutants]
    for m in mutants:
        if not (m.file and m.old and m.notice) or names.count(m.name) > 1:
            sys.exit(f"{path}:{m.line}: {m.name}: needs a unique name, file:, notice: and '-' lines")
    return mutants


def read(path):
    return path.read_bytes().decode("utf-8")


def write(path, text):
    path.write_bytes(text.encode("utf-8"))


def problem(tree, mutant):
    """Why the mutant cannot be planted in `tree`, or None."""
    path = tree / mutant.file
    if not path.is_file():
        return f"no file {mutant.file}"
    count = read(path).count(mutant.old)
    return None if count == 1 else f"original found {count} times in {mutant.file}"


def tracked_files(tree):
    top = subprocess.run(["git", "-C", tree, "rev-parse", "--show-toplevel"],
                         capture_output=True, text=True)
    if top.returncode == 0 and Path(top.stdout.strip()).resolve() == tree:
        # Tracked files as they are now, and new ones not yet added but not ignored either.
        out = subprocess.run(["git", "-C", tree, "ls-files", "-z", "--cached", "--others",
                              "--exclude-standard"], capture_output=True, check=True).stdout
        return sorted({f for f in out.decode().split("\0") if f and (tree / f).is_file()})
    files = []
    for root, dirs, names in os.walk(tree):
        dirs[:] = [d for d in dirs if not SKIPPED.match(d)]
        files += [str((Path(root) / n).relative_to(tree)) for n in names]
    return files


def sync(tree, scratch, files):
    """Makes `scratch` hold exactly `files` of `tree`. Only changed files are written, with the
    current time, so that the build folder rebuilds what differs and nothing else."""
    wanted = set(files)
    for root, dirs, names in os.walk(scratch):
        dirs[:] = [d for d in dirs if not SKIPPED.match(d)]
        for n in names:
            if str((Path(root) / n).relative_to(scratch)) not in wanted:
                (Path(root) / n).unlink()
    for f in files:
        source, target = tree / f, scratch / f
        if not target.is_file() or target.read_bytes() != source.read_bytes():
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(source, target)
            shutil.copymode(source, target)


def node_modules(scratch, source):
    for d in NODE_DIRS:
        if (source / d).is_dir() and not (scratch / d).exists():
            shutil.copytree(source / d, scratch / d, symlinks=True)
    script = scratch / "scripts/node-deps.sh"
    if script.exists():  # installs only where the lock file and node_modules disagree
        subprocess.run([script], cwd=scratch, check=True)


def run(command, cwd):
    started = time.monotonic()
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace")
    return done.returncode, done.stdout, time.monotonic() - started


def build(scratch):
    return run(["cmake", "--build", BUILD, "-j2"], scratch)


def test(scratch):
    """(passed, the first failing test's name, seconds)."""
    code, out, seconds = run(["ctest", "--test-dir", BUILD, "--stop-on-failure",
                              "--timeout", "120"], scratch)
    failed = re.search(r"Test\s+#\d+: (\S+) .*?(\*\*\*|Subprocess aborted)", out)
    listed = re.search(r"The following tests FAILED:\s*\n\s*\d+ - (\S+)", out)
    name = failed.group(1) if failed else listed.group(1) if listed else "(ctest failed)"
    return code == 0, name, seconds


class Report:
    def __init__(self, path):
        self.path, self.lines = path, []

    def say(self, line=""):
        print(line, flush=True)
        self.lines.append(line)
        if self.path:
            self.path.write_text("\n".join(self.lines) + "\n", encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tree", type=Path, default=HERE.parent, help="source tree to mutate")
    parser.add_argument("--scratch", type=Path, default=Path("/tmp/zg-mutants"),
                        help="where the copy and its build folder live")
    parser.add_argument("--catalogue", type=Path, default=HERE / "mutants.txt")
    parser.add_argument("--node-modules-from", type=Path, metavar="DIR",
                        help="tree whose tests' node_modules are copied (default: --tree)")
    parser.add_argument("--only", metavar="TEXT", help="run only mutants whose name contains it")
    parser.add_argument("--list", action="store_true",
                        help="print the catalogue and check it against the tree; build nothing")
    parser.add_argument("--report", type=Path, metavar="FILE", help="also write results there")
    args = parser.parse_args()
    tree, scratch = args.tree.resolve(), args.scratch.resolve()
    mutants = [m for m in parse_catalogue(args.catalogue) if not args.only or args.only in m.name]
    if not mutants:
        sys.exit(f"no mutant matches {args.only!r}")

    if args.list:
        bad = 0
        for m in mutants:
            why = problem(tree, m)
            bad += why is not None
            print(f"{m.name:34} {m.file}\n{'':34} {m.notice}" + (f"\n  BROKEN: {why}" if why else ""))
        print(f"{len(mutants)} mutants, {bad} broken")
        return 1 if bad else 0

    report, started = Report(args.report), time.monotonic()
    scratch.mkdir(parents=True, exist_ok=True)
    sync(tree, scratch, tracked_files(tree))
    node_modules(scratch, (args.node_modules_from or tree).resolve())
    if not (scratch / BUILD / "build.ninja").exists():
        code, out, _ = run(["cmake", "-S", ".", "-B", BUILD, "-G", "Ninja",
                            "-DCMAKE_BUILD_TYPE=Release"], scratch)
        if code:
            sys.exit(out + "\nconfiguring the scratch copy failed")
    code, out, build_s = build(scratch)
    if code:
        sys.exit(out[-4000:] + "\nthe unmutated tree does not build: no mutant can be judged")
    passed, failing, test_s = test(scratch)
    if not passed:
        sys.exit(f"the unmutated suite is not green ({failing} fails): no mutant can be judged")
    report.say(f"unmutated: built in {build_s:.0f}s, suite green in {test_s:.0f}s; "
               f"{len(mutants)} mutants of {args.catalogue.name} on {tree}")

    caught, survived, errors = [], [], []
    for i, m in enumerate(mutants, 1):
        label = f"[{i:2}/{len(mutants)}] {m.name:34}"
        if why := problem(scratch, m):
            errors.append(m)
            report.say(f"{label} BROKEN ENTRY: {why}")
            continue
        path = scratch / m.file
        original = read(path)
        try:
            write(path, original.replace(m.old, m.new))
            code, out, seconds = build(scratch)
            if code:
                errors.append(m)
                failure = [ln for ln in out.splitlines() if "error" in ln.lower()][:3]
                report.say(f"{label} DID NOT BUILD ({seconds:.0f}s): " + " | ".join(failure))
                continue
            passed, failing, test_s = test(scratch)
            seconds += test_s
        finally:
            write(path, original)
        if passed:
            survived.append(m)
            report.say(f"{label} survived ({seconds:.0f}s)")
        else:
            caught.append(m)
            report.say(f"{label} caught by {failing} ({seconds:.0f}s)")

    judged = len(caught) + len(survived)
    report.say()
    report.say(f"caught {len(caught)} of {judged} ({100 * len(caught) / max(judged, 1):.0f}%)"
               f" in {(time.monotonic() - started) / 60:.1f} min")
    for title, group in (("survivors", survived), ("catalogue errors", errors)):
        if group:
            report.say(f"{title}:")
            for m in group:
                report.say(f"  {m.name:34} {m.file}: {m.notice}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
