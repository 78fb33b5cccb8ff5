#!/usr/bin/env bash
# One-command set-up on a fresh Debian machine.
#   ./run.sh demo         build, start the device simulator and the program against it
#   ./run.sh test         build and run every test: the suite, then again under
#                         AddressSanitizer + UndefinedBehaviorSanitizer, the serial
#                         and download tests under ThreadSanitizer, and a short
#                         fixed-time run of each fuzz target
#   ./run.sh test quick   the plain suite only
#   ./run.sh bench        build and run the benchmarks, print their table
#   ./run.sh package      build the Debian package in build/package and check it
#                         with lintian
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev qt6-base-dev-tools
    libqt6svg6 libgl-dev xvfb xauth xdg-utils desktop-file-utils appstream
    qt6-translations-l10n openssh-server sshfs fuse3 dbus-daemon)
# openssh-server, sshfs and fuse3: the tests of saves into a network folder
# start an sshd of their own on 127.0.0.1 and mount it with sshfs; the
# system's sshd is never used (and without systemd the package starts none).
# dbus-daemon: the notification and port hand-over tests run a private
# session bus of their own.
# What building and checking the Debian package needs besides; systemd-analyze
# (package systemd) validates the timer units in the installation test.
PACKAGE_TOOLS=(dpkg-dev file lintian man-db systemd)

# need_packages [extra package...]
need_packages() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

build() {
    local preset=$1
    shift
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "$@"
}

# The demo runs a copy of the program in build/demo with a settings file of
# its own there, so nobody's real settings are touched. The simulator's
# pseudo-terminal is reached through a fixed link named in that file.
demo() {
    local dir=build/demo
    mkdir -p "$dir/raporty"
    cp build/default/bin/vestibulomat build/default/bin/Vestibulomat.html "$dir/"
    local link=$PWD/$dir/licznik
    local ini=$dir/Vestibulomat.ini
    if [ ! -f "$ini" ]; then
        printf '[konfig]\r\nobiekt=Demo\r\nkatalog=%s/\r\nautozapis=1\r\nmail=\r\nport=%s\r\nsynchro=True\r\npodglad=True\r\n' \
            "$PWD/$dir/raporty" "$link" >"$ini"
    else
        sed -i "s|^port=.*|port=$link\r|" "$ini"
    fi
    build/default/bin/vestibulomat-sim --link "$link" --days 14 --rate 960 &
    # Global: the trap runs after this function has returned. A background
    # job of a script ignores Ctrl+C, so the simulator is always stopped here.
    demo_sim=$!
    trap 'kill "${demo_sim:-}" 2>/dev/null || true' EXIT
    trap 'exit 130' INT TERM HUP
    sleep 0.5
    echo "Symulator licznika: $link. Naciśnij \"Połącz/Odbierz\"."
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        "$dir/vestibulomat"
    else
        echo "Brak ekranu (DISPLAY): program działa w wirtualnym ekranie Xvfb." >&2
        xvfb-run -a "$dir/vestibulomat"
    fi
}

case "${1:-}" in
demo)
    need_packages
    build default
    demo
    ;;
test)
    need_packages
    build default
    ctest --preset default
    [ "${2:-}" = quick ] && exit 0
    build asan
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
        UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan
    build tsan --target tst_cport tst_cport_linia tst_odbior tst_losowe tst_pobieranie vestibulomat-sim \
        vestibulomat
    TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp die_after_fork=0 second_deadlock_stack=1" \
        ctest --preset tsan -R 'tst_cport|tst_odbior|tst_losowe|tst_pobieranie'
    build fuzz
    ctest --preset fuzz
    ;;
bench)
    need_packages
    build default
    build/default/bin/vestibulomat-bench "${@:2}"
    ;;
package)
    need_packages "${PACKAGE_TOOLS[@]}"
    build package
    rm -f build/package/vestibulomat_*.deb
    cpack --config build/package/CPackConfig.cmake -B build/package
    deb=$(ls build/package/vestibulomat_*.deb)
    lintian --fail-on error --info "$deb"
    echo "Pakiet: $deb"
    echo "Instalacja: sudo apt install ./$deb"
    ;;
*)
    echo "usage: $0 demo | test [quick] | bench [--quick] | package" >&2
    exit 2
    ;;
esac
