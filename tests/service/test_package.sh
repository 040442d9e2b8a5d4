#!/bin/sh
# cpack -G DEB builds dovrane_<version>_<arch>.deb; unpacked into a scratch root it
# holds the programs, menu entry, icons, user units, man page and documentation
# in Debian's places, and its control names the libraries the programs run on.
set -u
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
out=$(mktemp -d "${TMPDIR:-/tmp}/dovrane-deb.XXXXXX")
trap 'rm -rf "$out"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/dovrane_*_*.deb) || exit 1
dpkg-deb -x "$deb" "$out/root"
fail=0
for f in usr/bin/dovrane usr/libexec/dovrane/dovrane-gui usr/share/applications/dovrane.desktop \
    usr/share/icons/hicolor/48x48/apps/dovrane.png usr/share/icons/hicolor/scalable/apps/dovrane.svg \
    usr/lib/systemd/user/dovrane.service usr/lib/systemd/user/dovrane@.service \
    usr/share/man/man1/dovrane.1.gz usr/share/doc/dovrane/README.md usr/share/doc/dovrane/copyright \
    usr/share/snmp/mibs/DOVRANE-MIB.txt; do
    [ -f "$out/root/$f" ] || { echo "missing: /$f"; fail=1; }
done
units=$out/root/usr/lib/systemd/user
for line in 'Type=notify' 'WatchdogSec=10' 'ExecStart=/usr/bin/dovrane --headless --data-dir %h/.local/share/Dovrane'; do
    [ "$(cat "$units"/dovrane*.service | grep -c "^$line")" = 2 ] || { echo "a unit lacks $line"; fail=1; }
done
grep -q -- '--data-dir %h/.local/share/Dovrane-%i$' "$units/dovrane@.service" || { echo "template: no data folder per instance"; fail=1; }
"$out/root/usr/bin/dovrane" --version | grep -qx "Dovrane $(dpkg-deb -f "$deb" Version)" || { echo "wrong version"; fail=1; }
depends=$(dpkg-deb -I "$deb" | sed -n 's/^ Depends: //p')
libs="libqt6core6 libqt6serialport6 libqt6widgets6 libsystemd0"
programs="$out/root/usr/bin/dovrane $out/root/usr/libexec/dovrane/dovrane-gui"
readelf -d $programs 2>/dev/null | grep -q 'libpulse\.so' && libs="$libs libpulse0"
readelf -d $programs 2>/dev/null | grep -q 'libQt6Multimedia\.so' && libs="$libs libqt6multimedia6"
for lib in $libs; do
    case "$depends" in *"$lib "*|*"$lib,"*|*"$lib") ;; *) echo "Depends lacks $lib: $depends"; fail=1 ;; esac
done
if [ $fail -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $fail
