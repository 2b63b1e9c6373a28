#!/usr/bin/env bash
# A download cancelled with the cancel button stores nothing and leaves the window usable; a
# download interrupted by closing the main window stores nothing either, saves the selection
# and ends the program. Both keep the bytes so far beside the package, for the next download
# to resume (never taken for the package).
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_served 512k
start_with_large_package
main=$MAIN package=$PACKAGE

click "$main" 644 17          # Button1, "下载"
sleep 2
shot 01-before-cancel
click "$main" 644 17          # Button3, "取消下载", lies on top of Button1
sleep 2
shot 02-after-cancel
alive "$APP_PID" || fail "the program ended after a cancel"
has_window "$MAIN_TITLE" "$APP_PID" || fail "the main window is gone after a cancel"
[[ ! -e $package ]] || fail "a cancelled download stored a package"
# The only window besides the main one would be the failure box: answer it if it came.
for box in $(windows '提示$' "$APP_PID"); do press "$box" Return; done

click "$main" 644 17          # download again, then close the window while it runs
sleep 2
shot 03-before-close
close_window "$main"
wait_gone "$APP_PID" 20 || fail "the program did not end when its window closed during a download"
[[ ! -e $package ]] || fail "a download interrupted by closing stored a package"
leftovers=$(find "$PROG/FirmwareBack" -name '*.part*' ! -name '*.partial*')
[[ -z $leftovers ]] || fail "temporary files left in FirmwareBack: $leftovers"
[[ -s $package.partial && -s $package.partial.id ]] || fail "closing mid-download kept nothing to resume"
[[ $(ini_value "$PROG/user.ini" Main02 ComboBox1) == 3 ]] || fail "user.ini: $(cat -A "$PROG/user.ini")"
[[ $(ini_value "$PROG/user.ini" Main02 ComboBox2) == 0 ]] || fail "user.ini: $(cat -A "$PROG/user.ini")"
