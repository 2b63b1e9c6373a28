#!/usr/bin/env bash
# The update server is down and no catalogue was ever fetched: the stop box, then the program
# ends without a main window.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

port80_free || fail "something listens on 127.0.0.1:80; this test needs the update server down"
start_display
install_program
install_player
start_app

box=$(wait_window 30 '^无可用的配置文件!$' "$APP_PID") || fail "no stop box"
shot 01-no-catalogue-box
press "$box" Return

deadline=$((SECONDS + 15))
while alive "$APP_PID"; do
  ((SECONDS < deadline)) || fail "the program did not end after the stop box"
  has_window "$MAIN_TITLE" "$APP_PID" && fail "a main window was shown"
  sleep 0.1
done
[[ ! -e $PROG/TavroMP3LiveUpdate.ini ]] || fail "a catalogue file appeared"
