#!/usr/bin/env bash
# Runs a command while VarloSim serves on ADDRESS, then stops the simulator.
#   scripts/with-varlosim.sh VARLOSIM ADDRESS COMMAND [ARGUMENT...]
# The simulator runs as a copy in a fresh folder: the library finds a
# simulator by its running executable and uses the folder it runs from. The
# command's exit status is the script's.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 VARLOSIM ADDRESS COMMAND [ARGUMENT...]" >&2
  exit 2
fi
sim=$1 address=$2
shift 2

folder=$(mktemp -d)
cp "$sim" "$folder/VarloSim"
"$folder/VarloSim" --root "$folder" --address "$address" --exit-with-parent >"$folder/VarloSim.log" 2>&1 &
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
echo "== VarloSim runs on $address in $folder"
QT_LOGGING_RULES="default.debug=false" "$@"
