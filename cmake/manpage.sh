#!/bin/sh
# Writes a program's man page from its --help with help2man (cmake/manpage.cmake).
#   manpage.sh HELP2MAN PROGRAM OUTPUT DESCRIPTION VERSION [--subcommands]
# With --subcommands, each command listed under "Commands:" in the program's
# --help gets its own part of a COMMANDS section, from `PROGRAM COMMAND --help`.
set -eu
help2man=$1 program=$2 output=$3 description=$4 version=$5 subcommands=${6:-}
name=$(basename "$program")
include=$output.h2m
trap 'rm -f "$include"' EXIT

# roff: backslashes as \e, a leading dot or quote made plain text.
roff() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

{
  if [ "$subcommands" = --subcommands ]; then
    echo "[COMMANDS]"
    for command in $("$program" --help | awk '/^Commands:/ { on = 1; next } on && /^$/ { exit } on { print $1 }'); do
      "$program" "$command" --help >"$include.command"
      echo ".SS \"$(head -n 1 "$include.command" | sed -e 's/^usage: //' -e 's/"/\\(dq/g')\""
      echo ".nf"
      tail -n +3 "$include.command" | grep -v "^Exit codes: " | roff
      echo ".fi"
    done
    rm -f "$include.command"
  fi
  echo "[SEE ALSO]"
  for page in varlo varlo-bridge VarloSim; do
    [ "$page" = "$name" ] || echo ".BR $page (1)"
  done
} >"$include"

# The programs need no display, terminal or controller to explain themselves.
LC_ALL=C.UTF-8 "$help2man" --no-info --no-discard-stderr --section=1 --version-string="$version" \
  --name="$description" --include="$include" --output="$output" "$program"
