#!/usr/bin/env bash
# Soak: a host program (bench/soakhost.cpp) drives VarloSim through the
# library for MINUTES (default 12) - blocking moves, outputs, inputs, tool
# frames written and read back, alarm lookups, both callbacks - and counts
# every call that failed. The host's resident memory is sampled every 10 s,
# VarloSim's too; after a warm-up of 2 minutes (a fifth of shorter runs) the
# host may grow by at most 1 MB per 10 minutes. Exit 0 when it held.
#
#     scripts/soak.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-12}
address=${VARLO_SOAK_ADDRESS:-127.0.0.69}
scripts/setup.sh >/dev/null
build_dir=${VARLO_BUILD_DIR:-build}

folder=$(mktemp -d)
cp "$build_dir/sim/VarloSim" "$folder/VarloSim"
"$folder/VarloSim" --root "$folder" --address "$address" --no-panel >"$folder/VarloSim.log" 2>&1 &
sim=$!
sampler=""
cleanup() {
  [ -n "$sampler" ] && kill "$sampler" 2>/dev/null || true
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
  rm -rf "$folder"
}
trap cleanup EXIT
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/$address/22000") 2>/dev/null && break
  sleep 0.1
done

# VarloSim's resident memory, every 10 s.
(while kill -0 "$sim" 2>/dev/null; do
   awk '/VmRSS/ { print $2 }' "/proc/$sim/status" >> "$folder/sim-rss"
   sleep 10
 done) &
sampler=$!

echo "== soak: $minutes min against VarloSim on $address"
status=0
QT_LOGGING_RULES="default.debug=false" "$build_dir/bench/soakhost" "$address" "$minutes" || status=$?
samples=$(wc -l < "$folder/sim-rss")
skip=$(( samples / 5 ))
awk -v skip="$skip" 'NR == skip + 1 { warm = $1 } { last = $1; if ($1 > peak) peak = $1 }
     END { printf "VarloSim: rss after warm-up %d kB, at the end %d kB, peak %d kB, growth %d kB\n", warm, last, peak, last - warm }' \
  "$folder/sim-rss"
[ $status -eq 0 ] && echo "== soak passed" || echo "== soak FAILED"
exit $status
