#!/usr/bin/env bash
# A package download whose connection drops at 40% resumes on its own: the package arrives
# whole, byte for byte, after a second request for the rest (Range with If-Range), and no
# failure box is shown. nginx serves the site behind a relay on 127.0.0.1:80 that cuts the
# first package answer off. The same holds for `tavro fetch` in a terminal.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

start_display
install_program
install_player
port80_free || fail "127.0.0.1:80 is taken"
nginx_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$TOOLS/demo-nginx.sh" start "$WORK/nginx" "$E2E_SITE" --port "$nginx_port" || fail "nginx did not start"
NGINX_STARTED=1
# start_relay LOG: the relay on 127.0.0.1:80 that cuts the first package answer off.
start_relay() {
  python3 "$(dirname "$0")/cutting_proxy.py" 80 "$nginx_port" "$1" 40 >>"$ART/relay.out" 2>&1 &
  RELAY_PID=$!
  BG_PIDS+=("$RELAY_PID")
  wait_until 10 bash -c '(exec 3<>/dev/tcp/127.0.0.1/80)' || fail "the relay did not start"
}
# resumed_once LOG: the package was asked for twice, the second time for the rest.
resumed_once() {
  local requests resumed
  requests=$(grep -c 'TA-500_3.00.zip' "$1")
  [[ $requests == 2 ]] || fail "$requests package requests instead of 2: $(cat "$1")"
  resumed=$(grep 'TA-500_3.00.zip' "$1" | tail -n 1)
  [[ $resumed == *'Range: bytes='[1-9]*'-'* && $resumed == *'If-Range: "'* ]] ||
    fail "the second request does not ask for the rest: $resumed"
}
start_relay "$ART/relay.log"

start_with_large_package
main=$MAIN package=$PACKAGE

click "$main" 644 17          # Button1, "下载"
wait_until 60 test -e "$package" || fail "the package did not arrive after the cut"
shot 01-resumed
cmp "$package" "$(site_file TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_3.00.zip)" ||
  fail "the resumed package differs from the server's"
resumed_once "$ART/relay.log"
[[ -z $(windows '提示$' "$APP_PID") ]] || fail "a failure box was shown although the package arrived"
leftovers=$(find "$PROG/FirmwareBack" -name '*.part*')
[[ -z $leftovers ]] || fail "temporary files left in FirmwareBack: $leftovers"
close_window "$main"
wait_gone "$APP_PID" 20 || fail "the program did not end when its window closed"

# The same cut under `tavro fetch` in a terminal: it resumes too, and ends with status 0.
kill "$RELAY_PID"
wait_gone "$RELAY_PID" 10 || fail "the first relay did not end"
rm "$package"
start_relay "$ART/relay-fetch.log"
(cd "$PROG" && env -u DISPLAY timeout 60 ./tavro fetch TA-500 3.00 >"$ART/fetch.out" 2>"$ART/fetch.err") ||
  fail "tavro fetch did not end with status 0: $(cat "$ART/fetch.err")"
cmp "$package" "$(site_file TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_3.00.zip)" ||
  fail "the package fetched in the terminal differs from the server's"
resumed_once "$ART/relay-fetch.log"
