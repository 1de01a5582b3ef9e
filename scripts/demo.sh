#!/usr/bin/env bash
# The main job: sets up and builds (scripts/setup.sh), starts VarloSim in a
# fresh folder on 127.0.0.1, runs a host program against it through the
# library, and stops the simulator again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${VARLO_BUILD_DIR:-build}

host=${VARLO_DEMO_HOST:-$build_dir/tools/varlo-demo/varlo-demo}
[ -x "$host" ] || host="$build_dir/tools/varlo-connect/varlo-connect"
scripts/with-varlosim.sh "$build_dir/sim/VarloSim" 127.0.0.1 "$host" 127.0.0.1
