#!/usr/bin/env bash
# The Debian packages as a new user meets them. dpkg unpacks every package
# into a throwaway root of its own (--root: its own database and log, no
# maintainer script runs, nothing touches this machine's own system; a file
# that two packages hold fails the unpacking); apt-get's simulation checks
# that Debian has every dependency. Then the packages' relations, their files,
# and hosts that find everything in that root alone: a C host
# built with pkg-config, a Qt host built with find_package(Varlo), Python and
# the installed varlo, each run against the installed VarloSim and judged by
# the simulator's own state.
#   package_test.sh PACKAGE_DIR [FIRST_ADDRESS]    (addresses FIRST, +1, +2)
set -euo pipefail
packages=$(realpath "$1") first=${2:-127.0.0.130}
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

version=$(dpkg-deb -f "$packages"/libvarlo1_*.deb Version)
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" && touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --log="$work/dpkg.log" --force-depends --force-not-root --unpack "$packages"/*.deb >"$work/unpack.log" 2>&1 ||
  { cat "$work/unpack.log"; fail "dpkg cannot unpack the packages into a root of their own"; }
apt-get install --simulate "$packages"/*.deb >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get finds no way to install the packages with what Debian has"; }
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$root/usr/lib/$multiarch

echo "== relations: what a dependant gets"
# package | control field | what it must hold
while IFS='|' read -r package field expected; do
  value=$(dpkg-deb -f "$packages/${package}_${version}_"*.deb "$field")
  [[ "$value" == *"$expected"* ]] || fail "$package $field is \"$value\", without \"$expected\""
done <<EOF
libvarlo-dev|Depends|libvarlo1 (= $version)
libvarlo-dev|Depends|qtbase5-dev
varlo-tools|Depends|libvarlo1 (>= $version)
varlosim|Depends|libjs-three
python3-varlo|Depends|python3
python3-varlo|Depends|libvarlo1 (= $version)
EOF
dpkg-deb --ctrl-tarfile "$packages"/libvarlo1_*.deb | tar -xOf - ./shlibs | grep -qx "libVarlo 1 libvarlo1 (>= $version)" ||
  fail "libvarlo1's shlibs does not give dependants libvarlo1 (>= $version)"

echo "== files: each package's own, the binaries stripped, debug symbols apart"
# package | a file it holds (a regular expression under its root)
while IFS='|' read -r package pattern; do
  dpkg-deb -c "$packages/${package}_${version}_"*.deb | awk '{ print $6 }' | grep -q -- "^\./${pattern}\$" ||
    fail "$package holds no $pattern"
done <<EOF
libvarlo1|usr/lib/$multiarch/libVarlo.so.1
libvarlo1|usr/libexec/varlo/varlo-lua
libvarlo-dev|usr/lib/$multiarch/libVarlo.so
libvarlo-dev|usr/include/Varlo.h
libvarlo-dev|usr/include/Varlo/qrobot.h
libvarlo-dev|usr/lib/$multiarch/cmake/Varlo/VarloConfig.cmake
libvarlo-dev|usr/lib/$multiarch/pkgconfig/varlo.pc
varlo-tools|usr/bin/varlo
varlo-tools|usr/share/man/man1/varlo.1.gz
varlo-tools|usr/bin/varlo-bridge
varlo-tools|usr/share/man/man1/varlo-bridge.1.gz
varlo-tools|usr/share/doc/varlo-tools/bridge.md.gz
varlosim|usr/bin/VarloSim
varlosim|usr/share/varlo/panel/index.html
varlosim|usr/share/man/man1/VarloSim.1.gz
python3-varlo|usr/lib/python3/dist-packages/varlo/__init__.py
python3-varlo|usr/lib/python3/dist-packages/varlo/_varlo\..*\.so
EOF
for file in "$source"/sim/panel/*; do
  [ -f "$root/usr/share/varlo/panel/${file##*/}" ] || fail "varlosim holds no panel file ${file##*/}"
done
for package in libvarlo1 libvarlo-dev varlo-tools varlosim python3-varlo; do
  [ -f "$root/usr/share/doc/$package/copyright" ] || fail "$package has no copyright file"
done
for package in libvarlo1 varlo-tools varlosim python3-varlo; do
  ls "$packages/${package}-dbgsym_${version}_"*.deb >/dev/null 2>&1 || fail "no debug symbols package for $package"
done
for binary in "$libdir/libVarlo.so.1" "$root/usr/bin/varlo" "$root/usr/bin/varlo-bridge" "$root/usr/bin/VarloSim" "$root"/usr/lib/python3/dist-packages/varlo/_varlo.*.so; do
  ! readelf -S "$binary" | grep -q '\.debug_info' || fail "$binary is not stripped"
done

echo "== man pages"
# page | what it must tell
while IFS='|' read -r page expected; do
  MANWIDTH=200 man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null | grep -q -- "$expected" ||
    fail "man $page does not tell \"$expected\""
done <<'EOF'
varlo|varlo movj ADDRESS X Y Z A B C
varlo|varlo script
varlo|130  *interrupted
VarloSim|--panel-port N
varlo-bridge|--broker HOST
EOF

echo "== hosts built and run against the packages alone"
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c11 "$source/examples/c/varlo_host.c" $(pkg-config --cflags --libs varlo) -o "$work/c_host" ||
  fail "the C host does not build with pkg-config varlo"
cmake -S "$source/examples/qt" -B "$work/qt" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_BUILD_TYPE=Release \
      >"$work/qt.log" 2>&1 && cmake --build "$work/qt" --target varlo-example-watch -j 2 >>"$work/qt.log" 2>&1 ||
  { cat "$work/qt.log"; fail "the Qt host does not build with find_package(Varlo)"; }

# The hosts find the library where the system would: the root's library folder.
export LD_LIBRARY_PATH=$libdir PYTHONPATH=$root/usr/lib/python3/dist-packages PYTHONDONTWRITEBYTECODE=1
prefix=${first%.*} last=${first##*.}
# on_sim ADDRESS SHELL_COMMANDS: runs them while the installed VarloSim serves
# ADDRESS; `state EXPRESSION` there is true when the expression holds of the
# simulator's own state.
on_sim() {
  VARLOSIM_IN_PLACE=1 "$source/scripts/with-varlosim.sh" "$root/usr/bin/VarloSim" "$1" bash -c "
    state() { /usr/bin/python3 -c 'import json, sys, urllib.request
state = json.load(urllib.request.urlopen(\"http://$1:22080/state\", timeout=5))
sys.exit(0 if eval(sys.argv[1], {}, state) else 1)' \"\$1\"; }
    $2" >"$work/sim-$1.log" 2>&1 || { cat "$work/sim-$1.log"; return 1; }
}
on_sim "$prefix.$last" "'$work/c_host' '$prefix.$last' && state 'outputs[0] & 2'" ||
  fail "the C host did not switch output 2 on"
on_sim "$prefix.$((last + 1))" "'$work/qt/varlo-example-watch' '$prefix.$((last + 1))' && state 'jointCoordinate != [0, 0, 0, 0, 90, 0]' &&
  '$root/usr/bin/varlo' io '$prefix.$((last + 1))' do 7 on && state 'outputs[0] & 64'" ||
  fail "the Qt host or the installed varlo did not drive the arm"
on_sim "$prefix.$((last + 2))" "/usr/bin/python3 -c '
import varlo
assert varlo.__file__.startswith(\"$root/\"), varlo.__file__
with varlo.Robot(\"$prefix.$((last + 2))\") as robot:
    robot.set_do(5, True)
    robot.enable()
    robot.jointmovj([10, 0, 0, 0, 90, 0])
' && state 'outputs[0] & 16 and abs(jointCoordinate[0] - 10) < 0.01'" ||
  fail "Python did not drive the arm through the installed package"

echo "$((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed"
[ "$failures" -eq 0 ]
