#!/bin/sh
# cmake --install puts the program, the menu entry, the icons and the user unit in the
# usual places under the prefix, and the unit starts the installed program headless.
set -eu
build=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/dovrane-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
check() {
    if [ -e "$prefix/$1" ]; then echo "ok      $1"; else echo "MISSING $1"; fail=1; fi
}
check bin/dovrane
check share/applications/dovrane.desktop
check share/icons/hicolor/32x32/apps/dovrane.png
check share/icons/hicolor/256x256/apps/dovrane.png
check share/icons/hicolor/scalable/apps/dovrane.svg
check lib/systemd/user/dovrane.service
check lib/systemd/user/dovrane@.service
[ -x "$prefix/bin/dovrane" ] || { echo "bin/dovrane is not executable"; fail=1; }

desktop=$prefix/share/applications/dovrane.desktop
for line in 'Type=Application' 'Name=Dovrane' 'Exec=dovrane' 'Icon=dovrane'; do
    grep -qx "$line" "$desktop" || { echo "desktop entry lacks $line"; fail=1; }
done
unit=$prefix/lib/systemd/user/dovrane.service
grep -q "^ExecStart=$prefix/bin/dovrane --headless" "$unit" || { echo "unit does not run the installed program headless"; fail=1; }
if [ $fail -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $fail
