#!/usr/bin/env bash
# Fuzzes what Varlo reads from outside with libFuzzer: builds the targets of
# tests/fuzz with clang, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/, runs each for SECONDS (default 60) and prints one line per
# target: executions, inputs in its corpus, and findings. A crash, a
# sanitizer report, a leak or a hang (one input over 10 s) stops the target;
# the input that did it is kept in build-fuzz/findings/ (turn it into a row
# of a test table). Installs clang and its runtime when missing.
#
#     scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(exchange documents alarms replies jogframes debugger simrequests simdocuments)

missing=()
for package in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
scripts/setup.sh --packages-only # the libraries the build needs

build_dir=build-fuzz
flags="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
echo "== building the fuzz targets ($build_dir, clang)"
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Fuzz \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DVARLO_FUZZ=ON -DVARLO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j "${VARLO_JOBS:-$(nproc)}" --target "${targets[@]/#/fuzz_}"

# A few seeds, so that the runs start from inputs of the right shape.
seed() { mkdir -p "$build_dir/corpus/$1"; printf '%s' "$2" > "$build_dir/corpus/$1/seed-$3"; }
seed exchange '{"jointCoordinate":[1,2,3,4,5,6],"alarms":[[1,2],[3]],"controlMode":"enable","outputs":[5,0,1],"extendDO":[[1,2]]}' 1
seed documents $'\x00[{"enable":true,"alias":"t","params":[1,2,3,4,5,6]}]' 1
seed documents $'\x07{"enable":true,"x":1,"mode":"m","speed":3}' 2
seed documents $'\x10{"function":["F"],"F":[{"type":"num","max":1,"min":0}]}' 3
seed alarms $'\x01\x00\x00\x00[{"id":1,"level":2,"en":{"description":"d","cause":"c","solution":"s"}}]' 1
seed replies '{"result":true,"coordinate":[1,2,3,4,5,6],"joint":[1,2,3,4,5,6]}' 1
seed jogframes $'\x03\x5a\xa5\x0d\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00' 1
seed debugger 'ERROR:src0.lua:12: message' 1
seed debugger $'Comm: stack\r\n{{{"a", 1}}, {{"b", "x"}}}\r\n>' 2
seed simrequests $'P/interface/go\n{"x":300,"y":0,"z":400,"a":180,"b":0,"c":0,"tool":0,"user":0}' 1
seed simrequests $'P/protocol/exchange\n{"userCoordinate":1,"outputs":[1,0],"enable":true}' 2
seed simdocuments $'W/settings/common\n{"ratio":30}' 1
seed simdocuments $'R/settings/coordinate/tool\n' 2

mkdir -p "$build_dir/findings" "$build_dir/logs"
printf '%-14s %12s %8s %s\n' target executions corpus findings
status=0
for target in "${targets[@]}"; do
  log="$build_dir/logs/$target.log"
  rm -f "$build_dir/findings/$target-"*
  mkdir -p "$build_dir/corpus/$target"
  rc=0
  "$build_dir/tests/fuzz/fuzz_$target" "$build_dir/corpus/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$build_dir/findings/$target-" \
    >"$log" 2>&1 || rc=$?
  runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  corpus=$(find "$build_dir/corpus/$target" -type f | wc -l)
  findings=$(find "$build_dir/findings" -name "$target-*" -type f | wc -l)
  verdict="none"
  if [ $rc -ne 0 ] || [ "$findings" -gt 0 ]; then
    verdict="$findings ($(grep -m1 -oE 'ERROR: [A-Za-z]+: [a-z-]+|ERROR: libFuzzer: [a-z-]+|runtime error: .*' "$log" || echo "exit $rc"); see $log)"
    status=1
  fi
  printf '%-14s %12s %8s %s\n' "$target" "$runs" "$corpus" "$verdict"
done
exit $status
