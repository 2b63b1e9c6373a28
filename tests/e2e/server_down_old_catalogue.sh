#!/usr/bin/env bash
# The update server is down but an older catalogue is in the program folder: the exclamation
# box, then the main window on the old catalogue, which stays as it was.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

port80_free || fail "something listens on 127.0.0.1:80; this test needs the update server down"
start_display
install_program
install_player
printf '[OldModel]\r\n1.00=2005-01-01\r\n' >"$PROG/TavroMP3LiveUpdate.ini"
before=$(sha256sum <"$PROG/TavroMP3LiveUpdate.ini")
start_app

box=$(wait_window 30 '^下载配置文件时出错!$' "$APP_PID") || fail "no exclamation box"
has_window "$MAIN_TITLE" "$APP_PID" && fail "main window shown before the box was answered"
shot 01-old-catalogue-box
press "$box" Return

main=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window after the box"
sleep 2
shot 02-main-window-old-catalogue
[[ $(sha256sum <"$PROG/TavroMP3LiveUpdate.ini") == "$before" ]] || fail "the older catalogue was changed"
close_window "$main"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
