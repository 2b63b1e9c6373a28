#!/usr/bin/env bash
# Refreshes the README's screenshots in docs/screenshots/ from the whole-job run that
# scripts/demo makes without a display (out/demo/whole_job/, or the folder given), cropping
# each to its window (the windows are centred on the 1024x768 screen).
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-out/demo/whole_job}
dst=docs/screenshots
mkdir -p "$dst"
MAIN=694x474+165+147      # the main window with its title bar
crop() { convert "$src/$1" -crop "$2" +repage "$dst/$3"; echo "$dst/$3"; }
crop 01-splash.png 504x275+260+246 splash.png
crop 02-main-window.png "$MAIN" main-window.png
crop 04-download-progress.png "$MAIN" download-progress.png
crop 05-package-ready.png "$MAIN" package-ready.png
crop 06-connect-prompt.png "$MAIN" connect-prompt.png
