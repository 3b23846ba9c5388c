#!/usr/bin/env bash
# The Debian package as a technician gets it: built by CPack, unpacked with dpkg-deb, its files
# where a desktop looks for them, checked by Debian's validators where they are installed, and
# the unpacked programs run from the unpacked tree: every program's --help, --version and a bad
# option, and the unpacked station's automatic test against the unpacked simulator.
#   package_test.sh <build dir>
set -uo pipefail
build=$1
unset DISPLAY  # the installed programs are run headless
source "$(dirname "$0")/station_sim.sh"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "mv62-station_${version}_${arch}.deb" ] || fail "package name $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libc6 fonts-wqy-microhei "fonts-liberation2 | fonts-dejavu-core"; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/mv62-station.desktop
programs=(mv62-station mv62-sim)
[ -e "$build/bin/mv62-records" ] && programs+=(mv62-records)
for f in "${programs[@]/#/usr/bin/}" "${programs[@]/#/usr/share/man/man1/}" \
    usr/share/applications/mv62-station.desktop \
    usr/share/icons/hicolor/scalable/apps/mv62-station.svg \
    usr/share/metainfo/org.mv62station.mv62_station.metainfo.xml \
    usr/share/doc/mv62-station/copyright usr/share/doc/mv62-station/station.conf.example \
    usr/lib/systemd/user/mv62-records-sync.service; do
    [[ "$f" == */man1/* ]] && f=$f.1.gz
    [ -e "$root/$f" ] || fail "the package lacks /$f"
done
# The menu entry starts the installed station so that it records, with the installed icon.
grep -qx 'Exec=mv62-station --records' "$desktop" || fail "menu entry: $(grep ^Exec "$desktop")"
grep -qx 'Icon=mv62-station' "$desktop" || fail "menu entry icon: $(grep ^Icon "$desktop")"
man=$(zcat "$root/usr/share/man/man1/mv62-station.1.gz")
[[ "$man" == *'\-\-auto\-test'* ]] || fail "the station's man page does not describe --auto-test"
[[ "$man" == *'~/.local/share/mv62'* ]] || fail "the station's man page names the builder's home"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml || fail "appstreamcli validate"
fi
if command -v lintian >/dev/null; then
    # Errors fail the test; warnings and information are shown.
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    cat "$work/lintian.log"
    ! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors"
fi

bin=$root/usr/bin
for program in "${programs[@]}"; do
    out=$(QT_QPA_PLATFORM=offscreen "$bin/$program" --help 2>/dev/null) || fail "$program --help"
    [[ "$out" == *Usage* || "$out" == *usage* ]] || fail "$program --help printed: $out"
    out=$(QT_QPA_PLATFORM=offscreen "$bin/$program" --version 2>/dev/null) ||
        fail "$program --version"
    [[ "$out" == *"$version"* ]] || fail "$program --version printed: $out"
    QT_QPA_PLATFORM=offscreen "$bin/$program" --no-such-option >/dev/null 2>"$work/err"
    rc=$?
    [ "$rc" -eq 2 ] || fail "$program with a bad option exited $rc"
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q -- '--no-such-option' "$work/err" ||
        fail "$program's bad-option error: $(cat "$work/err")"
done

# The example configuration is one the station takes, as installed and with every key set: the
# station gets as far as the port (exit code 4), which a configuration it refused never reaches.
example=$root/usr/share/doc/mv62-station/station.conf.example
sed 's/^; //' "$example" >"$work/station.conf"
grep -q '^ask_serial=true$' "$work/station.conf" || fail "the example has no ask_serial key"
for conf in "$example" "$work/station.conf"; do
    MV62_COM1="$work/no-port" "$bin/mv62-station" --auto-test --config "$conf" \
        >/dev/null 2>"$work/err"
    rc=$?
    [ "$rc" -eq 4 ] || fail "the station with $conf exited $rc: $(cat "$work/err")"
done

# The installed programs work outside the build tree: an automatic test, recorded.
cd "$work"
station=$bin/mv62-station
sim=$bin/mv62-sim
start_sim
auto_test --records "$work/records"
cat "$work/station.out"
[ "$status" -eq 0 ] || fail "the unpacked station's automatic test exited $status"
records=$(find "$work/records" -name '*.json' | wc -l)
[ "$records" -ge 1 ] || fail "the automatic test wrote no record"
# The sync service runs the unpacked reader as its unit says: without a database configured it
# stops for good, with the exit code the unit does not restart on.
unit=$root/usr/lib/systemd/user/mv62-records-sync.service
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
grep -qx 'RestartPreventExitStatus=2' "$unit" || fail "the unit restarts on a usage error"
printf '[records]\nfolder=%s\n' "$work/records" >"$work/sync.conf"
"$bin/"$exec_start --config "$work/sync.conf" 2>"$work/err"
rc=$?
[ "$rc" -eq 2 ] && grep -q "sync needs the line's database" "$work/err" ||
    fail "the sync service without a database: $rc $(cat "$work/err")"
echo "package $(basename "$deb"): $(dpkg-deb -c "$deb" | wc -l) entries, automatic test passed"
