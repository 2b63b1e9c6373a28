#!/usr/bin/env bash
# The player software's key is there but names no folder: the package still downloads, but the
# firmware upgrade button extracts nothing and starts nothing; a box asks to reinstall the
# player software, and the program goes on.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

start_display
install_program
mkdir -p "$XDG_CONFIG_HOME/tavro"
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_LOCAL_MACHINE\software\SigmaTel\SigmaTel MSCN Audio Player\Params]' \
  >"$XDG_CONFIG_HOME/tavro/registry.reg"
start_site
start_app
main=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window"
sleep 1

click "$main" 644 17          # Button1: the first model's first version, TA-100 1.20
wait_until 30 test -s "$PROG/FirmwareBack/TA-100_1.20.zip" || fail "the package was not stored"
sleep 1.5
upgrade_refused "$main" 01-player-folder-unknown "the missing player folder"
alive "$APP_PID" || fail "the program ended"
for dir in "$PROG" "$PROG/FirmwareBack" / "$WORK"; do
  [[ ! -e $dir/firmware.sb && ! -e $dir/updater.ini ]] || fail "firmware files were extracted into $dir"
done
close_window "$main"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
