#!/usr/bin/env bash
# The main job's host program against VarloSim on a test address: starts the
# simulator in a fresh folder, runs varlo-demo, and passes when the demo exits 0.
#   run_demo.sh VARLOSIM VARLO_DEMO ADDRESS
set -euo pipefail
sim=$1 demo=$2 address=$3
folder=$(mktemp -d)
"$sim" --root "$folder" --address "$address" --exit-with-parent >"$folder/VarloSim.log" 2>&1 &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/$address/22000") 2>/dev/null; then break; fi
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "VarloSim did not start:" >&2
    cat "$folder/VarloSim.log" >&2
    exit 1
  fi
  sleep 0.1
done
QT_LOGGING_RULES="default.debug=false" "$demo" "$address"
