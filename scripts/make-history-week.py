#!/usr/bin/env python3
"""Writes a made-up week of beacon records for looking at the log history.

The carrier's S/N follows the day (best in the early afternoon UTC, with fading and a few
strong openings above the alarm threshold); at night it sinks into the noise, where the
carrier is often judged unstable and its values are missing. A two-hour outage on the fifth
day leaves no records at all. The beacon's frequency wanders a few hertz with the day.

  scripts/make-history-week.py --csv week.csv             # the data log, UTC dates
  scripts/make-history-week.py --record-log DIR           # daily record logs, DIR/SIGREC-<date>.TXT
  build/corvane --plot week.csv --out docs/history-week.png
"""

import argparse
import calendar
import math
import os
import random
import time

START = calendar.timegm((2026, 11, 30, 0, 0, 0))  # Monday 2026-11-30 00:00 UTC
OUTAGE = (START + 4 * 86400 + 9.5 * 3600, START + 4 * 86400 + 11.5 * 3600)


def records(days, interval):
    rnd = random.Random(20261130)
    fade = 0.0
    walk = 0.0
    day_shift = [rnd.gauss(0, 2.5) for _ in range(days + 1)]
    # Short openings well above the usual daytime level.
    openings = [(START + 2 * 86400 + 14.2 * 3600, 2400, 17), (START + 5 * 86400 + 12.6 * 3600, 1500, 13)]
    prev_freq = None
    t = START
    end = START + days * 86400
    while t < end:
        if OUTAGE[0] <= t < OUTAGE[1]:
            t += interval
            continue
        hours = (t - START) / 3600.0
        day = int(hours // 24)
        frac = (hours % 24) / 24.0
        # Smooth across midnight: the day's level eases into the next day's.
        level = day_shift[day] * (1 - frac) + day_shift[day + 1] * frac
        diurnal = 11.0 * math.cos(2 * math.pi * (hours - 13.5) / 24)
        fade = 0.995 * fade + rnd.gauss(0, 0.35)
        snr = 24.0 + level + diurnal + fade + rnd.gauss(0, 0.8)
        for centre, width, gain in openings:
            snr += gain * math.exp(-((t - centre) / width) ** 2)
        noise_dbfs_hz = -128.0 + 2.5 * math.cos(2 * math.pi * (hours - 2) / 24) + rnd.gauss(0, 0.25)
        walk = 0.999 * walk + rnd.gauss(0, 0.01)
        true_freq = 1000.0 + 2.5 * math.sin(2 * math.pi * (hours - 15) / 24) + walk
        drift = 2.5 * 2 * math.pi / 86400 * math.cos(2 * math.pi * (hours - 15) / 24)
        steady = snr > 14 or rnd.random() < (snr - 4) / 10.0
        detected = snr > 13.5
        yield {
            "t": t,
            "snr": snr,
            "steady": steady,
            "detected": detected,
            "cn0": snr - 0.6 + rnd.gauss(0, 0.4),
            "noise_dbfs_hz": noise_dbfs_hz,
            "freq": true_freq + rnd.gauss(0, 0.02 if detected else 3.0),
            "peak_freq": true_freq if steady else rnd.uniform(200, 3000),
            # A 60 s slope of the frequency: its error shrinks as the carrier comes up.
            "drift": drift + rnd.gauss(0, 0.03 * 10 ** (-snr / 20)),
        }
        t += interval


def num(value, places):
    return f"{value:.{places}f}"


def write_csv(path, days, interval):
    with open(path, "w", newline="") as f:
        f.write("# Corvane 0.1 data log\n")
        f.write("# source: Simulated beacon, rate 12000 Hz, FFT 8192, window Blackman Harris\n")
        f.write("utc,local,freq_hz,cn0_dbhz,detected,steady,snr_1hz_db,signal_dbfs,noise_dbfs_hz,"
                "drift_hz_s,drift_span_s,age_s,dropped_blocks,source\n")
        for r in records(days, interval):
            utc = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(r["t"]))
            local = time.strftime("%Y-%m-%dT%H:%M:%S", time.localtime(r["t"]))
            det = r["detected"]
            fields = [
                utc, local,
                num(r["freq"], 3) if det else "",
                num(r["cn0"], 2) if det else "",
                "1" if det else "0",
                "1" if r["steady"] else "0",
                num(r["snr"], 1) if r["steady"] else "",
                num(r["cn0"] + r["noise_dbfs_hz"], 2) if det else "",
                num(r["noise_dbfs_hz"], 2),
                num(r["drift"], 5) if det else "",
                "60", "0.68", "0", '"Simulated beacon, 1000 Hz"',
            ]
            f.write(",".join(fields) + "\n")


def write_record_logs(folder, days, interval):
    os.makedirs(folder, exist_ok=True)
    current, out, last_t = None, None, None

    def close():
        if out:
            out.close()
            # The file's time is that of its last record: the reader dates the days by it.
            os.utime(current, (last_t + 0.5, last_t + 0.5))

    for r in records(days, interval):
        lt = time.localtime(r["t"])
        name = os.path.join(folder, time.strftime("SIGREC-%Y-%m-%d.TXT", lt))
        if name != current:
            close()
            current, out = name, open(name, "w", newline="")
        noise_db = 8.0 + (r["noise_dbfs_hz"] + 128.0)
        signal = f" {r['snr'] + noise_db - 2:04.1f}  " if r["steady"] else "-99.9  "
        snr = f"{r['snr']:04.1f}  " if r["steady"] else "-99.0  "
        out.write(time.strftime("%H:%M:%S  ", lt) + f"{round(r['peak_freq']):04d}  " + signal +
                  f"{noise_db:04.1f}  " + snr + f"{r['drift']:07.4f}  " + "\r\n")
        last_t = r["t"]
    close()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--csv", help="write the data log to this file")
    ap.add_argument("--record-log", metavar="DIR", help="write daily record logs into DIR")
    ap.add_argument("--days", type=int, default=7)
    ap.add_argument("--interval", type=int, default=1, help="seconds between records")
    a = ap.parse_args()
    if not a.csv and not a.record_log:
        ap.error("give --csv FILE or --record-log DIR")
    if a.csv:
        write_csv(a.csv, a.days, a.interval)
    if a.record_log:
        write_record_logs(a.record_log, a.days, a.interval)


if __name__ == "__main__":
    main()
