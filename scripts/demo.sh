#!/usr/bin/env bash
# The main job: sets up and builds (scripts/setup.sh), starts VarloSim in a
# fresh folder on 127.0.0.1, runs a host program against it through the
# library, and stops the simulator again; then the same for a short script run
# by the command-line host `varlo script run`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${VARLO_BUILD_DIR:-build}

host=${VARLO_DEMO_HOST:-$build_dir/tools/varlo-demo/varlo-demo}
[ -x "$host" ] || host="$build_dir/tools/varlo-connect/varlo-connect"
scripts/with-varlosim.sh "$build_dir/sim/VarloSim" 127.0.0.1 "$host" 127.0.0.1

# A short script on the simulator, run straight by the command-line host: its
# lines, what it prints and its end.
if [ -x "$build_dir/tools/varlo/varlo" ]; then
  echo "== the demo project's script: varlo script run 127.0.0.1 demo"
  scripts/with-varlosim.sh "$build_dir/sim/VarloSim" 127.0.0.1 "$build_dir/tools/varlo/varlo" script run 127.0.0.1 demo
fi
