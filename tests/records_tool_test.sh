#!/usr/bin/env bash
# The records read back: runs recorded by the real station against the simulator (a pass, an
# EEPROM fault on a unit whose identification is hostile to CSV and HTML, a station killed in
# the motor stage), then every mv62-records command on them: recover, list, csv read by Python's
# csv module, the HTML report parsed and rendered by Chromium, bad input; and the EEPROM run
# replayed by mv62-sim --replay into a second station, whose record must be the first one's.
#   records_tool_test.sh <mv62-station> <mv62-sim> <mv62-records>
set -uo pipefail
station=$1
sim=$2
records=$3
source "$(dirname "$0")/station_sim.sh"
rec=$work/records
hostile='<b>MV62 "7",&amp;</b>'  # 22 characters: quotes, comma, markup

start_sim
auto_test --records "$rec"
[ "$status" = 0 ] || fail "pass run: exit $status"
stop_sim
start_sim --fail eeprom --ident "$hostile"
auto_test --records "$rec"
[ "$status" = 1 ] || fail "eeprom run: exit $status"
stop_sim
start_sim
kill_in_motor_stage "$rec"
stop_sim
before=$(cd "$rec" && find . -type f -exec sha256sum {} + | sort)

# recover: one INCOMPLETE record for the killed run, nothing else touched; a second time nothing.
"$records" recover "$rec" >"$work/recover.out" 2>"$work/recover.err" ||
    fail "recover: exit $? $(cat "$work/recover.err")"
[ "$(grep -c '^recovered: ' "$work/recover.out")" = 1 ] || fail "recover: $(cat "$work/recover.out")"
after=$(cd "$rec" && find . -type f -exec sha256sum {} + | sort)
[ "$(comm -23 <(echo "$before") <(echo "$after"))" = "" ] || fail "recover changed a file"
"$records" recover "$rec" >"$work/recover2.out" || fail "second recover: exit $?"
grep -q '^nothing to recover' "$work/recover2.out" || fail "second recover wrote again"

"$records" list "$rec" >"$work/list.out" || fail "list: exit $?"
"$records" list "$rec" --outcome fail >"$work/list-fail.out" || fail "list --outcome: exit $?"
"$records" list "$rec" --device 'sim 1.0' --since 2000-01-01 >"$work/list-dev.out" ||
    fail "list --device: exit $?"
"$records" show -3 "$rec" >"$work/show.out" || fail "show -3: exit $?"
"$records" csv "$rec" -o "$work/runs.csv" || fail "csv: exit $?"
for n in 1 2 3; do
    "$records" html -$n "$rec" -o "$work/run$n.html" || fail "html -$n: exit $?"
    timeout 90 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
        --user-data-dir="$work/chromium" --window-size=900,1300 \
        --screenshot="$work/run$n.png" "file://$work/run$n.html" >/dev/null 2>&1
    [ -s "$work/run$n.png" ] || fail "chromium made no screenshot of run $n"
done
timeout 90 chromium --headless --no-sandbox --disable-gpu --user-data-dir="$work/chromium" \
    --no-pdf-header-footer --print-to-pdf="$work/run2.pdf" "file://$work/run2.html" >/dev/null 2>&1
[ -s "$work/run2.pdf" ] || fail "chromium printed no PDF"

# Replay: the EEPROM run's journal plays the device for a second station.
journal=$(python3 -c 'import glob,json,sys; print(next(json.load(open(p))["journal"] for p in glob.glob(sys.argv[1]+"/*/*_FAIL.json")))' "$rec")
start_sim --replay "$journal"
auto_test --records "$work/replayed"
[ "$status" = 1 ] || fail "replayed run: exit $status"
printf '\x55\xAA\x30' >"$work/com1"  # a command the journal does not hold
sleep 0.3
grep -q 'rx 55 AA 30' "$work/sim.log" && grep -q 'not in the journal: no answer' "$work/sim.log" ||
    fail "the unknown command was not logged"
stop_sim

python3 - "$work" "$hostile" <<'PY' || fail "records read back"
import csv, glob, html.parser, json, os, re, struct, sys, zlib

def png_rows(path):
    """The rows of an 8-bit RGB or RGBA PNG as lists of (r, g, b)."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour)
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    size = 3 if colour == 2 else 4
    raw, stride, rows, prev = zlib.decompress(idat), width * size, [], bytearray(width * size)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - size] if i >= size else 0
            b, c = prev[i], prev[i - size] if i >= size else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x:x + 3]) for x in range(0, stride, size)])
        prev = line
    return rows
work, hostile = sys.argv[1:3]
rec = os.path.join(work, "records")
paths = sorted(glob.glob(rec + "/*/*.json"))
runs = [dict(json.load(open(p)), path=p) for p in paths]  # oldest first: names sort by time
assert [r["outcome"] for r in runs] == ["PASS", "FAIL", "INCOMPLETE"], [r["outcome"] for r in runs]
passed, failed, killed = runs
assert killed["reason"] == "recovered" and killed["stopped_at"] == "motor", killed
assert failed["device"] == hostile and failed["failed"] == ["eeprom"]
by = lambda r: {m["name"]: m for m in r["measurements"]}
assert by(killed)["optics.ch2.corrected"]["value"] == by(passed)["optics.ch2.corrected"]["value"]

lines = open(work + "/list.out").read().splitlines()
assert len(lines) == 3 and "INCOMPLETE" in lines[0] and "stopped at motor: recovered" in lines[0]
assert "FAIL" in lines[1] and lines[1].endswith("eeprom") and hostile in lines[1], lines
assert "PASS" in lines[2] and lines[2].split()[:2] == passed["started"][:19].split("T"), lines
assert open(work + "/list-fail.out").read().splitlines() == [lines[1]]
assert open(work + "/list-dev.out").read().splitlines() == [lines[0], lines[2]]
show = open(work + "/show.out").read()
assert "record:     " + passed["path"] in show
assert any(l.split() == ["motor.rpm", "4320", "rpm", "3500", "5000", "PASS"] for l in show.splitlines())

# CSV: CRLF rows, the fixed columns, then value and verdict of every measurement as recorded.
raw = open(work + "/runs.csv", "rb").read()
assert raw.count(b"\r\n") == 4 and raw.count(b"\n") == 4, raw[:200]
table = list(csv.DictReader(open(work + "/runs.csv", newline="", encoding="utf-8")))
fixed = ["run_id", "started", "finished", "kind", "unit_serial", "device", "station", "line",
         "operator", "outcome", "stopped_at"]
names = [m["name"] for m in passed["measurements"]]
header = next(csv.reader(open(work + "/runs.csv", newline="")))
assert header == fixed + [c for n in names for c in (n, n + ".verdict")], header
assert len(table) == 3
for row, r in zip(table, runs):
    assert [row[c] for c in fixed[:6]] == [r["run_id"], r["started"], r["finished"], r["kind"],
                                          r["unit_serial"] or "", r["device"] or ""]
    assert (row["station"], row["line"], row["operator"]) == (
        r["station"]["id"], r["station"]["line"] or "", r["operator"])
    assert (row["outcome"], row["stopped_at"]) == (r["outcome"], r["stopped_at"] or "")
    for m in r["measurements"]:
        v = m["value"]
        text = "" if v is None else ",".join(map(str, v)) if isinstance(v, list) else str(v)
        verdict = {True: "PASS", False: "FAIL", None: ""}[m["passed"]]
        assert (row[m["name"]], row[m["name"] + ".verdict"]) == (text, verdict), (m, row[m["name"]])

# HTML: one banner, one SVG of six columns whose bars stand for the record's values; nothing
# from outside, and the hostile identification only as text.
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.tags, self.text, self.banner, self.svg_text, self.channel = [], [], [], [], None
        self.bars, self.in_banner = {}, 0
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append((tag, a))
        cls = a.get("class", "").split()
        if "banner" in cls:
            self.banner.append(cls)
            self.in_banner = 1
        if tag == "g" and "channel" in cls:
            self.channel = int(a["data-channel"])
        if tag == "rect" and cls and cls[0] in ("peak", "corrected"):
            self.bars[(self.channel, cls[0])] = (float(a["height"]), int(a["data-value"]))
    def handle_endtag(self, tag):
        if tag == "div":
            self.in_banner = 0
    def handle_data(self, data):
        self.text.append(data)
for n, r in zip((1, 2, 3), reversed(runs)):
    source = open("%s/run%d.html" % (work, n), encoding="utf-8").read()
    p = Page()
    p.feed(source)
    assert p.banner == [["banner", r["outcome"].lower()]], p.banner
    assert [t for t, _ in p.tags].count("svg") == 1
    assert not [t for t, a in p.tags if t in ("script", "link", "iframe", "img", "object")]
    assert not [a for _, a in p.tags if {"src", "href"} & set(a)]
    assert "@page { size: A4" in source and "<details>" in source
    assert hostile not in source and (r["device"] or "") in "".join(p.text)
    m = by(r)
    assert len({c for c, _ in p.bars}) == 6 or r["outcome"] == "INCOMPLETE", p.bars
    for c in range(1, 7):
        for kind, name in (("peak", "optics.ch%d.peak"), ("corrected", "optics.ch%d.corrected")):
            value = m[name % c]["value"]
            if value is None:
                assert (c, kind) not in p.bars
                continue
            shown = min(value, 200)
            assert p.bars[(c, kind)] == (2 * shown, shown), (c, kind, p.bars[(c, kind)], value)
    assert "55 AA 07" in "".join(p.text)  # the raw line holds the motor test

    # Rendered by Chromium: the banner's colour, the black columns and the blue bars.
    rows = png_rows("%s/run%d.png" % (work, n))
    expected = {"PASS": (0x1E, 0x8E, 0x3E), "FAIL": (0xD3, 0x2F, 0x2F), "INCOMPLETE": (0xF5, 0xA3, 0x00)}
    px = rows[30][450]
    assert all(abs(a - b) <= 3 for a, b in zip(px, expected[r["outcome"]])), (r["outcome"], px)
    colours = {c for row in rows for c in row}
    assert (0, 0, 0) in colours
    assert any(abs(c[0] - 0x2B) < 8 and abs(c[1] - 0x85) < 8 and c[2] > 0xF0 for c in colours)

# Printed: one A4 page (595 x 842 points).
pdf = open(work + "/run2.pdf", "rb").read()
boxes = re.findall(rb"/MediaBox\s*\[\s*0 0 ([0-9.]+) ([0-9.]+)\s*\]", pdf)
assert len(re.findall(rb"/Type\s*/Page[^s]", pdf)) == 1, "not one page"
assert boxes and all(abs(float(w) - 595.3) < 1 and abs(float(h) - 841.9) < 1 for w, h in boxes), boxes

# The replayed run: the same outcome and the same values as the recorded one.
again = [json.load(open(p)) for p in glob.glob(work + "/replayed/*/*.json")]
assert len(again) == 1, again
again = again[0]
for key in ("kind", "outcome", "stopped_at", "failed", "device"):
    assert again[key] == failed[key], (key, again[key], failed[key])
strip = lambda r: [(m["name"], m["value"], m["passed"]) for m in r["measurements"]]
assert strip(again) == strip(failed), [a for a, b in zip(strip(again), strip(failed)) if a != b]
print("recover, list, show, csv, html and replay as expected")
PY

validate_records "$rec" "$work/replayed"

# A version 1 record, written before units and stations had names, is read by every command,
# beside the version 2 records, with its newer fields empty and its host as its station.
v1=$work/v1/2026-01-02
mkdir -p "$v1"
cp "$(dirname "$0")"/fixtures/*_auto-test_FAIL.json "$v1/"
cp "$rec"/*/*_PASS.json "$v1/"
"$records" list "$work/v1" --station bench >"$work/v1-list.out" || fail "v1 list: exit $?"
"$records" show -2 "$work/v1" >"$work/v1-show.out" || fail "v1 show: exit $?"
"$records" csv "$work/v1" -o "$work/v1.csv" || fail "v1 csv: exit $?"
"$records" html -2 "$work/v1" -o "$work/v1.html" || fail "v1 html: exit $?"
python3 - "$work" <<'PY' || fail "a version 1 record read back"
import csv, sys
work = sys.argv[1]
listed = open(work + "/v1-list.out").read().splitlines()
assert len(listed) == 1 and listed[0].split()[2:4] == ["auto-test", "-"] and "eeprom" in listed[0], listed
show = open(work + "/v1-show.out").read()
assert "run id:     -" in show and "serial:     -" in show and "station:    bench" in show, show
rows = list(csv.DictReader(open(work + "/v1.csv", newline="", encoding="utf-8")))
assert [r["outcome"] for r in rows] == ["FAIL", "PASS"], rows
old = rows[0]
assert (old["run_id"], old["unit_serial"], old["station"], old["line"]) == ("", "", "bench", ""), old
assert len(rows[1]["run_id"]) == 36 and rows[1]["optics.ch1.corrected"], rows[1]
assert "FAIL" in open(work + "/v1.html", encoding="utf-8").read()
PY

# Bad input: one line naming the problem, exit 1; usage exit 2.
bad=$work/bad
mkdir -p "$bad/2026-01-01"
expect() {  # expect CODE PATTERN command...
    local code=$1 pattern=$2
    shift 2
    "$@" >"$work/bad.out" 2>"$work/bad.err"
    local got=$?
    [ "$got" = "$code" ] || fail "$*: exit $got, expected $code"
    grep -q -- "$pattern" "$work/bad.err" || fail "$*: no '$pattern' in: $(cat "$work/bad.err")"
    [ "$(wc -l <"$work/bad.err")" -ge 1 ] || fail "$*: no message"
}
expect 1 "does not exist" "$records" list "$work/nothing"
echo '{"name": 1}' >"$bad/2026-01-01/x.json"
expect 1 "not a run record" "$records" show "$bad/2026-01-01/x.json"
sed 's#"mv62-run-record/2"#"mv62-run-record/9"#' "${rec}"/*/*_PASS.json >"$bad/2026-01-01/y.json"
expect 1 'unknown schema "mv62-run-record/9"' "$records" html "$bad/2026-01-01/y.json"
expect 1 "there is no run -1" "$records" show -1 "$bad"
killed_journal=$(grep -l '"recovered"' "$rec"/*/*.json | xargs python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["journal"])')
cp "$killed_journal" "$bad/2026-01-01/20260101-000000.000_cut_journal.jsonl"
printf '{"bytes":"55 AA 03","ev' >>"$bad/2026-01-01/20260101-000000.000_cut_journal.jsonl"
expect 1 "cut off" "$records" recover "$bad"
grep -q '^recovered: ' "$work/bad.out" || fail "the cut journal's complete lines were not used"
expect 2 "bogus" "$records" list --bogus
[ "$(wc -l <"$work/bad.err")" = 1 ] || fail "unknown option: not one line"
expect 2 "unknown command" "$records" frobnicate
expect 2 "PASS, FAIL or INCOMPLETE" "$records" list --outcome maybe "$rec"
"$records" --help | grep -q '^Exit codes:' || fail "--help"
"$records" --version | grep -qE '^mv62-records [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"
echo "PASS: records tool"
