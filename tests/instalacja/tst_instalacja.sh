#!/usr/bin/env bash
# An installed copy as a user meets it: installed into a staging prefix, the
# menu entry and the AppStream metadata validated, and the installed program
# started offscreen with a fresh home and no settings file, as a user who
# cannot write the installation folders. Checks where it keeps its settings,
# which attachment folder it clears, its default save folder, its help, and
# that it writes nothing into the installation.
#   tst_instalacja.sh BUILD_DIR PLUGIN
set -euo pipefail
build=$1
plugin=$2
id=pl.vestibulomat.Vestibulomat

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir -p "$tmp/plugins/generic"
cp "$plugin" "$tmp/plugins/generic/"

for f in bin/vestibulomat bin/vestibulomat-sim share/applications/$id.desktop \
    share/icons/hicolor/scalable/apps/$id.svg share/metainfo/$id.metainfo.xml \
    share/vestibulomat/Vestibulomat.html share/man/man1/vestibulomat.1.gz \
    share/man/man1/vestibulomat-sim.1.gz; do
    [ -f "$prefix/$f" ] || fail "not installed: $f"
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
"$prefix/bin/vestibulomat-sim" --help | grep -q "without a device" ||
    fail "the simulator's --help does not say what it is for"

# Root may write anywhere: the program is run as "nobody" then, and otherwise
# the installation is made read-only for the user running the test.
if [ "$(id -u)" -eq 0 ]; then
    jako=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    jako=()
    chmod -R a-w "$prefix"
fi

# run HOME: starts the installed program; its report goes to $tmp/wynik.
run() {
    local home=$1
    mkdir -p -m 700 "$home/.run"
    if [ ${#jako[@]} -gt 0 ]; then
        chown -R 65534:65534 "$home"
    fi
    # Sanitizer settings pass through, so an instrumented build runs as in
    # the rest of the suite. The bound only keeps a hung program from
    # stopping the test run.
    "${jako[@]}" env -i HOME="$home" XDG_RUNTIME_DIR="$home/.run" PATH=/usr/bin:/bin \
        QT_QPA_PLATFORM=offscreen \
        QT_PLUGIN_PATH="$tmp/plugins" QT_QPA_GENERIC_PLUGINS=vmsprawdzenie \
        ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
        ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
        ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
        timeout 120 "$prefix/bin/vestibulomat" >"$tmp/wynik" ||
        fail "the installed program ended with status $?"
    cat "$tmp/wynik"
    grep -q '^koniec' "$tmp/wynik" || fail "the check did not run: $(cat "$tmp/wynik")"
}

# value KEY: a line of the program's report.
value() {
    sed -n "s/^$1 //p" "$tmp/wynik"
}

przed=$(find "$prefix" | sort)

# home: the folder a fresh home gets; documents: whether it has ~/Documents.
for documents in no yes; do
    home=$tmp/home-$documents
    # An attachment of a send eight days ago: old enough to be cleared.
    stary=$home/.cache/Vestibulomat/temp/2026-01-01_10-00-00/stary_03-05-01_03-05-31.txt
    mkdir -p "$(dirname "$stary")"
    echo old >"$stary"
    touch -d '8 days ago' "$stary"
    expected=$home/
    if [ $documents = yes ]; then
        mkdir "$home/Documents"
        expected=$home/Documents/
    fi
    run "$home"

    [ "$(value desktop)" = $id ] || fail "desktop file name: $(value desktop)"
    [ "$(value ikona-programu)" = jest ] || fail "the program has no icon"
    [ "$(value ikona-okna)" = jest ] || fail "the main window has no icon"
    [ "$(value qt-anuluj)|$(value qt-tak)|$(value qt-nie)" = "Anuluj|&Tak|&Nie" ] ||
        fail "Qt's own texts are not Polish: $(value qt-anuluj)|$(value qt-tak)|$(value qt-nie)"
    [ "$(value katalog)" = "$expected" ] ||
        fail "default save folder: '$(value katalog)', expected '$expected'"
    [ "$(realpath -m "$(value pomoc)")" = "$prefix/share/vestibulomat/Vestibulomat.html" ] ||
        fail "help opened: '$(value pomoc)'"
    ini=$home/.config/Vestibulomat/Vestibulomat.ini
    [ -f "$ini" ] || fail "no settings file in ~/.config/Vestibulomat"
    tr -d '\r' <"$ini" | grep -qx "katalog=$expected" ||
        fail "settings file does not hold the save folder: $(cat "$ini")"
    [ ! -e "$stary" ] ||
        fail "an old attachment in ~/.cache/Vestibulomat/temp was not removed"
done

# Root can write the installation folders, but an installed copy still keeps
# everything in the user's own places.
if [ "$(id -u)" -eq 0 ]; then
    jako=()
    home=$tmp/home-root
    run "$home"
    [ -f "$home/.config/Vestibulomat/Vestibulomat.ini" ] ||
        fail "run by root, the settings are not in ~/.config/Vestibulomat"
fi

[ "$(find "$prefix" | sort)" = "$przed" ] || fail "the program wrote into its installation"
echo "PASS"
