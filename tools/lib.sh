# Sourced by the project's scripts: what more than one of them needs. Paths are the
# project's own, wherever the script runs from.
corvane_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages: to build the program and its tests, and what the tests and the
# program need to run (the media backend, a CJK font, Qt's own Chinese texts).
build_packages=(cmake g++ ninja-build qt6-base-dev qt6-multimedia-dev qcoro-qt6-dev zlib1g-dev libtag1-dev pkgconf
                librsvg2-bin)
run_packages=(gstreamer1.0-plugins-base gstreamer1.0-plugins-good fonts-wqy-microhei qt6-translations-l10n)

# The shared Qt for Windows and the QCoro and TagLib built with it, each unpacked from
# ../shared/windows-qt/<name>.tar.xz into build-windows/qt/<name> (tools/windows/build).
windows_archives=$corvane_root/../shared/windows-qt
windows_libraries=(qt-6.4.2-mingw-w64-x86_64 qcoro-0.8.0-mingw-w64-x86_64 taglib-1.13-mingw-w64-x86_64)
windows_qt=$corvane_root/build-windows/qt/${windows_libraries[0]}

fail() {
    echo "$(realpath --relative-to="$corvane_root" "$0"): $*" >&2
    exit 1
}

# Whether a package carries the maker's version check, for the -D options it is built
# with: only when a real version host is given. The default host is a placeholder that
# answers nothing, and a check against it would leave the window disabled for good.
# An explicit -DCORVANE_UPDATE_CHECK=... among the options still wins (it comes later).
update_check_for() {
    local check=OFF option
    for option in "$@"; do
        case "$option" in
            -DCORVANE_VERSION_HOST=*.example|-DCORVANE_VERSION_HOST=) ;;
            -DCORVANE_VERSION_HOST=*) check=ON ;;
        esac
    done
    echo "$check"
}

# A temporary folder, $work, and the background processes the script adds to $pids:
# both gone when it ends, however it ends. A script may define at_exit, run first.
start_work() {
    work=$(mktemp -d)
    pids=()
    trap end_work EXIT
}
end_work() {
    local pid
    if declare -F at_exit >/dev/null; then at_exit || true; fi
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}

# A private X display for what the script starts next (sets DISPLAY).
start_xvfb() {
    "$corvane_root/tools/install-packages" xvfb xauth
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$work/display")"
}

# Every request of what runs next goes to the sample service on $port, whatever its
# scheme: it answers http itself and refuses to tunnel https, so nothing leaves loopback.
use_sample_service_as_proxy() {
    local proxy="http://127.0.0.1:$port"
    export http_proxy=$proxy HTTP_PROXY=$proxy https_proxy=$proxy HTTPS_PROXY=$proxy
    unset no_proxy NO_PROXY all_proxy ALL_PROXY
}

# The sample service (the program, then options of its own) on a free loopback port:
# sets $port. Its first line names the port and the others the sample addresses, in
# $work/service.out; the requests it answers are logged in $work/service.log.
start_sample_service() {
    "$@" --port 0 >"$work/service.out" 2>"$work/service.log" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/service.out" ] && break; sleep 0.05; done
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/service.out" | head -n1)
    [ -n "$port" ] || fail "the sample service did not start: $(cat "$work/service.log")"
}
