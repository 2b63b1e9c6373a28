#!/usr/bin/env bash
# make-man-page.sh PROGRAM OUTPUT: the manual page tavro(1), gzipped, written by help2man from
# the program's own --help and its version, with a COMMANDS section made of each command's
# --help and the example script fetch-and-install.sh in EXAMPLES. The page says what the
# help texts say, never more.
set -euo pipefail
program=$1 output=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The help texts in English, with nothing of the user's desktop read: the program is asked
# for English through a wrapper, so that help2man itself keeps a locale that exists. The
# wrapper marks the help's "Exit status:" as a section of its own for help2man.
export LC_ALL=C.UTF-8 LANGUAGE= HOME=$work XDG_STATE_HOME=$work XDG_DATA_HOME=$work
unset DISPLAY WAYLAND_DISPLAY
printf '#!/bin/sh\nLC_ALL=en_US.UTF-8 "%s" "$@" | sed "s/^Exit status:\\$/*Exit status*/"\n' \
  "$(realpath "$program")" >"$work/tavro"
chmod +x "$work/tavro"
program=$work/tavro
# Text shown as it stands: backslashes and lines that roff would take for requests escaped.
verbatim() { sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e "s/^'/\\\\\\&'/"; }
{
  echo '[COMMANDS]'
  for command in list notes fetch verify install clean; do
    echo ".SS \"$command\""
    echo '.nf'
    "$program" "$command" --help | verbatim
    echo '.fi'
  done
  echo '[>EXAMPLES]'
  echo '.PP'
  echo 'A script that fetches the newest version of a model and installs it:'
  echo '.PP'
  echo '.nf'
  verbatim <"$(dirname "$0")/fetch-and-install.sh"
  echo '.fi'
} >"$work/commands.h2m"
# The version alone: the build line of --version is no part of the page.
version=$("$program" --version | head -n 1)
help2man --no-info --no-discard-stderr --section=1 --name="firmware updater for Tavro MP3 players" \
  --version-string="${version##* }" --include="$work/commands.h2m" --output="$work/tavro.1" "$program"
gzip -9n <"$work/tavro.1" >"$output"
