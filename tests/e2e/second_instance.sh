#!/usr/bin/env bash
# A second start while the first runs shows the English box once, then ends without a splash
# window and without touching the catalogue; the first instance goes on.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_served
start_app
first=$APP_PID
main=$(wait_window 30 "$MAIN_TITLE" "$first") || fail "first instance: no main window"
catalogue_stamp=$(stat -c %Y.%s "$PROG/TavroMP3LiveUpdate.ini")
sleep 1

start_app
second=$APP_PID
box=$(wait_window 20 "$APP_TITLE" "$second") || fail "second instance: no message box"
[[ $(window_size "$box") != 504x275 ]] || fail "second instance showed its splash window"
[[ $(windows "" "$second" | wc -l) -eq 1 ]] || fail "second instance shows more than its box"
shot 01-second-instance-box

press "$box" Return
# After the box: no further window of the second instance, and it ends.
deadline=$((SECONDS + 15))
while alive "$second"; do
  ((SECONDS < deadline)) || fail "the second instance did not end after its box"
  has_window "" "$second" && [[ $(windows "" "$second") != "$box" ]] &&
    fail "the second instance showed another window: $(xdotool getwindowname "$(windows "" "$second" | head -n1)")"
  sleep 0.1
done
alive "$first" || fail "the first instance ended"
has_window "$MAIN_TITLE" "$first" || fail "the first instance's main window is gone"
[[ $(stat -c %Y.%s "$PROG/TavroMP3LiveUpdate.ini") == "$catalogue_stamp" ]] ||
  fail "the second instance touched the catalogue"
shot 02-first-instance-goes-on
close_window "$main"
wait_gone "$first" 15 || fail "the first instance did not end after its main window closed"
