#!/usr/bin/env python3
"""Whether the summary's sigmas cover the real errors: on every dataset folder with a truth in PROVENANCE.md,
varno is run without options, with the README's recommended accuracy options and with those but correlated
weights, and each of the north, east and up errors of point 2 (marker, against the truth) is divided by its
sigma, the correlated one of `precision` and the white-noise one of `precision.white_noise`. Prints a Markdown table; a set passes when every |error|
lies within 3 sigma. Then, for each choice of options, the median of |error|/sigma over all sets and components.

usage: precision_real.py VARNO DATA_DIR [DATA_DIR ...]
"""
import json
import math
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from accuracy_study import provenance  # noqa: E402
from calibrate_precision import neu  # noqa: E402

RECOMMENDED = ["--troposphere", "--elevation-mask", "10", "--weights", "elevation"]
CORRELATED = ["--troposphere", "--elevation-mask", "10", "--weights", "correlated"]


def summary(varno, folder, options):
    with tempfile.TemporaryDirectory() as work:
        for name in ("point1.rnx", "point2.rnx", "orbit.sp3", "pos", "off"):
            if os.path.exists(os.path.join(folder, name)):
                os.symlink(os.path.join(folder, name), os.path.join(work, name))
        subprocess.run([varno, "-q", "--summary", "s.json", *options], cwd=work, capture_output=True)
        path = os.path.join(work, "s.json")
        return json.load(open(path)) if os.path.exists(path) else None


def main():
    varno = os.path.abspath(sys.argv[1])
    print("| set | options | error N, E, U (m) | σ N, E, U (m) | e/σ N, E, U | τ (s), fraction | white-noise e/σ N, E, U | within 3σ |")
    print("|---|---|---|---|---|---|---|---|")
    ratiosOf = {}
    for folder in (os.path.abspath(f) for f in sys.argv[2:]):
        if not os.path.exists(os.path.join(folder, "point1.rnx")):
            continue
        try:
            _, truth = provenance(folder)
        except (ValueError, AttributeError):
            sys.stderr.write(f"{folder}: no truth in PROVENANCE.md in the form read here; left out\n")
            continue
        for label, options in (("none", []), ("recommended", RECOMMENDED), ("correlated", CORRELATED)):
            s = summary(varno, folder, options)
            if s is None or s["precision"] is None:
                print(f"| {os.path.basename(folder)} | {label} | failed | | | | | |")
                continue
            p2, p = s["point2"], s["precision"]
            e = neu(math.radians(p2["latitude_deg"]), math.radians(p2["longitude_deg"]),
                    [p2["x_m"] - truth[0], p2["y_m"] - truth[1], p2["z_m"] - truth[2]])
            sig = [p["sigma_north_m"], p["sigma_east_m"], p["sigma_up_m"]]
            w = p["white_noise"]
            white = [w["sigma_north_m"], w["sigma_east_m"], w["sigma_up_m"]]
            c = p["correlation"]
            corr = f"{c['correlation_time_s']:.0f}, {c['correlated_fraction']:.2f}" if c else "-"
            ratios = [abs(e[i]) / sig[i] for i in range(3)]
            ratiosOf.setdefault(label, []).extend(ratios)
            print(f"| {os.path.basename(folder)} | {label} | {e[0]:.3f}, {e[1]:.3f}, {e[2]:.3f} | "
                  f"{sig[0]:.3f}, {sig[1]:.3f}, {sig[2]:.3f} | {ratios[0]:.2f}, {ratios[1]:.2f}, {ratios[2]:.2f} | "
                  f"{corr} | {abs(e[0]) / white[0]:.1f}, {abs(e[1]) / white[1]:.1f}, {abs(e[2]) / white[2]:.1f} | "
                  f"{'yes' if max(ratios) <= 3 else 'no'} |", flush=True)
    print()
    for label, ratios in ratiosOf.items():
        print(f"median |e|/σ, {label}: {statistics.median(ratios):.2f} over {len(ratios)} components")


if __name__ == "__main__":
    main()
