#!/usr/bin/env bash
# Builds the three Debian packages with cpack, installs them with dpkg,
# builds the README's first program against the installed files (CMake
# package and pkg-config), runs it and zeb-inspect, then removes the
# packages and checks that nothing of them is left. Exit 77: skipped.
# Usage: package_test.sh BUILD_DIR FIRST_PROGRAM_C CONSUMER_DIR WORK CC VERSION
set -euo pipefail
build="$1" first="$2" consumer="$3" work="$4" cc="$5" version="$6"
packages=(libzeb5 libzeb-dev zeb-tools)

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installs Debian packages with dpkg, which needs root"
    exit 77
fi
if ! command -v dpkg >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "SKIP: needs dpkg and dpkg-shlibdeps (dpkg-dev; scripts/lib/deps.sh installs them)"
    exit 77
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# One dpkg call, so the order among the dependent packages does not matter;
# --purge (dpkg -r and more) leaves no record of libzeb5, whose postrm
# would otherwise keep it listed as "config-files".
remove_ours() {
    local p present=()
    for p in "${packages[@]}"; do
        if installed "$p"; then present+=("$p"); fi
    done
    [ ${#present[@]} -eq 0 ] || timeout 120 dpkg --purge "${present[@]}" >/dev/null
}

# A run that ctest killed leaves its marker: those packages are ours.
marker="$work/.installed"
if [ -e "$marker" ]; then
    echo "removing the packages an interrupted run left installed"
    remove_ours
fi
for p in "${packages[@]}"; do
    if installed "$p"; then
        echo "SKIP: $p is installed already (not by this test); not touching it"
        exit 77
    fi
done
if [ -e /usr/include/zeb.h ]; then
    echo "SKIP: /usr/include/zeb.h exists outside the packages"
    exit 77
fi

rm -rf "$work"
mkdir -p "$work/home"
cleanup() {
    local rc=$?
    # The marker stays when removing failed, so the next run tries again.
    if remove_ours; then rm -f "$marker"; else rc=1; fi
    exit $rc
}
trap cleanup EXIT
trap 'exit 1' INT TERM

echo "=== cpack"
(cd "$build" && timeout 240 cpack -G DEB -B "$work/debs" >"$work/cpack.log") \
    || { cat "$work/cpack.log"; exit 1; }
debs=()
for p in "${packages[@]}"; do
    deb=$(ls "$work/debs/${p}_${version}-"*.deb)
    debs+=("$deb")
    echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

echo "=== dpkg -i"
touch "$marker"
timeout 120 dpkg -i "${debs[@]}" >/dev/null
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
for f in "/usr/lib/$multiarch/libzeb.so.5" /usr/include/zeb.h "/usr/lib/$multiarch/pkgconfig/zeb.pc" \
         "/usr/lib/$multiarch/cmake/zeb/zebConfig.cmake" /usr/share/man/man3/libzeb.3.gz \
         /usr/share/man/man1/zeb-inspect.1.gz /usr/share/doc/libzeb5/copyright; do
    [ -e "$f" ] || { echo "not installed: $f"; exit 1; }
done

# The first program makes its data directory below HOME; keep it in $work.
export HOME="$work/home" XDG_STATE_HOME="$work/home/state" ZEB_SERVER=127.0.0.1:9/app

echo "=== CMake consumer"
timeout 120 cmake -S "$consumer" -B "$work/cmake-build" -DCMAKE_C_COMPILER="$cc" \
    -DFIRST_PROGRAM="$first" >"$work/cmake.log" || { cat "$work/cmake.log"; exit 1; }
timeout 120 cmake --build "$work/cmake-build" >>"$work/cmake.log" || { cat "$work/cmake.log"; exit 1; }
timeout 60 "$work/cmake-build/first"

echo "=== pkg-config consumer"
# shellcheck disable=SC2046
timeout 120 "$cc" -std=c11 -Wall -Wextra -Werror "$first" $(pkg-config --cflags --libs zeb) \
    -o "$work/first-pc"
# /lib is /usr/lib on a merged-/usr system, and ldconfig may name either.
ldd "$work/first-pc" | grep -Eq "libzeb\.so\.5 => (/usr)?/lib/$multiarch/libzeb\.so\.5 " \
    || { ldd "$work/first-pc"; exit 1; }
timeout 60 "$work/first-pc"

echo "=== zeb-inspect"
timeout 30 /usr/bin/zeb-inspect --help | head -1
timeout 30 /usr/bin/zeb-callhome --help | head -1

echo "=== dpkg --purge"
remove_ours
rm -f "$marker"
for f in /usr/include/zeb.h "/usr/lib/$multiarch/libzeb.so.5" /usr/bin/zeb-inspect; do
    [ ! -e "$f" ] || { echo "left after dpkg -r: $f"; exit 1; }
done
echo "packages built, installed, used and removed"
