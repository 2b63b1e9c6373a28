#!/usr/bin/env bash
# With an https update server, a redirect to an http:// address is refused, never followed: by
# the program's own fetches (catalogue and release notes: the catalogue of an earlier run stays
# in use, unchanged) and by its web views (the home page shows the refusal). Nothing is ever
# asked of the plain address.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

start_display
install_program
install_player
trust_test_ca
cp "$E2E_SITE/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini" "$PROG/"   # the catalogue of an earlier run
before=$(sha256sum <"$PROG/TavroMP3LiveUpdate.ini")
port80_free || fail "127.0.0.1:80 is taken"
python3 "$(dirname "$0")/redirecting_server.py" "$WORK/certs/localhost.pem" "$WORK/certs/localhost.key" \
  "$ART/requests.log" 2>>"$ART/server.log" &
BG_PIDS+=($!)
wait_until 10 bash -c '(exec 3<>/dev/tcp/127.0.0.1/443)' || fail "the redirecting server did not start"
start_app

box=$(wait_window 40 '^下载配置文件时出错!$' "$APP_PID") || fail "no box about the catalogue"
press "$box" Return
main=$(wait_window 40 "$MAIN_TITLE" "$APP_PID") || fail "no main window after the box"
program_log=$XDG_STATE_HOME/tavro/tavro.log
wait_until 20 grep -q 'web view: Redirect from https://localhost/TavroMP3LiveUpdate2 to http://localhost/' \
  "$program_log" || fail "the web view did not refuse the redirect"
sleep 1
shot 01-redirects-refused
cp "$program_log" "$ART/program-log.txt"
refused='Redirect from https to http://localhost/TavroMP3LiveUpdate2/'
grep -q "TavroMP3LiveUpdate.ini failed: ${refused}TavroMP3LiveUpdate.ini refused" "$ART/program-log.txt" ||
  fail "the catalogue's redirect was not refused"
grep -q "TA-100_1.20.asp failed: ${refused}Firmware/TA-100/TA-100_1.20.asp refused" "$ART/program-log.txt" ||
  fail "the release notes' redirect was not refused"
[[ $(sha256sum <"$PROG/TavroMP3LiveUpdate.ini") == "$before" ]] || fail "the catalogue changed"
grep -q '^80 ' "$ART/requests.log" && fail "something followed a redirect to http://"
alive "$APP_PID" || fail "the program ended"
close_window "$main"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
