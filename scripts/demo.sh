#!/usr/bin/env bash
# The main job: sets up and builds (scripts/setup.sh), starts VarloSim in a
# fresh folder on 127.0.0.1, runs a host program against it through the
# library, and stops the simulator again; then the same for a short script run
# by the command-line host `varlo script run`. VarloSim's panel page shows the
# arm at the address printed; `--keep SECONDS` leaves VarloSim and its panel
# running that long after the demo, to look around.
#   scripts/demo.sh [--keep SECONDS]
set -euo pipefail
if [ "${1:-}" = "--keep" ]; then
  if ! [[ "${2:-}" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [--keep SECONDS]" >&2
    exit 2
  fi
  export VARLO_KEEP_SECONDS=$2
fi
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
