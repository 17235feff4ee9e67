#!/usr/bin/env python3
"""Runs two builds of pellucor-cli on the same inputs and compares everything they produce.

    scripts/compare-cli.py OLD NEW [--cases N] [--rows N] [--seed S] [--keep DIR]

For every sheet: the worked example, then random input sets (mostly valid, the rest with
boxes left empty, out of range, zero, or text that is not a number; the steel kinds, the
options and the derived diffusion coefficients all drawn) typed on the console with
--save and --curves; the standard output, standard error, exit status, the saved result
file and the curves CSV must be the same bytes. Then the same sets as one member table
through `batch` (CSV, and GBK), and a few reliability runs through `mc`; then design for a
target life (deterministic and by the reliability index), the inspection fits, the assessment
of a project (with its reliability analysis, prior and updated) and updated reliability runs. Prints the
counts and exits 1 at the first difference (with both sides written to --keep).
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

SHEETS = ["carbonation", "chloride-constant", "chloride-variable", "marine", "admixed"]

# Boxes without a range check get values in the range their prompts name.
UNCHECKED = {"depth": (10, 80), "measured": (1, 13), "water-cement": (0.35, 0.7)}

EXAMPLES = {
    "carbonation": "environment=2 temperature=15 humidity=0.7 strength=30 cover=30 age=60 "
    "co2=1.5 diameter=20 steel=1 outdoor=1",
    "chloride-constant": "environment=1.5 temperature=20 humidity=0.8 strength=30 cover=40 "
    "age=20 diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 steel=2",
    "chloride-variable": "environment=1 temperature=20 humidity=0.8 strength=30 cover=30 age=10 "
    "exponent=0.3 surface=5 critical=1.4 depth=20 measured=2 cracking-time=20 diameter=20 "
    "steel=2",
    "marine": "environment=1.5 temperature=20 humidity=0.8 strength=30 cover=40 age=20 "
    "diffusion=1.5 surface=5 critical=1.4 cracking-time=20 diameter=20 accumulation=1.0 "
    "stable-time=25 initiation-time=10 t2=5 steel=2",
    "admixed": "environment=1 temperature=20 humidity=0.8 strength=30 cover=30 age=30 "
    "cracking-time=20 chloride=6 diameter=20 steel=2",
}


def sheet_boxes(cli, sheet):
    """The sheet's boxes (alias, lo, hi or None) and option aliases, from its console help."""
    text = subprocess.run([cli, "--help", sheet], capture_output=True, text=True, check=True).stdout
    boxes, options = [], []
    lines = text.splitlines()
    for i, line in enumerate(lines):
        m = re.match(r"  (Text\d+) \((\S+)\)", line)
        if m:
            alias = m.group(2)
            checks = lines[i + 2] if i + 2 < len(lines) else ""
            r = re.search(r"valid ([-0-9.]+) to ([-0-9.]+)", checks)
            rng = (float(r.group(1)), float(r.group(2))) if r else UNCHECKED.get(alias, (1, 10))
            boxes.append((alias, rng[0], rng[1], r is not None))
        m = re.match(r"  (Option\d+) \((\S+)\)", line)
        if m:
            options.append(m.group(2))
    return boxes, options


def number(rng, lo, hi):
    v = rng.uniform(lo, hi)
    return f"{v:.{rng.choice([0, 1, 2, 3, 6])}f}"


def draw_case(rng, boxes, options, valid):
    """One input set as NAME=TEXT assignments."""
    args = []
    for alias, lo, hi, _ in boxes:
        if valid:
            # The derivable coefficient and the either-or pair are sometimes left empty.
            if alias in ("diffusion", "carbonation-depth", "co2") and rng.random() < 0.4:
                continue
            if rng.random() < 0.05:
                text = rng.choice([str(lo), str(hi)])
            else:
                text = number(rng, lo, hi)
        else:
            roll = rng.random()
            if roll < 0.55:
                text = number(rng, lo, hi)
            elif roll < 0.65:
                continue
            elif roll < 0.75:
                text = number(rng, hi, hi * 2 + 1)
            elif roll < 0.82:
                text = number(rng, -hi, lo) if lo > 0 else "-1"
            elif roll < 0.88:
                text = "0"
            else:
                text = rng.choice(["abc", " 12.5x", "1e3", "", " ", ".5", "3..4", "１２"])
        args.append(f"{alias}={text}")
    # Options: the second of each pair sometimes (every second alias is a group's second).
    for second in options[1::2]:
        if rng.random() < 0.4:
            args.append(f"{second}=1")
    steel = rng.random()
    if valid or steel < 0.9:
        args.append(f"steel={rng.choice(['1', '2', '3', '2 变形钢筋', '3 墙板配筋'])}")
    return args


def run(cli, args, cwd):
    p = subprocess.run([cli] + args, capture_output=True, cwd=cwd, timeout=300)
    return p.returncode, p.stdout, p.stderr


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


class Comparer:
    def __init__(self, old, new, keep):
        self.old, self.new, self.keep = old, new, keep
        self.work = tempfile.mkdtemp(prefix="compare-cli-")
        self.dirs = {}
        for side in ("old", "new"):
            self.dirs[side] = os.path.join(self.work, side)
            os.makedirs(self.dirs[side])
        self.counts = {}

    def count(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1

    def fail(self, what, args, old, new):
        os.makedirs(self.keep, exist_ok=True)
        for side, value in (("old", old), ("new", new)):
            with open(os.path.join(self.keep, f"{side}.out"), "wb") as f:
                f.write(repr(value).encode() if not isinstance(value, bytes) else value)
        print(f"DIFFERENT {what}: {' '.join(args)}\n  both sides in {self.keep}", file=sys.stderr)
        sys.exit(1)

    def compare(self, what, args, outputs):
        """Runs both sides in their own folders; `outputs` are files they write there."""
        results = {}
        for side, cli in (("old", self.old), ("new", self.new)):
            d = self.dirs[side]
            for name in outputs:
                if os.path.exists(os.path.join(d, name)):
                    os.remove(os.path.join(d, name))
            results[side] = run(cli, args, d) + tuple(read(os.path.join(d, n)) for n in outputs)
        labels = ["exit status", "stdout", "stderr"] + outputs
        for label, a, b in zip(labels, results["old"], results["new"]):
            if a != b:
                self.fail(f"{what} ({label})", args, a, b)
        return results["new"]

    def close(self):
        shutil.rmtree(self.work, ignore_errors=True)


PROJECT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fuzz",
                       "corpus", "project_reader", "project-whole.pellucor")

# Readings as an inspection gives them: a chloride profile, carbonation depths, cover readings.
READINGS = {
    "profile.csv": "depth,chloride\n2.5,4.1\n7.5,3.2\n12.5,2.4\n17.5,1.7\n22.5,1.15\n"
                   "27.5,0.8\n32.5,0.55\n",
    "depths.csv": "depth\n12\n14.5\n9\n11\n13.2\n10.4\n15\n12.8\n",
    "covers.csv": "cover\n38\n41.5\n36\n40.2\n43\n35.5\n39\n42\n37.5\n40\n",
}


def beyond_the_sheets(c):
    """Design, the inspection fits, the assessment of a project and the updated reliability."""
    for side in ("old", "new"):
        for name, text in READINGS.items():
            with open(os.path.join(c.dirs[side], name), "w", encoding="utf-8") as f:
                f.write(text)
    for sheet in SHEETS:
        example = EXAMPLES[sheet].split()
        c.compare("design", ["design", sheet] + example +
                  ["--solve", "cover", "--target-life", "50", "-o", "design.csv"], ["design.csv"])
        c.compare("design", ["design", sheet] + example +
                  ["--solve", "cover", "--limit", "tc", "--target-life", "40", "--beta", "1.3",
                   "--samples", "500", "--threads", "2"], [])
        c.count("designs")
    for args in (["fit", "profile", "profile.csv", "--age", "20", "-o", "fit.json"],
                 ["fit", "profile", "profile.csv", "--age", "20", "--background", "fitted",
                  "-o", "fit.json"],
                 ["fit", "carbonation", "depths.csv", "--age", "42", "-o", "fit.json"],
                 ["fit", "cover", "covers.csv", "--design-cover", "40", "--sheet", "marine",
                  "-o", "fit.json"]):
        c.compare("fit", args, ["fit.json"])
        c.count("fits")
    for args in (["assess", PROJECT, "-o", "assess.csv"],
                 ["assess", PROJECT, "--reliability", "--samples", "1000", "-o", "assess.csv"],
                 ["assess", PROJECT, "--reliability", "--samples", "1000", "--updated",
                  "-o", "assess.csv"]):
        c.compare("assess", args, ["assess.csv"])
        c.count("assessments")
    for member in ("柱 C1", "梁 B1"):
        c.compare("mc --update", ["mc", "--update", PROJECT, "--member", member, "--samples",
                                  "2000", "--threads", "2", "-o", "mc.csv"], ["mc.csv"])
        c.count("updated reliability runs")
    c.compare("mc --update", ["mc", "carbonation"] + EXAMPLES["carbonation"].split() +
              ["--depths", "depths.csv", "--depths-age", "42", "--covers", "covers.csv",
               "--samples", "2000", "--threads", "2"], [])
    c.count("updated reliability runs")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--cases", type=int, default=1000, help="random input sets per sheet")
    ap.add_argument("--rows", type=int, default=500, help="members per sheet in the batch run")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep", default="compare-cli-failure")
    a = ap.parse_args()
    rng = random.Random(a.seed)
    c = Comparer(os.path.abspath(a.old), os.path.abspath(a.new), os.path.abspath(a.keep))
    try:
        for sheet in SHEETS:
            boxes, options = sheet_boxes(a.old, sheet)
            sets = [EXAMPLES[sheet].split()]
            for i in range(a.cases):
                sets.append(draw_case(rng, boxes, options, valid=rng.random() < 0.75))
            for args in sets:
                status, _, _, _, _ = c.compare(
                    "sheet", [sheet] + args + ["--save", "out.DAT", "--curves", "curves.csv"],
                    ["out.DAT", "curves.csv"])
                c.count(f"{sheet} exit {status}")
                c.count("console runs")
            # The same sets (and more) as one member table.
            header = ["member"] + [b[0] for b in boxes] + options + ["steel"]
            rows = []
            for i in range(a.rows):
                args = sets[i] if i < len(sets) else draw_case(rng, boxes, options,
                                                             rng.random() < 0.75)
                cells = dict(x.split("=", 1) for x in args)
                row = [f"m{i:05d}"] + [cells.get(h, "") for h in header[1:]]
                rows.append(",".join('"' + v.replace('"', '""') + '"' for v in row))
            for side in ("old", "new"):
                with open(os.path.join(c.dirs[side], "members.csv"), "w", encoding="utf-8") as f:
                    f.write(",".join(header) + "\n" + "\n".join(rows) + "\n")
            for extra in ([], ["--encoding", "gbk"], ["--jobs", "1"]):
                c.compare("batch", ["batch", sheet, "members.csv", "-o", "table.csv"] + extra,
                          ["table.csv"])
                c.count("batch tables")
            c.count("batch members")
            c.counts["batch members"] += len(rows) - 1
            # Reliability runs on the worked example and on a few valid sets.
            for args in [EXAMPLES[sheet].split()] + [draw_case(rng, boxes, options, True)
                                                     for _ in range(3)]:
                c.compare("mc", ["mc", sheet] + args + ["--samples", "2000", "--threads", "2",
                                                         "-o", "mc.csv"], ["mc.csv"])
                c.count("mc runs")
        beyond_the_sheets(c)
    finally:
        c.close()
    for k in sorted(c.counts):
        print(f"{k}: {c.counts[k]}")
    print("identical")


if __name__ == "__main__":
    main()
