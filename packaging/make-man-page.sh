#!/usr/bin/env bash
# make-man-page.sh PROGRAM OUTPUT: the manual page tavro(1), gzipped, written by help2man from
# the program's own --help and --version, with a COMMANDS section made of each command's
# --help. The page says what the help texts say, never more.
set -euo pipefail
program=$1 output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The help texts in their source language, with nothing of the user's desktop read.
export LC_ALL=C.UTF-8 LANGUAGE= HOME=$work XDG_STATE_HOME=$work XDG_DATA_HOME=$work
unset DISPLAY WAYLAND_DISPLAY
{
  echo '[COMMANDS]'
  for command in list notes fetch verify install; do
    echo ".SS \"$command\""
    echo '.nf'
    "$program" "$command" --help | sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\\&'/"
    echo '.fi'
  done
} >"$work/commands.h2m"
help2man --no-info --no-discard-stderr --section=1 --name="firmware updater for Tavro MP3 players" \
  --include="$work/commands.h2m" --output="$work/tavro.1" "$program"
gzip -9n <"$work/tavro.1" >"$output"
