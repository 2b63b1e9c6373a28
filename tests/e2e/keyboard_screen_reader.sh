#!/usr/bin/env bash
# The whole job with the keyboard only, under a Chinese desktop (zh_CN.UTF-8), read as a screen
# reader reads it over the accessibility bus: after every key press, the control that has the
# focus. Arrow keys pick the model with the large package and the focus stays on the list; Tab
# reaches the download button; Space starts the download and the focus is on Cancel, which took
# its place; in the middle of the download the bus answers (the progress bar's name and value)
# before the download ends; when it ends the focus is on the firmware upgrade button; Space opens
# the connect prompt, Return starts the flashing tool once with -s, and the focus is back on the
# upgrade button. The program lists only its own windows, named by their captions, and the
# release notes page can be read.
E2E_LOCALE=${E2E_LOCALE:-zh_CN.UTF-8}
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_served 1m
trust_site_key
start_a11y_bus
# The flashing tool stand-in, a Linux program in the player folder: it logs how it was started.
printf '#!/bin/sh\necho "start: $*|$(pwd)" >> "%s/tool.log"\n' "$PLAYER" >"$PLAYER/stupdaterapp.exe"
chmod +x "$PLAYER/stupdaterapp.exe"

start_app
wait_splash_then_main
main=$MAIN
activate "$main"
expect_focus 'combo box|机型' 20

# Down three times as fast as keys repeat, whether or not the release notes of the model
# before have come: every key reaches the list, and the last model's notes are fetched.
xdotool key --delay 20 Down Down Down
wait_until 15 test -s "$PROG/FirmwareBack/TA-500_3.00.htm" || fail "release notes of TA-500 not stored"
expect_focus 'combo box|机型' 10
shot 03-model-picked-by-keyboard
a11y tree >"$ART/accessible-tree-idle.txt" || fail "no answer for the accessible tree"
windows_listed=$(a11y windows) || fail "no answer to the window list"
log "windows: $(tr '\n' ';' <<<"$windows_listed")"
[[ $windows_listed == *"|Tavro MP3 LiveUpdate 2005 Build 10.19"* ]] || fail "the main window is not listed by its caption"
grep -q '^filler|' <<<"$windows_listed" && fail "a window announced as a filler"
grep -qi 'offscreen' <<<"$windows_listed" && fail "phantom windows listed: $windows_listed"
notes=$(a11y text 'document web') || fail "no answer for the pages"
[[ $notes == *全新界面，菜单响应更快。* ]] || fail "the release notes page cannot be read: '$notes'"

xdotool key Tab
expect_focus 'combo box|固件' 10
xdotool key Tab
expect_focus 'push button|下载' 10
xdotool key space
expect_focus 'push button|取消下载' 15
package=$PROG/FirmwareBack/TA-500_3.00.zip
# The bus is served while the download runs: the progress can be read before it ends.
progress=$(a11y value '下载中:') || fail "no answer from the accessibility bus during the download"
[[ ! -e $package ]] || fail "the answer came only after the download had ended"
log "progress read during the download: $progress%"
shot 04-download-by-keyboard
wait_until 90 test -s "$package" || fail "the package was not stored"
expect_focus 'push button|固件升级' 15
shot 05-package-ready

xdotool key space
prompt=$(wait_window 30 "$CONNECT_TITLE" "$APP_PID") || fail "no connect prompt"
expect_focus 'push button|确定' 10
xdotool key Return
wait_until 30 grep -q '^start:' "$PLAYER/tool.log" || fail "the flashing tool was not started"
sleep 1
[[ $(grep -c '^start:' "$PLAYER/tool.log") -eq 1 ]] || fail "the flashing tool was started more than once"
grep -qx "start: -s|$PLAYER" "$PLAYER/tool.log" || fail "flashing tool started as: $(cat "$PLAYER/tool.log")"
expect_focus 'push button|固件升级' 15
a11y tree >"$ART/accessible-tree.txt" || fail "no answer for the accessible tree"
close_window "$main"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
