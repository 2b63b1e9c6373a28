#!/usr/bin/env bash
# Without the player software the program offers its setup program, a Windows program. Where
# it cannot be started (here: no wine on PATH) the person is told so in a second box and the
# log says why; then the program ends, having fetched nothing. (The setup really run under
# Wine: whole_job.)
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

start_display
install_program
# The program's PATH holds no wine.
mkdir -p "$WORK/nowine"
APP_PATH=$WORK/nowine start_app
box=$(wait_window 30 '^Tavro MP3 LiveUpdate 提示$' "$APP_PID") || fail "no prompt to install the player software"
shot 01-install-prompt
press "$box" Return
# The next box: one that is there and is not the first.
next_box() {
  box2=$(windows '^Tavro MP3 LiveUpdate 提示$' "$APP_PID" | head -n1)
  [[ -n $box2 && $box2 != "$box" ]]
}
wait_until 15 next_box || fail "no box saying that the setup could not be started"
shot 02-setup-not-started
press "$box2" Return
wait_gone "$APP_PID" 15 || fail "the program did not end after the boxes"
has_window "$MAIN_TITLE" && fail "a main window was shown"
[[ ! -e $PROG/TavroMP3LiveUpdate.ini ]] || fail "a catalogue was fetched"
joblog=$XDG_STATE_HOME/tavro/tavro.log
cp "$joblog" "$ART/tavro-job.log"
grep -qE 'SigmaTelSetup\.exe"? not started: it is a Windows program and there is no wine on PATH' "$joblog" ||
  fail "the log does not say why the setup was not started"
grep -q 'setup program SigmaTelSetup.exe not started; ending$' "$joblog" || fail "the log does not tell the setup's outcome"
