#!/usr/bin/env python3
"""Accuracy of varno's optional models on the real datasets, side by side with the peer solver.

For every dataset folder (point1.rnx, point2.rnx, orbit.sp3, pos, optional off, PROVENANCE.md) it runs varno
without options, with each accuracy option and with their combination, and, when rnx2rtkp (Debian rtklib) is
installed, the peer in DGPS mode (L1 code, the same SP3 orbit, GPS only, elevation mask 0, no ionosphere or
troposphere model) with its per-epoch positions averaged over the span. Each error is the 3-D distance of the
final point 2 marker from the carrier-phase truth stated in PROVENANCE.md. Prints a Markdown table.

usage: accuracy_study.py VARNO DATA_DIR [DATA_DIR ...]
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
VARIANTS = [
    ("none", []),
    ("--troposphere", ["--troposphere"]),
    ("--elevation-mask 10", ["--elevation-mask", "10"]),
    ("--weights elevation", ["--weights", "elevation"]),
    ("all three", ["--troposphere", "--elevation-mask", "10", "--weights", "elevation"]),
    ("--weights correlated", ["--weights", "correlated"]),
    ("all three, correlated", ["--troposphere", "--elevation-mask", "10", "--weights", "correlated"]),
]
PEER_CONFIG = """pos1-posmode       =dgps
pos1-frequency     =l1
pos1-elmask        =0
pos1-navsys        =1
pos1-sateph        =precise
pos1-ionoopt       =off
pos1-tropopt       =off
out-solformat      =xyz
"""


def provenance(folder):
    text = open(os.path.join(folder, "PROVENANCE.md"), errors="replace").read()
    base = re.search(r"\(point 1, fixed\) \| *(-?[\d.]+) *\| *(-?[\d.]+) *\| *(-?[\d.]+)", text)
    after = text[text.index("Truth for judging point 2"):]
    truth = re.search(r"`\w+ = (-?[\d.]+) (-?[\d.]+) (-?[\d.]+)`", after)
    return [float(v) for v in base.groups()], [float(v) for v in truth.groups()]


def varno_marker(varno, folder, options):
    with tempfile.TemporaryDirectory() as work:
        for name in ("point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"):
            if os.path.exists(os.path.join(folder, name)):
                os.symlink(os.path.join(folder, name), os.path.join(work, name))
        run = subprocess.run([varno, "-q", *options], cwd=work, capture_output=True, text=True)
        listing = open(os.path.join(work, "varno.lst")).read().splitlines() if os.path.exists(
            os.path.join(work, "varno.lst")) else []
    for i, line in enumerate(listing):
        if line.startswith(" adjusted point 2 marker"):
            return [float(listing[i + 1][k:k + 14]) for k in (0, 14, 28)]
    sys.stderr.write(f"varno {' '.join(options)} on {folder}: status {run.returncode} {run.stderr}\n")
    return None


def peer_marker(folder, base):
    if not shutil.which("rnx2rtkp"):
        return None
    with tempfile.TemporaryDirectory() as work:
        conf = os.path.join(work, "dgps.conf")
        open(conf, "w").write(PEER_CONFIG)
        nav = os.path.join(work, "clocks.nav")
        with open(nav, "w") as out:
            subprocess.run([sys.executable, os.path.join(HERE, "peer", "sp3_clock_nav.py"),
                            os.path.join(folder, "orbit.sp3")], stdout=out, check=True)
        # The peer recognises orbit files by their extension and observation files by their content.
        for name in ("point1.rnx", "point2.rnx", "orbit.sp3"):
            os.symlink(os.path.join(folder, name), os.path.join(work, name.replace(".rnx", ".obs")))
        sol = os.path.join(work, "out.pos")
        subprocess.run(["rnx2rtkp", "-k", conf, "-r", *map(str, base), "-o", sol,
                        os.path.join(work, "point2.obs"), os.path.join(work, "point1.obs"),
                        os.path.join(work, "orbit.sp3"), nav], capture_output=True)
        if not os.path.exists(sol):
            return None
        rows = [line.split() for line in open(sol) if not line.startswith("%") and line.strip()]
    if not rows:
        return None
    return [sum(float(r[k]) for r in rows) / len(rows) for k in (2, 3, 4)]


def error(marker, truth):
    if marker is None:
        return "failed"
    return f"{math.dist(marker, truth):.2f}"


def main():
    varno = os.path.abspath(sys.argv[1])
    header = ["set"] + [v[0] for v in VARIANTS] + ["peer (DGPS, mean)"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for folder in (os.path.abspath(f) for f in sys.argv[2:]):
        try:
            base, truth = provenance(folder)
        except (ValueError, AttributeError):
            sys.stderr.write(f"{folder}: no point 1 and point 2 truth in PROVENANCE.md in the form read here; left out\n")
            continue
        cells = [os.path.basename(os.path.normpath(folder))]
        cells += [error(varno_marker(varno, folder, opts), truth) for _, opts in VARIANTS]
        peer = peer_marker(folder, base)
        cells.append(error(peer, truth) if shutil.which("rnx2rtkp") else "not installed")
        print("| " + " | ".join(cells) + " |", flush=True)


if __name__ == "__main__":
    main()
