#!/usr/bin/env python3
"""The line's statistics checked against an independent computation.

A seeded population of run records (two stations, one of them with a hostile id, two days whose
UTC offsets differ, retests across stations and days, INCOMPLETE runs, a calibration run, a
drifting channel, a limit changed by a new plan and by CashBox, runs without a serial, one record
of schema 1) is written to a scratch folder. Every figure is computed here from the record files
with Python's `statistics` module and plain Python, and compared with `mv62-records stats` as
JSON, CSV and text, and with the numbers on the dashboard page, which Chromium also prints.

  stats_test.py check MV62_RECORDS           the population above, every figure
  stats_test.py scale MV62_RECORDS [RUNS]    100,000 runs: stats and dashboard finish, timed
  stats_test.py generate DIR [RUNS]          a population to look at (a dashboard to render)
"""
import csv
import datetime
import html.parser
import io
import json
import math
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import uuid

# --- the population ---------------------------------------------------------------------------

TARGET = [20, 50, 20, 20, 20, 20]
MINIMUM = [40, 55, 40, 40, 40, 40]
STATION_A = "BENCH-A"
STATION_B = "=B<2>\x1b&"  # a formula to a spreadsheet, markup to a page, an escape to a terminal
PLAN_1, PLAN_2 = "p-3f2a", "p-9c41"
DAY_1 = datetime.datetime(2026, 3, 1, 7, 0, tzinfo=datetime.timezone.utc)


def offset_of(station, instant):
    """Station A moves from +01:00 to +02:00 at the start of 2 March (UTC); B keeps -05:00."""
    if station == STATION_B:
        return datetime.timedelta(hours=-5)
    return datetime.timedelta(hours=1 if instant < datetime.datetime(2026, 3, 2, tzinfo=datetime.timezone.utc) else 2)


def iso(instant, station):
    local = instant.astimezone(datetime.timezone(offset_of(station, instant)))
    return local.isoformat(timespec="milliseconds")


def limits(plan, cashbox, kind):
    """(name, low, high, comparison) of every measurement of a record, in record order."""
    out = [("optics.ch%d.corrected" % (c + 1), TARGET[c] - 4, TARGET[c] + 4, "inclusive") for c in range(6)]
    out += [("optics.ch%d.peak" % (c + 1), MINIMUM[c], None, "at-least") for c in range(6)]
    out += [("optics.sensor_offset", None, None, None), ("optics.lens_count", None, None, None)]
    if kind == "auto-test":
        out += [("motor.rpm", 3100 if cashbox else 3500, 5000, "exclusive"),
                ("motor.encoder", 560 if plan == PLAN_2 else 550, 900 if plan == PLAN_2 else 916, "exclusive"),
                ("pulse", 16, 16, "equals")]
        out += [(n, 1, 1, "equals") for n in ("fish", "eeprom", "io")]
        out += [(n, None, None, None) for n in ("sw1", "sw2", "lamp")]
        out += [("exchange.s%d" % i, None, None, None) for i in range(1, 7)]
    return out


def passes(value, low, high, comparison):
    if comparison == "exclusive":
        return low < value < high
    if comparison == "inclusive":
        return low <= value <= high
    return value >= low if comparison == "at-least" else value == low


def values_of(rng, progress, faults):
    """A unit's values: spread around the good ones, channel 3 drifting upward across the run
    order (with a tenth of a count), and the faults asked for."""
    v = {}
    for c in range(6):
        v["optics.ch%d.corrected" % (c + 1)] = round(rng.gauss(TARGET[c], 1.2))
        v["optics.ch%d.peak" % (c + 1)] = round(rng.gauss(118, 4))
    v["optics.ch3.corrected"] = round(rng.gauss(18.5 + 4.5 * progress, 0.7), 1)
    v["optics.sensor_offset"] = 0
    v["optics.lens_count"] = 1234
    v["motor.rpm"] = round(rng.gauss(4300, 180))
    v["motor.encoder"] = round(rng.gauss(780, 25))
    v["pulse"], v["fish"], v["eeprom"], v["io"] = 16, 1, 1, 1
    v["sw1"], v["sw2"], v["lamp"] = [1, 8, 10], [1, 3], [0, 1, 2, 3]
    for i in range(1, 7):
        v["exchange.s%d" % i] = 255
    for f in faults:
        v[f] = {"motor.rpm": 3300, "eeprom": 0, "pulse": 0, "optics.ch5.peak": 31, "io": 2}[f]
    return v


def record(rng, started, station, serial, plan, cashbox, kind, faults, progress,
           incomplete=False, schema=2, run_id=None):
    values = values_of(rng, progress, faults)
    ms = []
    stopped = False
    for name, low, high, comparison in limits(plan, cashbox, kind):
        if incomplete and name == "motor.rpm":
            stopped = True
        value = None if stopped and not name.startswith("exchange") else values[name]
        judged = comparison is not None and value is not None and kind == "auto-test"
        ms.append({"name": name, "value": value, "unit": "rpm" if name == "motor.rpm" else None,
                   "low": low, "high": high, "comparison": comparison,
                   "passed": passes(value, low, high, comparison) if judged else None})
    failed = [m["name"] for m in ms if m["passed"] is False]
    outcome = "INCOMPLETE" if incomplete else "FAIL" if failed else "PASS"
    finished = started + datetime.timedelta(seconds=9.4)
    r = {"schema": "mv62-run-record/%d" % schema, "kind": kind, "outcome": outcome,
         "stopped_at": "motor" if incomplete else None,
         "reason": "timeout" if incomplete else "lamp-step-3", "device": "MV62 SIM 1.0",
         "station": {"host": station, "program": "mv62-station", "version": "1.0.0", "port": "COM1",
                     "device_path": "/dev/ttyS0", "baud": 9600, "cashbox": cashbox},
         "operator": "tester", "started": iso(started, station), "finished": iso(finished, station),
         "duration_s": 9.4, "measurements": ms, "failed": failed, "journal": None,
         "journal_run": 1, "journal_ms": [1000, 10400]}
    if schema == 2:
        r["run_id"] = run_id or str(uuid.UUID(int=rng.getrandbits(128), version=4))
        r["unit_serial"] = serial
        r["station"].update({"id": station, "line": "L2", "location": None})
        r["plan_version"] = plan
    return r


def write(folder, r, counter=[0]):
    """Writes the record into its day folder; gives what the figures need of it."""
    counter[0] += 1
    day = r["started"][:10]
    stamp = r["started"][:23].replace("-", "").replace(":", "").replace("T", "-")
    path = os.path.join(folder, day, "%s_%06d_%s_%s.json" % (stamp, counter[0], r["kind"], r["outcome"]))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(json.dumps(r, separators=(",", ":")))
    return summary(r, path)


def population(folder, units, seed=24, traps=True):
    """Units one after another on two stations from 07:00 UTC on 1 March to the evening of 2 March;
    a unit that does not pass is retested (once or twice, often on the other station, maybe the
    next day); plus the runs that make the definitions matter."""
    rng = random.Random(seed)
    span = datetime.timedelta(hours=36)
    runs = []
    for u in range(units):
        progress = u / max(1, units - 1)
        at = DAY_1 + span * progress
        station = STATION_A if u % 3 else STATION_B
        serial = None if u % 17 == 5 else "SN%05d" % u
        plan = PLAN_2 if progress > 0.7 else PLAN_1
        faults = rng.choices([[], ["motor.rpm"], ["eeprom"], ["pulse"], ["optics.ch5.peak"],
                              ["eeprom", "io"]], weights=[70, 9, 7, 4, 5, 2])[0]
        incomplete = rng.random() < 0.06
        cashbox = station == STATION_B and u % 2 == 0
        for attempt in range(3):
            r = record(rng, at, station, serial, plan, cashbox, "auto-test", faults, progress,
                       incomplete=incomplete)
            runs.append(r)
            if r["outcome"] == "PASS" or serial is None:
                break
            at += datetime.timedelta(minutes=rng.choice([20, 50, 300, 900]))
            station = rng.choice([STATION_A, STATION_B])
            faults = [] if rng.random() < 0.7 else faults
            incomplete = False
    if not traps:
        for r in runs:
            write(folder, r)
        return len(runs)
    # Instants and texts disagree: A at 01:00 UTC shows 2 March, B an hour later shows 1 March.
    # Its first complete run is the FAIL on A.
    trap = datetime.datetime(2026, 3, 2, 1, 0, tzinfo=datetime.timezone.utc)
    runs.append(record(rng, trap, STATION_A, "SN-TRAP", PLAN_1, False, "auto-test", ["eeprom"], 0.5))
    runs.append(record(rng, trap + datetime.timedelta(hours=1), STATION_B, "SN-TRAP", PLAN_1, False,
                       "auto-test", [], 0.5))
    # Two runs of one unit at the same instant: the run id decides which came first.
    tie = datetime.datetime(2026, 3, 1, 15, 0, tzinfo=datetime.timezone.utc)
    runs.append(record(rng, tie, STATION_A, "SN-TIE", PLAN_1, False, "auto-test", ["pulse"], 0.3,
                       run_id="00000000-0000-4000-8000-000000000001"))
    runs.append(record(rng, tie, STATION_A, "SN-TIE", PLAN_1, False, "auto-test", [], 0.3,
                       run_id="00000000-0000-4000-8000-000000000002"))
    # A calibration before the unit's first automatic test.
    runs.append(record(rng, DAY_1 + datetime.timedelta(minutes=1), STATION_A, "SN00001", PLAN_1,
                       False, "calibration", [], 0.0))
    for r in runs:
        write(folder, r)
    return len(runs)


def scale_population(folder, count, seed=7):
    """`count` runs over 100 days on three stations, every tenth unit tested twice. Written from
    one record's text with slots for what varies: a hundred thousand records in seconds."""
    rng = random.Random(seed)
    start = datetime.datetime(2026, 1, 5, 6, 0, tzinfo=datetime.timezone.utc)
    step = datetime.timedelta(days=100) / count
    stations = ["BENCH-1", "BENCH-2", "BENCH-3"]
    sample = record(random.Random(0), start, stations[0], "U", PLAN_1, False, "auto-test", [], 0)
    judged = [m for m in sample["measurements"] if m["comparison"]]
    for i, m in enumerate(judged):
        m["value"], m["passed"] = "@v%d" % i, "@p%d" % i
    sample.update(run_id="@id", unit_serial="@serial", outcome="@outcome", failed="@failed",
                  started="@started", finished="@finished")
    sample["station"].update(id="@station", host="@station")
    text = re.sub(r'"@(\w+)"', r"%(\1)s", json.dumps(sample, separators=(",", ":")).replace("%", "%%"))
    runs = []
    for i in range(count):
        at = start + step * i
        station = stations[i % 3]
        values = values_of(rng, i / count, rng.choices([[], ["motor.rpm"], ["eeprom"], ["pulse"]],
                                                         weights=[90, 5, 3, 2])[0])
        slots = {"id": '"%s"' % uuid.UUID(int=rng.getrandbits(128), version=4),
                 "serial": '"U%06d"' % (i - 1 if i % 10 == 1 else i), "station": '"%s"' % station,
                 "started": '"%s"' % iso(at, station),
                 "finished": '"%s"' % iso(at + datetime.timedelta(seconds=9.4), station)}
        kept, failed = [], []
        for j, m in enumerate(judged):
            v = values[m["name"]]
            ok = passes(v, m["low"], m["high"], m["comparison"])
            slots["v%d" % j], slots["p%d" % j] = v, "true" if ok else "false"
            kept.append((m["name"], v, m["low"], m["high"], m["comparison"], ok))
            if not ok:
                failed.append(m["name"])
        slots["failed"] = json.dumps(failed)
        slots["outcome"] = '"FAIL"' if failed else '"PASS"'
        day = slots["started"][1:11]
        path = os.path.join(folder, day, "%07d.json" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text % slots)
        runs.append({"id": slots["id"][1:-1], "station": station, "instant": at,
                     "started": slots["started"][1:-1], "serial": slots["serial"][1:-1],
                     "kind": "auto-test", "outcome": slots["outcome"][1:-1], "failed": failed,
                     "plan": PLAN_1, "values": kept})
    return runs


# --- the figures, computed independently ------------------------------------------------------

def summary(r, path):
    """What the figures need of a record: the unit, station, times, outcome, and each judged
    numeric value with its limits and verdict."""
    return {"id": r.get("run_id") or path, "station": r["station"].get("id") or r["station"]["host"],
            "instant": datetime.datetime.fromisoformat(r["started"]), "started": r["started"],
            "serial": r.get("unit_serial"), "kind": r["kind"], "outcome": r["outcome"],
            "failed": r["failed"], "plan": r.get("plan_version") or None,
            "values": [(m["name"], m["value"], m["low"], m["high"], m["comparison"], m["passed"])
                       for m in r["measurements"] if m["comparison"] is not None
                       and isinstance(m["value"], (int, float)) and not isinstance(m["value"], bool)]}


def read_records(folder):
    runs = []
    for root, _, files in os.walk(folder):
        for name in files:
            if name.endswith(".json"):
                path = os.path.join(root, name)
                with open(path) as f:
                    runs.append(summary(json.load(f), path))
    return runs


def select(runs, station=None, kind=None, until=None):
    return [r for r in runs if (station is None or r["station"] == station)
            and (kind is None or r["kind"] == kind) and (until is None or r["started"][:10] <= until)]


def expected(runs):
    runs = sorted(runs, key=lambda r: (r["instant"], r["id"]))
    unit = lambda r: ("serial", r["serial"]) if r["serial"] else ("run", r["id"])
    first, last, seen = {}, {}, set()
    groups = {}

    def group(key):
        return groups.setdefault(key, {"runs": 0, "units": set(), "PASS": 0, "FAIL": 0,
                                       "INCOMPLETE": 0, "retests": 0, "fp": [], "fin": []})
    for r in runs:
        keys = [(r["started"][:10], r["station"]), (r["started"][:10], None), (None, r["station"]), (None, None)]
        u = unit(r)
        for k in keys:
            g = group(k)
            g["runs"] += 1
            g["units"].add(u)
            g[r["outcome"]] += 1
            g["retests"] += u in seen
        seen.add(u)
        if r["outcome"] != "INCOMPLETE":
            first.setdefault(u, (keys, r["outcome"] == "PASS"))
            last[u] = (keys, r["outcome"] == "PASS")
    for u, (keys, ok) in first.items():
        for k in keys:
            groups[k]["fp"].append(ok)
    for u, (keys, ok) in last.items():
        for k in keys:
            groups[k]["fin"].append(ok)

    def figures(g):
        share = lambda oks: sum(oks) / len(oks) if oks else None
        return {"runs": g["runs"], "units": len(g["units"]), "pass": g["PASS"], "fail": g["FAIL"],
                "incomplete": g["INCOMPLETE"], "first_pass_yield": share(g["fp"]),
                "final_yield": share(g["fin"]), "retests": g["retests"]}
    cells = sorted(k for k in groups if k[0] and k[1])
    out = {"yield": [dict(day=k[0], station=k[1], **figures(groups[k])) for k in cells],
           "totals": figures(groups[(None, None)]),
           "days": {k[0]: figures(groups[k]) for k in groups if k[0] and not k[1]},
           "stations": {k[1]: figures(groups[k]) for k in groups if k[1] and not k[0]}}

    fails = [r for r in runs if r["outcome"] == "FAIL"]
    counts = {}
    for r in fails:
        for name in set(r["failed"]):
            counts[name] = counts.get(name, 0) + 1
    pareto, running = [], 0.0
    for name, n in sorted(counts.items(), key=lambda kv: (-kv[1], kv[0])):
        running += n / len(fails)
        pareto.append({"measurement": name, "failed_runs": n, "share": n / len(fails), "cumulative": running})
    out["pareto"] = pareto

    rows = {}
    for r in runs:
        for name, value, low, high, comparison, passed in r["values"]:
            rows.setdefault((name, r["plan"], low, high, comparison), []).append((value, passed))
    out["measurements"] = {}
    for key, vs in rows.items():
        name, plan, low, high, comparison = key
        values = [v for v, _ in vs]
        n = len(values)
        mean = statistics.mean(values)
        sd = statistics.stdev(values) if n > 1 else None
        row = {"name": name, "plan_version": plan, "low": low, "high": high, "comparison": comparison,
               "n": n, "mean": mean, "sd": sd, "min": min(values), "max": max(values),
               "outside": sum(p is False for _, p in vs) / n,
               "cp": None, "cpk": None, "cpu": None, "cpl": None}
        if sd:
            if comparison in ("exclusive", "inclusive"):
                row["cpu"] = (high - mean) / (3 * sd)
            if comparison in ("exclusive", "inclusive", "at-least"):
                row["cpl"] = (mean - low) / (3 * sd)
            if row["cpu"] is not None and row["cpl"] is not None:
                row["cp"] = (high - low) / (6 * sd)
            present = [c for c in (row["cpu"], row["cpl"]) if c is not None]
            row["cpk"] = min(present) if present else None
        # The control chart's signals: beyond mean +- 3 sd, and runs of 8 or more on one side.
        beyond = sum(1 for v in values if sd is not None and abs(v - mean) > 3 * sd)
        in_runs, run, side_before = 0, 0, 0
        for v in values + [mean]:
            side = (v > mean) - (v < mean) if sd is not None else 0
            if side != 0 and side == side_before:
                run += 1
            else:
                in_runs += run if run >= 8 and side_before != 0 else 0
                run = 1
            side_before = side
        row["_beyond"], row["_run8"] = beyond, in_runs
        out["measurements"][key] = row
    return out


# --- comparing ----------------------------------------------------------------------------------

def same(a, b, where):
    if isinstance(b, float) or isinstance(a, float):
        assert a is not None and b is not None and math.isclose(a, b, rel_tol=1e-9, abs_tol=1e-12), \
            "%s: %r, expected %r" % (where, a, b)
    else:
        assert a == b, "%s: %r, expected %r" % (where, a, b)


def key_of(row):
    return (row["name"], row["plan_version"], row["low"], row["high"], row["comparison"])


def compare_json(got, want, label):
    assert set(got) == {"yield", "totals", "pareto", "measurements"}, set(got)
    yield_keys = ["runs", "units", "pass", "fail", "incomplete", "first_pass_yield", "final_yield", "retests"]
    assert [(r["day"], r["station"]) for r in got["yield"]] == [(r["day"], r["station"]) for r in want["yield"]], \
        (label, [(r["day"], r["station"]) for r in got["yield"]])
    for g, w in zip(got["yield"], want["yield"]):
        assert set(g) == set(yield_keys) | {"day", "station"}, sorted(g)
        for k in yield_keys:
            same(g[k], w[k], "%s yield %s %r %s" % (label, w["day"], w["station"], k))
    assert set(got["totals"]) == set(yield_keys)
    for k in yield_keys:
        same(got["totals"][k], want["totals"][k], "%s totals %s" % (label, k))
    assert [p["measurement"] for p in got["pareto"]] == [p["measurement"] for p in want["pareto"]], \
        (label, got["pareto"], want["pareto"])
    for g, w in zip(got["pareto"], want["pareto"]):
        for k in w:
            same(g[k], w[k], "%s pareto %s %s" % (label, w["measurement"], k))
    assert sorted(map(key_of, got["measurements"]), key=repr) == sorted(want["measurements"], key=repr), \
        (label, [key_of(m) for m in got["measurements"]])
    for g in got["measurements"]:
        w = want["measurements"][key_of(g)]
        assert set(g) == {k for k in w if not k.startswith("_")}, sorted(g)
        for k in ("n", "mean", "sd", "min", "max", "outside", "cp", "cpk", "cpu", "cpl"):
            same(g[k], w[k], "%s %s %s" % (label, key_of(g), k))


def run(records, *args, expect=0):
    p = subprocess.run([records, *args], capture_output=True)
    assert p.returncode == expect, "%s: exit %d, expected %d\n%s" % (" ".join(args), p.returncode, expect,
                                                                     p.stderr.decode(errors="replace"))
    return p


def number(text):
    return None if text in ("", "-") else float(text)


def compare_csv(raw, want):
    assert b"\r\n" in raw and raw.count(b"\n") == raw.count(b"\r\n"), "CSV lines end in CRLF"
    tables = raw.decode("utf-8").split("\r\n\r\n")
    assert len(tables) == 4, len(tables)
    parsed = [list(csv.reader(io.StringIO(t, newline=""))) for t in tables]
    yield_t, totals_t, pareto_t, meas_t = [[dict(zip(t[0], row)) for row in t[1:]] for t in parsed]
    assert parsed[0][0] == ["day", "station", "runs", "units", "pass", "fail", "incomplete",
                            "first_pass_yield", "final_yield", "retests"], parsed[0][0]
    assert parsed[3][0][:5] == ["name", "plan_version", "low", "high", "comparison"], parsed[3][0]
    # A station id a spreadsheet would run as a formula is kept as text; numbers stay numbers.
    unquote = lambda s: s[1:] if s[:1] == "'" and s[1:2] in ("=", "+", "-", "@", "\t", "\r") else s
    assert any(r["station"] == "'" + STATION_B for r in yield_t), "no apostrophe before the formula"
    fig = lambda row, k: None if row[k] == "" else float(row[k])
    assert [(r["day"], unquote(r["station"])) for r in yield_t] == [(w["day"], w["station"]) for w in want["yield"]]
    for g, w in zip(yield_t + totals_t, want["yield"] + [want["totals"]]):
        for k in ("runs", "units", "pass", "fail", "incomplete", "first_pass_yield", "final_yield", "retests"):
            same(fig(g, k), None if w[k] is None else float(w[k]), "csv %s" % k)
    for g, w in zip(pareto_t, want["pareto"]):
        assert g["measurement"] == w["measurement"]
        for k in ("failed_runs", "share", "cumulative"):
            same(float(g[k]), float(w[k]), "csv pareto %s" % k)
    assert len(meas_t) == len(want["measurements"])
    for g in meas_t:
        key = (g["name"], g["plan_version"] or None, number(g["low"]), number(g["high"]), g["comparison"])
        w = next(w for k, w in want["measurements"].items()
                 if (k[0], k[1], k[2], k[3], k[4]) == key)
        for k in ("n", "mean", "sd", "min", "max", "outside", "cp", "cpk", "cpu", "cpl"):
            same(fig(g, k), None if w[k] is None else float(w[k]), "csv %s %s" % (key, k))


def text_tables(text):
    """Each table of the text form: title, header and rows split on whitespace."""
    tables = {}
    for block in text.strip("\n").split("\n\n"):
        lines = block.split("\n")
        tables[lines[0]] = [dict(zip(lines[1].split(), line.split())) for line in lines[2:]]
    return tables


def compare_text(text, want):
    assert "\x1b" not in text and "\\x1b" in text, "the escape character is shown, not sent"
    tables = text_tables(text)
    titles = list(tables)
    assert titles[0] == "Yield per day and station" and titles[1] == "Totals over the selection", titles
    pct = lambda v: "-" if v is None else "%.2f%%" % (v * 100)
    ind = lambda v: "-" if v is None else "%.3f" % v
    rows = tables[titles[0]] + tables[titles[1]]
    for g, w in zip(rows, want["yield"] + [want["totals"]]):
        if "station" in g:
            assert (g["day"], g["station"]) == (w["day"], w["station"].replace("\x1b", "\\x1b")), g
        for k in ("runs", "units", "pass", "fail", "incomplete", "retests"):
            assert int(g[k]) == w[k], (g, k)
        for k in ("first_pass_yield", "final_yield"):
            assert g[k] == pct(w[k]), (g, k, w[k])
    pareto = tables[titles[2]]
    assert [p["measurement"] for p in pareto] == [p["measurement"] for p in want["pareto"]]
    for g, w in zip(pareto, want["pareto"]):
        assert (int(g["failed_runs"]), g["share"], g["cumulative"]) == \
            (w["failed_runs"], pct(w["share"]), pct(w["cumulative"])), (g, w)
    meas = tables[titles[3]]
    assert len(meas) == len(want["measurements"])
    for g in meas:
        key = (g["name"], None if g["plan_version"] == "-" else g["plan_version"], number(g["low"]),
               number(g["high"]), g["comparison"])
        w = want["measurements"][key]
        assert int(g["n"]) == w["n"] and g["outside"] == pct(w["outside"]), (g, w)
        assert (float(g["min"]), float(g["max"])) == (w["min"], w["max"])
        for k in ("mean", "sd"):
            assert (g[k] == "-") == (w[k] is None) and (w[k] is None or math.isclose(float(g[k]), w[k], rel_tol=5e-6)), (g, k, w[k])
        for k in ("cp", "cpk", "cpu", "cpl"):
            assert g[k] == ind(w[k]) or (w[k] is not None and abs(float(g[k]) - w[k]) <= 0.0005 + 1e-9), (g, k, w[k])


class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.tags, self.text, self.svgs, self.depth = [], [], [], 0

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append((tag, a))
        if tag == "svg":
            self.svgs.append([a.get("class"), 0])
            self.depth += 1
        elif self.depth:
            self.svgs[-1][1] += 1

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)

    def handle_endtag(self, tag):
        if tag == "svg":
            self.depth -= 1

    def handle_data(self, data):
        self.text.append(data)

    def of_class(self, cls):
        return [a for t, a in self.tags if cls in (a.get("class") or "").split()]


def data_number(a, name):
    v = a["data-" + name]
    return None if v == "" else float(v)


def compare_page(source, want, most_svg_elements):
    p = Page()
    p.feed(source)
    assert "@page { size: A4 landscape" in source
    assert not [t for t, _ in p.tags if t in ("script", "link", "iframe", "img", "object", "embed")]
    assert not [a for _, a in p.tags if {"src", "href"} & set(a)], "something fetched"
    assert "<2>" not in source and "\x1b" not in source, "the station id is escaped"
    yk = ["runs", "units", "pass", "fail", "incomplete", "first-pass-yield", "final-yield", "retests"]
    jk = lambda k: k.replace("-", "_")

    def figures(a, w, where):
        for k in yk:
            same(data_number(a, k), None if w[jk(k)] is None else float(w[jk(k)]), "%s %s" % (where, k))
    (totals,) = p.of_class("totals")
    figures(totals, want["totals"], "page totals")
    # Control characters are shown as the text form shows them.
    shown = {s.replace("\x1b", "\\x1b"): w for s, w in want["stations"].items()}
    stations = p.of_class("station")
    assert sorted(a["data-station"] for a in stations) == sorted(shown), stations
    for a in stations:
        figures(a, shown[a["data-station"]], "page station %r" % a["data-station"])
    days = p.of_class("day")
    assert sorted(a["data-day"] for a in days) == sorted(want["days"])
    for a in days:
        figures(a, want["days"][a["data-day"]], "page day %s" % a["data-day"])
    bars = p.of_class("pareto-bar")
    assert [a["data-measurement"] for a in bars] == [w["measurement"] for w in want["pareto"]][:12]
    for a, w in zip(bars, want["pareto"]):
        for k in ("failed-runs", "share", "cumulative"):
            same(data_number(a, k), float(w[jk(k)]), "page pareto %s" % k)
    sections = p.of_class("measurement")
    assert len(sections) == len(want["measurements"])
    for a in sections:
        key = (a["data-name"], a["data-plan-version"] or None, data_number(a, "low"),
               data_number(a, "high"), a["data-comparison"])
        w = want["measurements"][key]
        for k in ("n", "mean", "sd", "min", "max", "outside", "cp", "cpk", "cpu", "cpl"):
            same(data_number(a, k), None if w[k] is None else float(w[k]), "page %s %s" % (key, k))
        assert (int(a["data-beyond"]), int(a["data-run-of-8"])) == (w["_beyond"], w["_run8"]), \
            (key, a["data-beyond"], a["data-run-of-8"], w["_beyond"], w["_run8"])
    # Every chart draws a bounded number of elements, however many runs there are.
    assert p.svgs and max(n for _, n in p.svgs) <= most_svg_elements, sorted(p.svgs, key=lambda s: -s[1])[:3]
    return p


def pdf_pages(html_path, work):
    pdf = os.path.join(work, "page.pdf")
    profile = tempfile.mkdtemp(dir=work)
    subprocess.run(["timeout", "120", "chromium", "--headless", "--no-sandbox", "--disable-gpu",
                    "--disable-quic", "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile,
                    "--no-pdf-header-footer", "--print-to-pdf=" + pdf, "file://" + html_path],
                   capture_output=True)
    data = open(pdf, "rb").read()
    boxes = re.findall(rb"/MediaBox\s*\[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\]", data)
    assert boxes and all(abs(float(w) - 841.9) < 1 and abs(float(h) - 595.3) < 1 for w, h in boxes), boxes
    return len(re.findall(rb"/Type\s*/Page[^s]", data))


# --- the two checks -----------------------------------------------------------------------------

def check(records):
    work = tempfile.mkdtemp()
    try:
        folder = os.path.join(work, "records")
        population(folder, 90)
        runs = read_records(folder)
        want = expected(runs)
        assert want["totals"]["incomplete"] > 0 and want["totals"]["retests"] > 0
        assert len({r["started"][-6:] for r in runs}) == 3 and len(want["days"]) >= 2
        assert {r["serial"] for r in runs if r["kind"] == "calibration"} == {"SN00001"}
        assert {k[2] for k in want["measurements"] if k[0] == "motor.rpm"} == {3100, 3500}
        assert {k[1] for k in want["measurements"] if k[0] == "motor.encoder"} == {PLAN_1, PLAN_2}

        compare_json(json.loads(run(records, "stats", folder, "--format", "json").stdout), want, "json")
        compare_csv(run(records, "stats", folder, "--format", "csv").stdout, want)
        compare_text(run(records, "stats", folder).stdout.decode("utf-8"), want)
        # A narrower selection: first and last complete runs are those within it.
        narrow = expected(select(runs, station=STATION_B, kind="auto-test", until="2026-03-01"))
        got = json.loads(run(records, "stats", folder, "--format", "json", "--station", STATION_B,
                             "--kind", "auto-test", "--until", "2026-03-01").stdout)
        compare_json(got, narrow, "narrow json")

        # A record of schema 1 beside one of schema 2: its host is its station, its path its id.
        mixed = os.path.join(work, "mixed")
        rng = random.Random(1)
        write(mixed, record(rng, DAY_1, STATION_A, None, "", False, "auto-test", [], 0.2, schema=1))
        write(mixed, record(rng, DAY_1, STATION_A, "SN1", PLAN_1, False, "auto-test", ["pulse"], 0.2))
        got = json.loads(run(records, "stats", mixed, "--format", "json").stdout)
        compare_json(got, expected(read_records(mixed)), "schema 1 and 2")
        assert [(y["station"], y["units"]) for y in got["yield"]] == [(STATION_A, 2)], got["yield"]

        page = os.path.join(work, "line.html")
        run(records, "dashboard", folder, "-o", page)
        source = open(page, encoding="utf-8").read()
        compare_page(source, want, most_svg_elements=700)
        pages = pdf_pages(page, work)
        assert 1 <= pages <= 6, "%d pages" % pages

        # A record that cannot be read is named and the rest still counted; usage errors.
        bad = os.path.join(work, "bad")
        shutil.copytree(folder, bad)
        open(os.path.join(bad, "2026-03-01", "broken.json"), "w").write('{"schema": "mv62-run-')
        p = run(records, "stats", bad, "--format", "json", expect=1)
        assert b"broken.json" in p.stderr, p.stderr
        compare_json(json.loads(p.stdout), want, "json beside a broken record")
        for args, words in ((["stats", folder, "--format", "xml"], b"--format"),
                            (["stats", folder, "--kind", "soak"], b"--kind"),
                            (["dashboard", folder, "--format", "json"], b"--format is for stats"),
                            (["list", folder, "--format", "csv"], b"--format is for stats"),
                            (["stats", folder, "--outcome", "PASS"], b"--outcome")):
            assert words in run(records, *args, expect=2).stderr, args
        print("stats: %d runs, %d measurement rows, %d Pareto rows; dashboard %d page(s), %d bytes"
              % (want["totals"]["runs"], len(want["measurements"]), len(want["pareto"]), pages, len(source)))
    finally:
        shutil.rmtree(work)


def scale(records, count):
    # In memory where there is room: the figures are the program's, not those of a shared disk.
    shm = "/dev/shm"
    roomy = os.path.isdir(shm) and shutil.disk_usage(shm).free > 2 * 10**9
    work = tempfile.mkdtemp(dir=shm if roomy else None)
    try:
        folder = os.path.join(work, "records")
        t0 = time.monotonic()
        runs = scale_population(folder, count)
        t1 = time.monotonic()
        p = run(records, "stats", folder, "--format", "json")
        t2 = time.monotonic()
        page = os.path.join(work, "line.html")
        run(records, "dashboard", folder, "-o", page)
        t3 = time.monotonic()
        got = json.loads(p.stdout)
        want = expected(runs)
        compare_json(got, want, "json at scale")
        source = open(page, encoding="utf-8").read()
        parsed = compare_page(source, want, most_svg_elements=700)
        assert len(source) < 2_000_000, "%d bytes" % len(source)
        assert len(parsed.tags) < 6000, "%d elements" % len(parsed.tags)
        print("%d runs: generated in %.1f s; stats --format json %.2f s; dashboard %.2f s; page %d bytes, "
              "%d elements" % (count, t1 - t0, t2 - t1, t3 - t2, len(source), len(parsed.tags)))
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    what = sys.argv[1] if len(sys.argv) > 1 else ""
    if what == "check":
        check(sys.argv[2])
    elif what == "scale":
        scale(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 100_000)
    elif what == "generate":
        n = int(sys.argv[3]) if len(sys.argv) > 3 else 90
        if n > 1000:
            scale_population(sys.argv[2], n)
        else:
            population(sys.argv[2], n, traps=n > 20)
    else:
        sys.exit(__doc__)
