#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds hosts against the
# installation alone, as a user of the package would: the C example through
# pkg-config (nothing but its flags, so the prefix's library must be found
# at run time), the Qt examples through find_package(Varlo) in a CMake
# project of their own. Then runs the C host, the Qt host, the installed
# varlo program and the installed Python package against VarloSim.
#   install_test.sh BUILD_DIR SOURCE_DIR VARLOSIM ADDRESS1 ADDRESS2
set -euo pipefail
build=$1 source=$2 sim=$3 first=$4 second=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

echo "== cmake --install into $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
for file in include/Varlo.h include/Varlo/varloqt.h include/Varlo/qrobot.h bin/varlo libexec/varlo/varlo-lua \
            bin/VarloSim share/varlo/panel/index.html share/man/man1/varlo.1 share/man/man1/VarloSim.1; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
pc=$(find "$prefix" -name varlo.pc) config=$(find "$prefix" -name VarloConfig.cmake)
python=$(find "$prefix" -path '*-packages/varlo/__init__.py')
[ -n "$pc" ] && [ -n "$config" ] && [ -n "$python" ] || { echo "missing: varlo.pc, VarloConfig.cmake or the Python package"; exit 1; }

library=$(find "$prefix" -name 'libVarlo.so.1.*')
if readelf -S "$library" | grep -q '\.debug_info'; then echo "installed unstripped: $library"; exit 1; fi

echo "== a C host through pkg-config"
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir varlo)
cc -std=c11 "$source/examples/c/varlo_host.c" $(pkg-config --cflags --libs varlo) -o "$work/c_host"

echo "== Qt hosts through find_package(Varlo)"
cmake -S "$source/examples/qt" -B "$work/qt" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_BUILD_RPATH="$libdir" >"$work/qt.log" 2>&1 || { cat "$work/qt.log"; exit 1; }
cmake --build "$work/qt" --target varlo-example-watch -j 2 >>"$work/qt.log" 2>&1 || { cat "$work/qt.log"; exit 1; }

with_sim="$source/scripts/with-varlosim.sh $sim"
echo "== the C host against VarloSim"
$with_sim "$first" "$work/c_host" "$first"
echo "== the Qt host and the installed varlo against VarloSim"
$with_sim "$second" sh -c "'$work/qt/varlo-example-watch' '$second' && '$prefix/bin/varlo' status '$second'"
module=$(find "$prefix" -path '*-packages/varlo/_varlo*')
if [ -n "$module" ]; then
  echo "== the installed Python package, its compiled core finding the installed library"
  $with_sim "$second" env PYTHONPATH="$(dirname "$(dirname "$python")")" "${PYTHON:-python3}" -c \
    'import sys, varlo; robot = varlo.Robot(sys.argv[1]); robot.connect(); print(robot.axis_count, "axes"); robot.disconnect()' "$second"
fi
echo "1 passed, 0 failed"
