#!/usr/bin/env bash
# A first start as a user sees it: the splash window with the version label, then the main
# window with its title and a fixed size; the catalogue is fetched byte for byte and the first package's release
# notes are stored; closing the main window ends the program and writes the selection file.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_served
start_app

wait_splash_then_main

# The whole main window, its frame included, sits in the middle of the 1024x768 screen.
read -r fl fr ft fb < <(xprop -id "$MAIN" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,/ /g')
geometry=$(xwininfo -id "$MAIN")
field() { sed -n "s/^ *$1: *//p" <<<"$geometry"; }
frame_x=$(($(field 'Absolute upper-left X') - fl)) frame_y=$(($(field 'Absolute upper-left Y') - ft))
frame_w=$(($(field Width) + fl + fr)) frame_h=$(($(field Height) + ft + fb))
for off in $((2 * frame_x + frame_w - 1024)) $((2 * frame_y + frame_h - 768)); do
  ((off >= -2 && off <= 2)) || fail "the main window's frame ${frame_w}x${frame_h}+$frame_x+$frame_y is not centred"
done

cmp "$PROG/TavroMP3LiveUpdate.ini" "$(site_file TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini)" ||
  fail "the catalogue in the program folder differs from the server's"
notes=$PROG/FirmwareBack/TA-100_1.20.htm
wait_until 10 test -s "$notes" || fail "release notes of the first package not stored"
cmp "$notes" "$(site_file TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.20.asp)" ||
  fail "stored release notes differ from the server's page"
[[ ! -e $PROG/user.ini ]] || fail "user.ini written before the window closed"

# A fixed size: the window tells the window manager so, and a resize request changes nothing.
hints=$(xprop -id "$MAIN" WM_NORMAL_HINTS)
if ! grep -q 'minimum size: 692 by 453' <<<"$hints" || ! grep -q 'maximum size: 692 by 453' <<<"$hints"; then
  fail "the main window's size hints do not fix it at 692x453: $hints"
fi
xdotool windowsize "$MAIN" 900 700
sleep 0.5
[[ $(window_size "$MAIN") == 692x453 ]] || fail "the main window was resized to $(window_size "$MAIN")"

close_window "$MAIN"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
[[ -f $PROG/user.ini ]] || fail "closing the main window wrote no user.ini"
[[ $(ini_value "$PROG/user.ini" Main02 ComboBox1) == 0 ]] || fail "user.ini: $(cat -A "$PROG/user.ini")"
[[ $(ini_value "$PROG/user.ini" Main02 ComboBox2) == 0 ]] || fail "user.ini: $(cat -A "$PROG/user.ini")"
grep -q $'\r$' "$PROG/user.ini" || fail "user.ini lines do not end in CR LF"
