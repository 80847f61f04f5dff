#!/usr/bin/env python3
"""How far the precision of the summary can be trusted.

Simulated static baselines whose code errors are correlated in time (a first-order Gauss-Markov process per
receiver and satellite, correlation time drawn for each seed between 30 and 600 s, on top of white noise) and
carry the differential delay that grows with the baseline (varno-sim --separation-ppm, the model and figure of
the program's baseline term; baseline length drawn for each seed between 2 and 100 km) are adjusted, and the error of point 2 against the simulator's truth is divided by its sigma, per component
(north, east, up). A cell (span x interval) passes when the rms of error / sigma lies within 0.75-1.33 for each
of N, E and U and at least 90 % of the 3-D errors lie within 2.80 sigma_3D, sigma_3D the summary's sigma_3d_m (the
sigma of the isotropic error with the same 95 % radius).
The same ratios for the white-noise sigmas (precision.white_noise) are given beside.

    bench/calibrate_precision.py [--runs N] [--cells 1h@30,6h@1,...] [--jobs J] [--build DIR] [--update-readme]

Default cells: 1 h, 6 h and 24 h at 30 s and at 1 s, 30 seeds each (the 24 h at 1 s cell alone takes about
15 minutes of one core). Prints a Markdown table; --update-readme puts it between the calibration markers of
README.md.
"""
import argparse
import concurrent.futures
import json
import math
import os
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
HOURS = {"1h": 3600, "6h": 21600, "24h": 86400}
MIN_TAU, MAX_TAU = 30.0, 600.0
MIN_LENGTH, MAX_LENGTH = 2000.0, 100000.0  # m
SEPARATION_PPM = 2  # the differential delay the program's baseline term states (src/separation/separation.h)


def scenario(seed, duration, interval):
    # The correlation time and the baseline length log-uniform over their ranges, from the seed alone (the same
    # table every time).
    u = ((seed * 0.6180339887498949) % 1.0)
    tau = MIN_TAU * (MAX_TAU / MIN_TAU) ** u
    length = MIN_LENGTH * (MAX_LENGTH / MIN_LENGTH) ** ((seed * 0.41421356237309515) % 1.0)
    return tau, [f"--seed={seed}", f"--duration={duration}", f"--interval={interval}", "--noise=0.3",
                 f"--correlation-time={tau:.1f}", "--correlated-noise=0.4,0.1", f"--baseline={length:.0f}",
                 f"--separation-ppm={SEPARATION_PPM}"]


def neu(lat, lon, d):
    sl, cl, so, co = math.sin(lat), math.cos(lat), math.sin(lon), math.cos(lon)
    return (-sl * co * d[0] - sl * so * d[1] + cl * d[2], -so * d[0] + co * d[1],
            cl * co * d[0] + cl * so * d[1] + sl * d[2])


def one_run(varno, sim, seed, duration, interval, work):
    tau, options = scenario(seed, duration, interval)
    run = pathlib.Path(work) / f"run-{duration}-{interval}-{seed}"
    subprocess.run([sim, *options, str(run)], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([varno, "-q", "--summary", "summary.json"], cwd=run, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    summary = json.loads((run / "summary.json").read_text())
    truth = {}
    for line in (run / "truth").read_text().splitlines():
        if "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            truth[key.strip()] = value.split()
    p2 = summary["point2"]
    error = [p2["x_m"] - float(truth["point2"][0]), p2["y_m"] - float(truth["point2"][1]),
             p2["z_m"] - float(truth["point2"][2])]
    e = neu(math.radians(p2["latitude_deg"]), math.radians(p2["longitude_deg"]), error)
    p = summary["precision"]
    for path in run.iterdir():
        path.unlink()
    run.rmdir()

    def ratios(s):
        sig = [s["sigma_north_m"], s["sigma_east_m"], s["sigma_up_m"]]
        three = s["sigma_3d_m"]
        return [e[i] / sig[i] for i in range(3)], math.sqrt(sum(x * x for x in e)) <= 2.80 * three

    real, inside = ratios(p)
    white, white_inside = ratios(p["white_noise"])
    estimated = p["correlation"]["correlation_time_s"] if p["correlation"] else float("nan")
    term = p.get("baseline_term")
    share = (sum(term[f"sigma_{c}_m"] ** 2 for c in ("north", "east", "up")) /
             sum(p[f"sigma_{c}_m"] ** 2 for c in ("north", "east", "up"))) if term else 0.0
    return real, inside, white, white_inside, tau, estimated, share


def cell(varno, sim, runs, duration, interval, jobs, work):
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        results = list(pool.map(lambda s: one_run(varno, sim, s, duration, interval, work), range(1, runs + 1)))
    rms = lambda k, which: math.sqrt(sum(r[which][k] ** 2 for r in results) / len(results))
    real = [rms(k, 0) for k in range(3)]
    white = [rms(k, 2) for k in range(3)]
    inside = 100.0 * sum(r[1] for r in results) / len(results)
    white_inside = 100.0 * sum(r[3] for r in results) / len(results)
    tau_ratio = sorted(r[5] / r[4] for r in results)
    passed = all(0.75 <= x <= 1.33 for x in real) and inside >= 90.0
    shares = sorted(r[6] for r in results)
    return real, inside, white, white_inside, tau_ratio[len(tau_ratio) // 2], passed, shares


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=30)
    parser.add_argument("--cells", default="1h@30,6h@30,24h@30,1h@1,6h@1,24h@1")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--build", default="build")
    parser.add_argument("--update-readme", action="store_true")
    args = parser.parse_args()
    varno = os.environ.get("VARNO", str(ROOT / args.build / "varno"))
    sim = os.environ.get("VARNO_SIM", str(ROOT / args.build / "tools" / "sim" / "varno-sim"))
    lines = ["| span | interval | runs | rms e/σ N | E | U | 3-D within 2.80σ | median τ̂/τ | baseline term's share of σ², median (largest) | white-noise rms e/σ N, E, U (3-D within) | passes |",
             "|---|---|---|---|---|---|---|---|---|---|---|"]
    with tempfile.TemporaryDirectory() as work:
        for cell_name in args.cells.split(","):
            span, interval = cell_name.split("@")
            real, inside, white, white_inside, tau, passed, shares = cell(varno, sim, args.runs, HOURS[span],
                                                                          int(interval), args.jobs, work)
            lines.append(f"| {span} | {interval} s | {args.runs} | {real[0]:.2f} | {real[1]:.2f} | {real[2]:.2f} | "
                         f"{inside:.0f} % | {tau:.2f} | {100 * shares[len(shares) // 2]:.0f} % "
                         f"({100 * shares[-1]:.0f} %) | {white[0]:.1f}, {white[1]:.1f}, {white[2]:.1f} "
                         f"({white_inside:.0f} %) | {'yes' if passed else 'no'} |")
            print(lines[-1], flush=True)
    table = "\n".join(lines)
    print(table)
    if args.update_readme:
        readme = ROOT / "README.md"
        text = readme.read_text()
        begin, end = "<!-- calibration:begin -->", "<!-- calibration:end -->"
        if begin not in text or end not in text:
            sys.exit(f"no calibration markers in {readme}")
        head, rest = text.split(begin, 1)
        _, tail = rest.split(end, 1)
        readme.write_text(head + begin + "\n" + table + "\n" + end + tail)
        print("README.md updated")


if __name__ == "__main__":
    main()
