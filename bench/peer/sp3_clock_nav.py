#!/usr/bin/env python3
"""Writes a RINEX 2.11 GPS navigation file that carries only the satellite clocks of an SP3 orbit.

The peer solver (rnx2rtkp of Debian's rtklib) takes its satellite positions from the SP3 file, but it looks up
a broadcast clock first to date each signal's transmission, and drops a satellite without one. This file gives
it one clock record per satellite and SP3 epoch (offset and drift from the SP3 clock column), so that the peer
runs on exactly the orbit varno uses. Orbital elements are placeholders; the peer never uses them with precise
ephemeris selected.

usage: sp3_clock_nav.py ORBIT.sp3 > clocks.nav
"""
import datetime
import sys

GPS_EPOCH = datetime.datetime(1980, 1, 6)


def d19(v):
    text = f"{v:19.12E}"
    return text.replace("E", "D")


def read_sp3(path):
    epochs = []  # (datetime, {prn: clock_seconds})
    with open(path, errors="replace") as f:
        for line in f:
            if line.startswith("*"):
                y, mo, d, h, mi = (int(line[3:7]), int(line[8:10]), int(line[11:13]), int(line[14:16]),
                                   int(line[17:19]))
                s = float(line[20:31])
                epochs.append((datetime.datetime(y, mo, d, h, mi) + datetime.timedelta(seconds=s), {}))
            elif line.startswith("P") and epochs:
                sysid = line[1]
                if sysid not in " G":
                    continue
                prn = int(line[2:4])
                clock = float(line[46:60])
                if abs(clock) >= 999999.0:
                    continue
                epochs[-1][1][prn] = clock * 1e-6
    return epochs


def main():
    epochs = read_sp3(sys.argv[1])
    out = sys.stdout
    out.write(f"{'2.11':>9}{'':11}{'N: GPS NAV DATA':<40}RINEX VERSION / TYPE\n")
    out.write(f"{'sp3_clock_nav':<20}{'varno bench':<20}{'':20}PGM / RUN BY / DATE\n")
    out.write(f"{'':60}END OF HEADER\n")
    for i, (t, clocks) in enumerate(epochs):
        nxt = epochs[i + 1] if i + 1 < len(epochs) else None
        delta = (t - GPS_EPOCH).total_seconds()
        week = int(delta // 604800)
        sow = delta - week * 604800
        for prn in sorted(clocks):
            af0 = clocks[prn]
            af1 = 0.0
            if nxt and prn in nxt[1]:
                af1 = (nxt[1][prn] - af0) / (nxt[0] - t).total_seconds()
            out.write(f"{prn:2d} {t.year % 100:02d} {t.month:2d} {t.day:2d} {t.hour:2d} {t.minute:2d}"
                      f"{t.second + t.microsecond * 1e-6:5.1f}{d19(af0)}{d19(af1)}{d19(0.0)}\n")
            rows = [[i % 1000, 0, 0, 0], [0, 0, 0, 5153.7], [sow, 0, 0, 0], [0.96, 0, 0, 0],
                    [0, 0, week, 0], [2.0, 0, 0, i % 1000], [sow, 4.0]]
            for row in rows:
                out.write("   " + "".join(d19(float(v)) for v in row) + "\n")


if __name__ == "__main__":
    main()
