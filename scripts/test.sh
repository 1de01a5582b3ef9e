#!/usr/bin/env bash
# Sets up and builds (scripts/setup.sh), then runs every test program, the slow
# ones included. Extra arguments go to ctest (e.g. -LE slow for a quick run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${VARLO_BUILD_DIR:-build}
echo "== testing"
# Most programs wait on timers and sockets rather than compute (the real time
# limits, VarloSim's motions: the suite keeps two cores about a fifth busy), so
# four times as many run at once as there are cores, and the suite lasts about
# as long as its longest program.
ctest --test-dir "$build_dir" --output-on-failure -j "$(( $(nproc) * 4 ))" "$@"
