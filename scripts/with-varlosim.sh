#!/usr/bin/env bash
# Runs a command while VarloSim serves on ADDRESS, then stops the simulator.
#   scripts/with-varlosim.sh VARLOSIM ADDRESS COMMAND [ARGUMENT...]
# The simulator runs as a copy in a fresh folder: the library finds a
# simulator by its running executable and uses the folder it runs from. The
# command's exit status is the script's; 77 (CTest's "skipped", with
# SKIP_RETURN_CODE 77), with the command not run, when another program holds
# ADDRESS (a VarloSim of the user's own, say). With VARLO_KEEP_SECONDS=N the
# simulator (and its panel page) keeps running N seconds after the command,
# and the command starts 5 s late, so that a browser can open the panel first.
# With VARLOSIM_IN_PLACE=1 the simulator runs where it lies (an installed one
# that finds its panel page beside it), its folder still a fresh one.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 VARLOSIM ADDRESS COMMAND [ARGUMENT...]" >&2
  exit 2
fi
sim=$1 address=$2
shift 2

folder=$(mktemp -d)
if [ -z "${VARLOSIM_IN_PLACE:-}" ]; then
  cp "$sim" "$folder/VarloSim"
  sim=$folder/VarloSim
fi
"$sim" --root "$folder" --address "$address" --exit-with-parent >"$folder/VarloSim.log" 2>&1 &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT

# Ready when it says so: a port that answers may be another program's.
for _ in $(seq 100); do
  if grep -q "VarloSim ready" "$folder/VarloSim.log"; then break; fi
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    if grep -q "cannot listen on $address:" "$folder/VarloSim.log"; then
      echo "skipped: another program (a VarloSim of this machine?) holds $address:" >&2
      cat "$folder/VarloSim.log" >&2
      exit 77
    fi
    echo "VarloSim did not start:" >&2
    cat "$folder/VarloSim.log" >&2
    exit 1
  fi
  sleep 0.1
done
echo "== VarloSim runs on $address in $folder"
echo "== VarloSim panel: http://$address:22080/ (open it in a browser to watch the arm)"
keep=${VARLO_KEEP_SECONDS:-0}
if [ "$keep" -gt 0 ]; then
  echo "== the host program starts in 5 s"
  sleep 5
fi
status=0
QT_LOGGING_RULES="default.debug=false" "$@" || status=$?
if [ "$keep" -gt 0 ]; then
  echo "== VarloSim keeps running for $keep s: http://$address:22080/"
  sleep "$keep"
fi
exit "$status"
