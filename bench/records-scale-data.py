#!/usr/bin/env python3
"""A year of a line's run records, grown from records the station wrote.

    records-scale-data.py SEEDS OUT COUNT [--stations N] [--seed S] [--extra K EXTRA_DIR]

SEEDS holds real run records (a PASS and an INCOMPLETE one at least): their measurement plan,
limits, comparisons, units and layout are kept; what varies is what varies on a line. COUNT runs
go into OUT/YYYY-MM-DD/ over the 365 days before the seeds' day, named as the station names
them. Each station has its own id, line, host and operators and a slight bias of its own; each
unit its own offsets around the targets. Units that fail are mostly reworked and tested again,
at the same or another station, a few hours to days later. Verdicts, the failed list and the
outcome follow from the values and the limits. With --extra, K more runs of the newest day, each
later than every other, go into EXTRA_DIR (flat) for a bench to add one at a time.
"""
import argparse
import datetime
import glob
import json
import os
import random
import uuid

ap = argparse.ArgumentParser()
ap.add_argument("seeds")
ap.add_argument("out")
ap.add_argument("count", type=int)
ap.add_argument("--stations", type=int, default=8)
ap.add_argument("--seed", type=int, default=1)
ap.add_argument("--extra", nargs=2, metavar=("K", "DIR"))
args = ap.parse_args()
rng = random.Random(args.seed)

seeds = [json.load(open(f)) for f in sorted(glob.glob(os.path.join(args.seeds, "*", "*.json")))]
complete = next(r for r in seeds if r["outcome"] in ("PASS", "FAIL"))
incomplete = next((r for r in seeds if r["outcome"] == "INCOMPLETE"), None)
plan = complete["measurements"]
seed_day = datetime.date.fromisoformat(complete["started"][:10])
first_day = seed_day - datetime.timedelta(days=365)


def offset_of(day):
    # Central European time: summer time from the last Sunday of March to that of October.
    def last_sunday(month):
        d = datetime.date(day.year, month, 31)
        return d - datetime.timedelta(days=(d.weekday() + 1) % 7)

    summer = last_sunday(3) <= day < last_sunday(10)
    return datetime.timezone(datetime.timedelta(hours=2 if summer else 1))


def iso(t):
    return t.isoformat(timespec="milliseconds")


def name_part(text):
    # The station's FileNamePart: letters, digits, '.', '_', '-'; other runs become one '-'.
    out, gap = [], False
    for c in text:
        if c.isalnum() or c in "._-":
            out.append(c)
            gap = False
        elif not gap:
            out.append("-")
            gap = True
    return "".join(out) or "unidentified"


# The line: stations over two lines, each with a host, operators of two shifts and a bias.
stations = []
for s in range(args.stations):
    number = s + 1
    stations.append({
        "id": f"BENCH-{number:02d}",
        "line": f"L{1 + s % 2}",
        "location": f"Hall {3 + s % 2}",
        "host": f"mv62-bench-{number:02d}",
        "operators": [f"op{number:02d}{shift}" for shift in "abc"],
        "bias": rng.gauss(0, 0.4),
        "device": "MV62 SIM 1.0" if s % 3 else "MV62 SIM 1.1",
        "weight": rng.uniform(0.6, 1.4),
    })
weights = [st["weight"] for st in stations]

# Runs per day: weekdays full, Saturdays a shift, Sundays almost none.
day_weight = []
for d in range(365):
    wd = (first_day + datetime.timedelta(days=d)).weekday()
    day_weight.append(1.0 if wd < 5 else 0.35 if wd == 5 else 0.03)
total_weight = sum(day_weight)


def unit_values(unit, station, rework):
    """The values a unit shows at a station, by the plan's names, or a failing quirk."""
    v = {}
    for ch in range(1, 7):
        target = 50 if ch == 2 else 20
        v[f"optics.ch{ch}.corrected"] = round(
            target + unit["optics"][ch] * rework + station["bias"] + rng.gauss(0, 0.6))
        v[f"optics.ch{ch}.peak"] = round(unit["peak"] + rng.gauss(0, 2.5))
    encoder = round(unit["encoder"] + rng.gauss(0, 6))
    v["motor.encoder"] = encoder
    v["motor.rpm"] = round(encoder * 5.4)
    v["pulse"] = 16 if not unit["bad"].get("pulse") else 15
    for test in ("fish", "eeprom", "io"):
        v[test] = 0 if unit["bad"].get(test) else 1
    v["optics.sensor_offset"] = unit["offset"]
    v["optics.lens_count"] = unit["lens"]
    return v


def judge(m, value):
    low, high, c = m["low"], m["high"], m["comparison"]
    if c is None or value is None:
        return None
    if c == "inclusive":
        return low <= value <= high
    if c == "exclusive":
        return low < value < high
    if c == "at-least":
        return value >= low
    if c == "equals":
        return value == low
    raise ValueError(c)


def new_unit(serial):
    bad = {t: True for t, p in (("pulse", 0.004), ("fish", 0.003), ("eeprom", 0.004),
                                ("io", 0.002)) if rng.random() < p}
    weak = rng.random() < 0.004
    return {
        "serial": serial,
        "optics": {ch: rng.gauss(0, 1.35) for ch in range(1, 7)},
        "peak": rng.gauss(35, 4) if weak else rng.gauss(120, 6),
        "encoder": rng.gauss(800, 38),
        "bad": bad,
        "offset": rng.choice((0, 0, 0, 1, -1, 2)),
        "lens": rng.randint(800, 4000),
        "tests": 0,
    }


def record(start, station, unit, incomplete_run, seq):
    """One run record, as the station writes it, and its file's name."""
    rework = 0.5 ** unit["tests"] if unit else 1.0
    values = unit_values(unit or new_unit(""), station, rework)
    measurements = []
    stopped = incomplete_run is not None
    for m, seed_m in zip(plan, (incomplete or complete)["measurements"] if stopped else plan):
        out = dict(m)
        name = m["name"]
        if stopped and seed_m["value"] is None:
            out["value"] = None  # never measured: the run stopped before
        elif isinstance(m["value"], list):
            out["value"] = m["value"]  # switch positions, shown as they are
        elif name.startswith("exchange."):
            out["value"] = m["value"]
        else:
            out["value"] = values.get(name, m["value"])
        out["passed"] = judge(m, out["value"])
        measurements.append(out)
    failed = [m["name"] for m in measurements if m["passed"] is False]
    if stopped:
        outcome, stopped_at, reason = "INCOMPLETE", incomplete_run, incomplete["reason"]
        duration = rng.uniform(5.5, 7.5)
    else:
        outcome = "FAIL" if failed else "PASS"
        stopped_at, reason = None, complete["reason"]
        duration = rng.gauss(11.9, 0.25)
    finished = start + datetime.timedelta(seconds=duration)
    link = start - datetime.timedelta(seconds=rng.uniform(0.8, 1.1) + seq * 14)
    day = iso(start)[:10]
    device = station["device"]
    stamp = start.strftime("%Y%m%d-%H%M%S.") + f"{start.microsecond // 1000:03d}"
    journal = (f"/srv/mv62/records/{link.strftime('%Y-%m-%d')}/"
               f"{link.strftime('%Y%m%d-%H%M%S.')}{link.microsecond // 1000:03d}_"
               f"{name_part(device)}_journal.jsonl")
    serial = unit["serial"] if unit else None
    first_ms = int((start - link).total_seconds() * 1000)
    rec = {
        "device": device,
        "duration_s": round(duration, 3),
        "failed": failed,
        "finished": iso(finished),
        "journal": journal,
        "journal_ms": [first_ms, first_ms + int(duration * 1000)],
        "journal_run": seq + 1,
        "kind": "auto-test",
        "measurements": measurements,
        "operator": station["operators"][min(2, max(0, (start.hour - 6) // 8))],
        "outcome": outcome,
        "plan_version": complete["plan_version"],
        "reason": reason,
        "run_id": str(uuid.UUID(int=rng.getrandbits(128), version=4)),
        "schema": complete["schema"],
        "started": iso(start),
        "station": dict(complete["station"], id=station["id"], line=station["line"],
                        location=station["location"], host=station["host"],
                        device_path="/dev/ttyS0"),
        "stopped_at": stopped_at,
        "unit_serial": serial,
    }
    name = (f"{stamp}_{name_part(serial) + '_' if serial else ''}{name_part(device)}_"
            f"auto-test_{outcome}.json")
    return rec, day, name


def runs(count):
    """(start, station, unit or None, stop or None, seq) in the order they started."""
    plan_days, cumulative, placed = [], 0.0, 0
    for d in range(365):
        cumulative += day_weight[d]
        n = round(count * cumulative / total_weight) - placed
        placed += n
        plan_days.append(n)
    serial_no = 0
    for d, n in enumerate(plan_days):
        day = first_day + datetime.timedelta(days=d)
        tz = offset_of(day)
        base = datetime.datetime(day.year, day.month, day.day, tzinfo=tz)
        starts = sorted(rng.uniform(6 * 3600, 22 * 3600) for _ in range(n))
        per_station = {}
        for s in starts:
            start = base + datetime.timedelta(seconds=s)
            station = rng.choices(stations, weights)[0]
            seq = per_station.get(station["id"], 0)
            per_station[station["id"]] = seq + 1
            unit = None
            if retests and retests[0][0] <= start and rng.random() < 0.9:
                unit = retests.pop(0)[1]
            elif rng.random() < 0.97:  # a few units have no serial label yet
                serial_no += 1
                unit = new_unit(f"MV62-{day.year % 100:02d}{serial_no:07d}")
            stop = "motor" if incomplete and rng.random() < 0.015 else None
            yield start, station, unit, stop, seq % 40


retests = []  # (due, unit): units that failed, reworked, waiting for their next test


def after(unit, outcome, start):
    """A unit whose run did not pass is mostly reworked and tested again later."""
    if unit is None:
        return
    unit["tests"] += 1
    if outcome != "PASS" and unit["tests"] < 4 and rng.random() < 0.8:
        # What was wrong is mended, a few hours to a few days later.
        unit["bad"] = {}
        unit["peak"] = max(unit["peak"], rng.gauss(120, 6))
        unit["encoder"] = 800 + (unit["encoder"] - 800) * 0.5
        retests.append((start + datetime.timedelta(hours=rng.uniform(2, 72)), unit))
        retests.sort(key=lambda r: r[0])


def write(path, rec):
    data = json.dumps(rec, indent=4, sort_keys=True).encode()
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    try:
        os.write(fd, data)
    finally:
        os.close(fd)
    return len(data)


def free_path(path):
    # As the station does: path-2, path-3, ... when the name is taken.
    if not os.path.exists(path):
        return path
    stem, ext = os.path.splitext(path)
    n = 2
    while os.path.exists(f"{stem}-{n}{ext}"):
        n += 1
    return f"{stem}-{n}{ext}"


made_folders = set()
last = None
written = 0
for start, station, unit, stop, seq in runs(args.count):
    rec, day, name = record(start, station, unit, stop, seq)
    folder = os.path.join(args.out, day)
    if folder not in made_folders:
        os.makedirs(folder, exist_ok=True)
        made_folders.add(folder)
    write(free_path(os.path.join(folder, name)), rec)
    after(unit, rec["outcome"], start)
    written += 1
    last = (start, station)

if args.extra:
    k, extra = int(args.extra[0]), args.extra[1]
    os.makedirs(extra, exist_ok=True)
    start = last[0]
    for i in range(k):
        start += datetime.timedelta(seconds=rng.uniform(20, 40))
        station = rng.choices(stations, weights)[0]
        serial_unit = new_unit(f"MV62-X{i:06d}")
        rec, day, name = record(start, station, serial_unit, None, i)
        write(os.path.join(extra, f"{day}_{name}"), rec)  # the day folder goes first, then a '_'
print(written)
