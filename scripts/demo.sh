#!/usr/bin/env bash
# The main job: sets up and builds (scripts/setup.sh), starts VarloSim in a
# fresh folder on 127.0.0.1, runs a host program against it through the
# library, and stops the simulator again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${VARLO_BUILD_DIR:-build}

sim_folder=$(mktemp -d)
sim_log="$sim_folder/VarloSim.log"
# The library finds the simulator by its running executable and uses the
# folder it runs from, so it runs from the fresh folder.
cp "$build_dir/sim/VarloSim" "$sim_folder/VarloSim"
"$sim_folder/VarloSim" --root "$sim_folder" --address 127.0.0.1 >"$sim_log" 2>&1 &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -rf "$sim_folder"
}
trap cleanup EXIT

for _ in $(seq 100); do
  if (exec 3<>/dev/tcp/127.0.0.1/22000) 2>/dev/null; then break; fi
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "VarloSim did not start:" >&2; cat "$sim_log" >&2; exit 1
  fi
  sleep 0.1
done
echo "== VarloSim runs in $sim_folder"

echo "== host program"
host=${VARLO_DEMO_HOST:-$build_dir/tools/varlo-demo/varlo-demo}
[ -x "$host" ] || host="$build_dir/tools/varlo-connect/varlo-connect"
QT_LOGGING_RULES="default.debug=false" "$host" 127.0.0.1
