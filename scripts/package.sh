#!/usr/bin/env bash
# Builds the Debian packages from a copy of the work tree (dpkg-buildpackage
# with debian/), checks them with lintian (any error fails), and tests them
# in a throwaway root (tests/install/package_test.sh). The packages and their
# -dbgsym companions end up in OUTPUT_DIR (build/packages by default).
#   scripts/package.sh [OUTPUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --packages-only
out=$(realpath -m "${1:-build/packages}")
# The build runs in a copy of the tracked and new files, so that it never
# writes into the work tree. The copy keeps its place (build/package, so a
# compiler cache keyed on the checkout's folder finds it again) and its build
# folder from one run to the next, so a second run only builds what changed.
# One package build at a time per checkout.
work=$PWD/build/package
source=$work/varlo
mkdir -p "$work"
exec 9>"$work/lock"
flock -n 9 || { echo "another package build runs in $work" >&2; exit 1; }
[ -d "$source/debian/build" ] && mv "$source/debian/build" "$work/build"
rm -rf "$source" "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo
mkdir -p "$source/debian"
[ -d "$work/build" ] && mv "$work/build" "$source/debian/build"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
  tar --null -T - -cf - | tar -xf - -C "$source"

echo "== building the packages"
jobs=${VARLO_JOBS:-$(nproc)}
(cd "$source" && dpkg-buildpackage -b -us -uc -nc -j"$jobs") >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log"; exit 1; }
rm -rf "$out" && mkdir -p "$out"
cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
ls -sh "$out"

echo "== lintian"
lintian --fail-on error --info --display-level '>=warning' "$out"/*.changes

echo "== the packages in a throwaway root"
tests/install/package_test.sh "$out"
