#!/usr/bin/env bash
# Without the player software the program offers its setup program: OK starts the setup
# stand-in found in the program folder (which installs the software) and the program ends.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

start_display
install_program
export SIGMATEL_INSTALL_FOLDER=$PLAYER SIGMATEL_SETUP_LOG=$WORK/setup.log
start_app
box=$(wait_window 30 '^Tavro MP3 LiveUpdate 提示$' "$APP_PID") || fail "no prompt to install the player software"
shot 01-install-prompt
press "$box" Return
wait_gone "$APP_PID" 15 || fail "the program did not end after the prompt"
has_window "$MAIN_TITLE" && fail "a main window was shown"
wait_until 15 test -s "$XDG_CONFIG_HOME/tavro/registry.reg" || fail "the setup program was not started"
[[ $(wc -l <"$WORK/setup.log") -eq 1 ]] || fail "setup started $(wc -l <"$WORK/setup.log") times"
[[ -x $PLAYER/stupdaterapp.exe ]] || fail "setup stand-in did not install the flashing tool"
[[ ! -e $PROG/TavroMP3LiveUpdate.ini ]] || fail "a catalogue was fetched"
