#!/usr/bin/env bash
# A lab of virtual arms on the message bus: VarloSim serving N arms (arm1 ...
# armN on 127.0.10.1 and up), a Mosquitto broker on 127.0.0.1 and varlo-bridge
# between them. Prints how to watch and command the arms; Ctrl-C stops all.
#   scripts/lab.sh N [--allow-commands LIST] [--keep-folder]
# Commands are off unless --allow-commands names them (e.g. enable,movj,stop).
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-}
if ! [[ "$count" =~ ^[0-9]+$ ]] || [ "$count" -lt 1 ] || [ "$count" -gt 1000 ]; then
  echo "usage: $0 N [--allow-commands LIST] [--keep-folder]   (N from 1 to 1000)" >&2
  exit 2
fi
shift
allow=() keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --allow-commands) allow=(--allow-commands "$2"); shift 2 ;;
    --allow-commands=*) allow=("$1"); shift ;;
    --keep-folder) keep=1; shift ;;
    *) echo "$0: unknown option $1" >&2; exit 2 ;;
  esac
done

build_dir=${VARLO_BUILD_DIR:-build}
sim=$build_dir/sim/VarloSim bridge=$build_dir/tools/varlo-bridge/varlo-bridge
mosquitto=$(PATH=$PATH:/usr/sbin command -v mosquitto || true)
if [ ! -x "$sim" ] || [ ! -x "$bridge" ] || [ -z "$mosquitto" ]; then
  scripts/setup.sh
  mosquitto=$(PATH=$PATH:/usr/sbin command -v mosquitto)
fi

first=127.0.10.1
# The broker on the first free port from 1883 (a broker of the system may hold 1883).
port=1883
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done

folder=$(mktemp -d "${TMPDIR:-/tmp}/varlo-lab.XXXXXX")
pids=()
cleanup() {
  # The bridge first: it stops what it commanded and marks the arms offline.
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  if [ "$keep" -eq 1 ]; then echo "== the lab's folder stays: $folder"; else rm -rf "$folder"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

printf 'listener %d 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest stderr\n' "$port" >"$folder/mosquitto.conf"
"$mosquitto" -c "$folder/mosquitto.conf" >"$folder/mosquitto.log" 2>&1 &
broker_pid=$!
"$sim" --root "$folder" --address "$first" --arms "$count" --exit-with-parent >"$folder/VarloSim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q "VarloSim ready" "$folder/VarloSim.log" && grep -q "listen socket" "$folder/mosquitto.log" && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$folder/VarloSim.log" >&2; exit 1; }
  kill -0 "$broker_pid" 2>/dev/null || { cat "$folder/mosquitto.log" >&2; exit 1; }
  sleep 0.1
done

arms=()
address=$first
for i in $(seq "$count"); do
  arms+=("arm$i=$address")
  IFS=. read -r a b c d <<<"$address"
  d=$((d + 1)); if [ "$d" -gt 255 ]; then d=0; c=$((c + 1)); fi
  address="$a.$b.$c.$d"
done
printf '%s\n' "${arms[@]}" | tr '=' ' ' >"$folder/arms.conf"
"$bridge" --broker "127.0.0.1:$port" "${allow[@]}" --config "$folder/arms.conf" >"$folder/bridge.log" 2>&1 &
bridge_pid=$!
pids=("$bridge_pid" "$sim_pid" "$broker_pid")

cat <<TEXT
== a lab of $count arms: arm1 on $first ... arm$count on ${arms[-1]#*=} (panels on port 22080 of each)
== Mosquitto on 127.0.0.1:$port, varlo-bridge between them; logs and folders in $folder
   watch every arm:   mosquitto_sub -p $port -v -t 'varlo/#'
   one arm's state:   mosquitto_sub -p $port -t 'varlo/v1/arm1/state'
TEXT
if [ ${#allow[@]} -gt 0 ]; then
  cat <<TEXT
   a command, answered on a response topic (MQTT 5):
     mosquitto_sub -p $port -V 5 -t 'lab/answers' -F '%t %p' &
     mosquitto_pub -p $port -V 5 -t varlo/v1/arm1/cmd/enable -m '{"id": "e1"}' -D publish response-topic lab/answers
     mosquitto_pub -p $port -V 5 -t varlo/v1/arm1/cmd/movj -m '{"id": "m1", "x": 300, "y": 0, "z": 400, "a": 180, "b": 0, "c": 0}' \\
       -D publish response-topic lab/answers -D publish correlation-data m1
TEXT
else
  echo "   commands are off (scripts/lab.sh $count --allow-commands enable,movj,stop to take some)"
fi
echo "== Ctrl-C stops the lab"
wait "$bridge_pid"
