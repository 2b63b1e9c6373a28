#!/usr/bin/env bash
# Refreshes the README's screenshots in docs/screenshots/ from whole-job runs under Xvfb,
# cropping each to its window (the windows are centred on the 1024x768 screen):
#   tools/update-screenshots.sh [CHINESE-RUN [ENGLISH-RUN]]
# CHINESE-RUN is the whole job under a Chinese desktop, as the test e2e.whole_job_chinese leaves
# it (build/tests/e2e/artifacts/whole_job_chinese/); ENGLISH-RUN the same job under an English
# desktop, as the test e2e.whole_job_english leaves it (build/tests/e2e/artifacts/whole_job_english/). A run that is not there leaves its
# screenshots as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
chinese=${1:-build/tests/e2e/artifacts/whole_job_chinese}
english=${2:-build/tests/e2e/artifacts/whole_job_english}
dst=docs/screenshots
mkdir -p "$dst"
MAIN=694x474+165+147      # the main window with its title bar
crop() { convert "$1/$2" -crop "$3" +repage "$dst/$4"; echo "$dst/$4"; }
if [[ -d $chinese ]]; then
  crop "$chinese" 01-splash.png 504x275+260+246 splash.png
  crop "$chinese" 02-main-window.png "$MAIN" main-window.png
  crop "$chinese" 04-download-progress.png "$MAIN" download-progress.png
  crop "$chinese" 05-package-ready.png "$MAIN" package-ready.png
  crop "$chinese" 06-connect-prompt.png "$MAIN" connect-prompt.png
else
  echo "no run in $chinese: the Chinese screenshots stay as they are"
fi
if [[ -d $english ]]; then
  crop "$english" 02-main-window.png "$MAIN" main-window-en.png
  crop "$english" 06-connect-prompt.png "$MAIN" connect-prompt-en.png
else
  echo "no run in $english: the English screenshots stay as they are"
fi
