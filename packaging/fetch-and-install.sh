#!/bin/sh
# Fetches the newest firmware of a model and hands it to the flashing tool, branching on
# tavro's exit status: fetch-and-install.sh MODEL
model=${1:?usage: fetch-and-install.sh MODEL}
result=$(tavro fetch --json -- "$model")
case $? in
  0) ;;
  3) echo "the package was refused by its signature check; nothing installed" >&2; exit 3 ;;
  4) echo "the update server cannot be reached; try again later" >&2; exit 4 ;;
  130) exit 130 ;;
  *) echo "fetch failed" >&2; exit 1 ;;
esac
version=$(printf '%s\n' "$result" | sed -n 's/.*"version": "\([^"]*\)".*/\1/p')
echo "connect the player now" >&2
tavro install --yes -- "$model" "$version"
