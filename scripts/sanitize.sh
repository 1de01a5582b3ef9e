#!/usr/bin/env bash
# Builds the library, VarloSim and the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++'s own) into a second build folder and runs
# the quick suite there, plus the VarloSim programs and the fault tests. Every
# sanitizer report stops its program and fails the run: reports are written to
# $build_dir/sanitizer-reports/ and any file there at the end fails the run.
# Extra arguments go to ctest. Needs what scripts/setup.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${VARLO_ASAN_BUILD_DIR:-build-asan}
jobs=${VARLO_JOBS:-$(nproc)}
reports="$PWD/$build_dir/sanitizer-reports"

flags="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
echo "== configuring ($build_dir: ASan + UBSan)"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DVARLO_BUILD_BENCH=OFF >/dev/null
echo "== building with $jobs jobs"
cmake --build "$build_dir" -j "$jobs"

rm -rf "$reports" && mkdir -p "$reports"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
echo "== testing with sanitizers"
status=0
# Python loads the library into an interpreter without the sanitizer
# runtime; those programs run in the plain build only.
ctest --test-dir "$build_dir" --output-on-failure -j "$(( jobs * 2 ))" -LE slow -E python "$@" || status=1
ctest --test-dir "$build_dir" --output-on-failure -j "$(( jobs * 2 ))" \
  -R '^(tst_varlosim|tst_simhostile|tst_faults|tst_simintegration)$' "$@" || status=1
if [ -n "$(ls -A "$reports")" ]; then
  echo "== sanitizer reports:" >&2
  for report in "$reports"/*; do
    echo "-- $report" >&2
    cat "$report" >&2
  done
  status=1
fi
[ $status -eq 0 ] && echo "== sanitizers: no reports"
exit $status
