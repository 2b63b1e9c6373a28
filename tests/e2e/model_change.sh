#!/usr/bin/env bash
# Picking another model with the mouse and keyboard fetches that model's release notes into
# FirmwareBack (a Chinese model: GBK bytes in the URL, the file named in UTF-8 on disk), and
# the new selection is saved when the window closes.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_served
start_app
main=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window"
wait_until 10 test -s "$PROG/FirmwareBack/TA-100_1.20.htm" || fail "first release notes not stored"
sleep 1

# ComboBox1 sits at 312,8 (100x21) in the top bar: open it, go down to the third model.
click "$main" 360 18
sleep 0.5
shot 01-model-list-open
xdotool key --delay 150 Down Down Return
notes=$PROG/FirmwareBack/炫彩X3_1.31.htm
wait_until 15 test -s "$notes" || fail "release notes of the picked model not stored: $(ls "$PROG/FirmwareBack")"
cmp "$notes" "$(site_file TavroMP3LiveUpdate2/Firmware/炫彩X3/炫彩X3_1.31.asp)" ||
  fail "stored release notes differ from the server's page"
sleep 2
shot 02-other-model

close_window "$main"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
[[ $(ini_value "$PROG/user.ini" Main02 ComboBox1) == 2 ]] || fail "user.ini: $(cat -A "$PROG/user.ini")"
[[ $(ini_value "$PROG/user.ini" Main02 ComboBox2) == 0 ]] || fail "user.ini: $(cat -A "$PROG/user.ini")"
