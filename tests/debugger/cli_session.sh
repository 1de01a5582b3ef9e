#!/bin/sh
# A scripted `varlo script debug` session on VarloSim's demo project: it stops
# at a breakpoint, shows a variable, steps, changes it and stops.
#   cli_session.sh VARLO ADDRESS
out=$(printf 'b 8\nc\np total\ns\nset total 40\np total\nbt\nq\n' | "$1" script debug "$2" demo) || exit 1
echo "$out"
for expected in "paused at line 8" "total = 0" "total = 40" "stopped"; do
  echo "$out" | grep -qF "$expected" || { echo "missing: $expected"; exit 1; }
done
