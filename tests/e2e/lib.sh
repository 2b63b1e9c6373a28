# shellcheck shell=bash
# Shared by the whole-program tests: each test sources this file, then drives the real `tavro`
# in its own Xvfb display with openbox as window manager, with its own runtime, config and home
# folders, and (where it needs one) nginx serving the demo site on 127.0.0.1:80.
#
# Environment (set by CTest, see CMakeLists.txt):
#   TAVRO_BIN         the built program
#   TAVRO_SOURCE_DIR  the source tree (for tools/)
#   E2E_VENDOR        optional: the built Windows stand-ins of the player vendor's programs
#                     (default: tools/ of the build that made TAVRO_BIN)
#   E2E_SITE          the demo site made by tools/make-demo-site.py (its key pair in E2E_SITE.key/)
#   E2E_ARTIFACTS     where screenshots and logs are kept, one folder per test
#   E2E_WORK          optional: the work folder (kept afterwards) instead of a fresh temp folder
#                     (scripts/demo runs the whole-job test this way)
#   E2E_TLS           optional: 1 serves the site over https on 127.0.0.1:443 with certificates
#                     made for the run, whose CA the program and its web views trust
#   E2E_NAME          optional: the test's name (default: the script's name)
#   E2E_LOCALE        optional: the desktop language the program runs under (LANG), e.g.
#                     en_US.UTF-8, compiled for the run; without it the program runs under the
#                     C locale and speaks the design's Chinese
#
# Every wait is bounded; every process started here is ended at exit.
set -euo pipefail
export LC_ALL=C.UTF-8

: "${TAVRO_BIN:?}" "${TAVRO_SOURCE_DIR:?}" "${E2E_ARTIFACTS:?}"
TOOLS=$TAVRO_SOURCE_DIR/tools
VENDOR=${E2E_VENDOR:-$(dirname "$TAVRO_BIN")/../../tools}
E2E_NAME=${E2E_NAME:-$(basename "$0" .sh)}

# One whole-program test at a time on this machine, whichever build runs it: they all need
# 127.0.0.1:80 (CTest's RESOURCE_LOCK covers only one ctest run).
E2E_LOCK=/tmp/tavro-e2e-port80.lock
touch "$E2E_LOCK" 2>/dev/null && chmod 0666 "$E2E_LOCK" 2>/dev/null
exec {E2E_LOCK_FD}<"$E2E_LOCK"
flock -w "${E2E_LOCK_WAIT:-240}" "$E2E_LOCK_FD" || {
  echo "[$E2E_NAME] another whole-program test holds 127.0.0.1:80 for too long" >&2
  exit 1
}
ART=$E2E_ARTIFACTS/$E2E_NAME
rm -rf "$ART"
mkdir -p "$ART"
if [[ -n ${E2E_WORK:-} ]]; then
  WORK=$E2E_WORK KEEP_WORK=1
  rm -rf "$WORK"
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/tavro-e2e-$E2E_NAME.XXXXXX") KEEP_WORK=0
fi
PROG=$WORK/prog            # the program folder: tavro, its catalogue, user.ini, FirmwareBack
PLAYER=$WORK/player        # the player software folder named by the program's registry.reg
WINE_STARTED=0
MAIN_TITLE='^Tavro MP3 LiveUpdate 2005 Build 10\.19$'
APP_TITLE='^Tavro MP3 LiveUpdate$'   # the splash window and the second-instance box
# The captions of the program's boxes, and the language its web views ask servers for.
if [[ -n ${E2E_LOCALE:-} && $E2E_LOCALE != zh_* ]]; then
  NOTICE_TITLE='^Tavro MP3 LiveUpdate Notice$'
  CONNECT_TITLE='^Connect your MP3 player to the computer$'
  ACCEPT_LANGUAGE='en-US,en;q=0.9' LANGUAGE_NAME=English
else
  NOTICE_TITLE='^Tavro MP3 LiveUpdate 提示$'
  CONNECT_TITLE='^将您的MP3播放器与电脑连接$'
  ACCEPT_LANGUAGE='zh-CN,zh;q=0.9' LANGUAGE_NAME=Chinese
fi
BG_PIDS=()
NGINX_STARTED=0
SITE=${E2E_SITE:-}                   # the site served: the demo site, or a test's altered copy
SITE_KEY=${SITE%/}.key/demo.pub      # the demo site's public key

log() { echo "[$E2E_NAME $(date +%T)] $*"; }

cleanup() {
  local status=$?
  set +e
  if ((NGINX_STARTED)); then "$TOOLS/demo-nginx.sh" stop "$WORK/nginx"; fi
  # No Wine process of the test's prefix outlives it.
  if ((WINE_STARTED)); then timeout 20 wineserver -k 2>/dev/null; timeout 20 wineserver -w 2>/dev/null; fi
  local i
  # The accessibility bus that the session bus started for the test.
  if [[ -n ${DBUS_PID:-} ]]; then pkill -P "$DBUS_PID" 2>/dev/null; fi
  for ((i = ${#BG_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${BG_PIDS[i]}" 2>/dev/null
  done
  for ((i = ${#BG_PIDS[@]} - 1; i >= 0; i--)); do
    wait_gone "${BG_PIDS[i]}" 5 || kill -KILL "${BG_PIDS[i]}" 2>/dev/null
  done
  if ((status == 0)) && [[ -n $(sanitizer_reports) ]]; then
    log "sanitizer reports in $ART/tavro.log:"
    sanitizer_reports | head -n 5
    status=1
  fi
  if [[ -d $WORK/nginx/logs ]]; then cp -r "$WORK/nginx/logs" "$ART/nginx-logs"; fi
  if ((!KEEP_WORK)); then rm -rf "$WORK"; fi
  case $status in
    0) log "PASS" ;;
    77) log "SKIPPED" ;;
    *) log "FAIL (artefacts in $ART)" ;;
  esac
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A watchdog ends the test (with its clean-up) well before CTest's timeout would kill it
# outright and leave nginx on port 80 behind.
(
  sleep "${E2E_TIME_LIMIT:-150}" &
  sleeper=$!
  trap 'kill $sleeper 2>/dev/null; exit 0' TERM
  wait "$sleeper" || exit 0
  echo "[$E2E_NAME] time limit reached" >&2
  kill -TERM $$
  # The test's trap runs once its current command ends: end that command (and this watchdog).
  pkill -TERM -P $$
) &
BG_PIDS+=($!)

fail() {
  log "FAIL: $*"
  shot failure || true
  exit 1
}

# wait_until SECONDS COMMAND...: polls the command every 0.1 s until it succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

alive() { kill -0 "$1" 2>/dev/null && [[ $(ps -o stat= -p "$1" 2>/dev/null) != Z* ]]; }
wait_gone() { wait_until "$2" bash -c "! kill -0 $1 2>/dev/null || [[ \$(ps -o stat= -p $1) == Z* ]]"; }

# Private folders, so that nothing of the user running the tests is read or changed.
setup_environment() {
  export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run XDG_CONFIG_HOME=$WORK/config
  export XDG_CACHE_HOME=$WORK/cache XDG_DATA_HOME=$WORK/data XDG_CONFIG_DIRS=$WORK/xdg
  export XDG_STATE_HOME=$WORK/state   # the program's log: $XDG_STATE_HOME/tavro/tavro.log
  mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_DIRS"
  mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
  if [[ $(id -u) -eq 0 ]]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
  unset SESSION_MANAGER
  # In a sanitized build, memory errors and undefined behaviour fail the test. QtWebEngine's own
  # teardown frees with a mismatched size, and the system libraries under it (Chromium,
  # fontconfig, D-Bus) leave objects to the process exit, with stacks that cannot be told from
  # ours here: leaks are left to the in-process tests.
  export ASAN_OPTIONS=new_delete_type_mismatch=0:detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}
}

# start_a11y_bus: a session bus of the test's own, with the accessibility bus on it started as
# a desktop starts it, and the program told that a screen reader listens (as Orca tells it).
# tests/e2e/a11y.py then reads what a screen reader would.
start_a11y_bus() {
  local out
  out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no session bus"
  export DBUS_SESSION_BUS_ADDRESS=${out%%$'\n'*}
  DBUS_PID=${out##*$'\n'}
  BG_PIDS+=("$DBUS_PID")
  wait_until 10 dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true ||
    fail "the accessibility bus did not start"
  log "accessibility bus ready"
}

# a11y ARGS...: tests/e2e/a11y.py with the system's Python, which has the bus's bindings.
a11y() { timeout 60 /usr/bin/python3 "$TAVRO_SOURCE_DIR/tests/e2e/a11y.py" "$@"; }

# expect_focus WHAT SECONDS: waits until the focused control is WHAT ("ROLE|NAME").
expect_focus() {
  wait_until "$2" bash -c "[[ \$(timeout 20 /usr/bin/python3 '$TAVRO_SOURCE_DIR/tests/e2e/a11y.py' focus) == '$1' ]]" ||
    fail "focus is on '$(a11y focus)', not on '$1'"
  log "focus: $1"
}

# Sanitizer reports of the program (only a sanitized build makes them).
sanitizer_reports() {
  grep -hE 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:' "$ART"/tavro.log 2>/dev/null || true
}

# Starts Xvfb on a free display number and openbox on it, and waits until both answer.
# Returns 1 (with both ended) if they do not; XVFB_PID and WM_PID are the two processes.
start_desktop() {
  local fd
  : >"$WORK/display"
  exec {fd}>"$WORK/display"
  Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >>"$ART/xvfb.log" 2>&1 &
  XVFB_PID=$!
  exec {fd}>&-
  WM_PID=
  if wait_until 15 grep -q '^[0-9][0-9]*$' "$WORK/display"; then
    DISPLAY=:$(head -n1 "$WORK/display")
    export DISPLAY
    if wait_until 10 xprop -root; then
      openbox --sm-disable >>"$ART/openbox.log" 2>&1 &
      WM_PID=$!
      if wait_until 15 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"; then
        BG_PIDS+=("$XVFB_PID" "$WM_PID")
        return 0
      fi
    fi
  fi
  log "desktop did not come up (Xvfb $(alive "$XVFB_PID" && echo running || echo ended)," \
    "openbox ${WM_PID:+$(alive "$WM_PID" && echo running || echo ended)})"
  local pid
  for pid in $WM_PID $XVFB_PID; do
    kill "$pid" 2>/dev/null
    wait_gone "$pid" 5 || kill -KILL "$pid" 2>/dev/null
  done
  return 1
}

start_display() {
  setup_environment
  local attempt
  for attempt in 1 2 3; do
    start_desktop && break
    ((attempt < 3)) || fail "no desktop: Xvfb with openbox did not start"
  done
  # A desktop backdrop instead of black, for readable screenshots.
  timeout 10 display -size 1024x768 -window root 'gradient:#5d7fa3-#2c3e57' >/dev/null 2>&1 || true
  log "display $DISPLAY ready"
}

install_program() {
  mkdir -p "$PROG"
  cp "$TAVRO_BIN" "$PROG/tavro"
  # Found by the program's WinExec search (program folder first), started under Wine.
  [[ -f $VENDOR/SigmaTelSetup.exe ]] || fail "no setup stand-in in $VENDOR (built with mingw-w64)"
  cp "$VENDOR/SigmaTelSetup.exe" "$PROG/SigmaTelSetup.exe"
}

# install_player: the player software as an explicit setting names it: the program's own
# registry.reg with a Linux folder (no flashing tool in it; tests that start the tool install
# the vendor's software under Wine with make_wine_prefix and the setup).
install_player() {
  mkdir -p "$PLAYER" "$XDG_CONFIG_HOME/tavro"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\software\SigmaTel\SigmaTel MSCN Audio Player\Params]' \
    "\"Install Folder\"=\"$PLAYER\"" >"$XDG_CONFIG_HOME/tavro/registry.reg"
}

# make_wine_prefix: a fresh Wine prefix of the test's own ($WINEPREFIX, inherited by the
# program), made as a user's first run of Wine makes it, without the add-ons that it would try
# to download. Skips the test (77) only when Wine is not installed.
make_wine_prefix() {
  command -v wine >/dev/null && command -v wineserver >/dev/null || {
    log "SKIP: wine is not installed (scripts/setup-deps installs it)"
    exit 77
  }
  export WINEPREFIX=$WORK/wineprefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  WINE_STARTED=1
  log "making the Wine prefix $WINEPREFIX"
  env -u DISPLAY timeout 120 wineboot -i >>"$ART/wine.log" 2>&1 || fail "wineboot did not make the prefix"
  timeout 60 wineserver -w || fail "Wine did not finish making the prefix"
  [[ -f $WINEPREFIX/system.reg && -d $WINEPREFIX/drive_c ]] || fail "no registry or drive C: in $WINEPREFIX"
}

# The program trusts the demo site's key: the catalogue and the packages must carry its signature.
trust_site_key() { cp "$SITE_KEY" "$PROG/TavroMP3LiveUpdate.pub"; }

# A copy of the demo site for a test to alter; it is served from then on.
copy_site() {
  cp -a "$E2E_SITE" "$WORK/site"
  SITE=$WORK/site
}

port80_free() { ! (exec 3<>/dev/tcp/127.0.0.1/80) 2>/dev/null; }

# trust_test_ca: certificates for localhost made for this run; their CA is trusted by the
# program's own client (SSL_CERT_FILE, read by OpenSSL) and by its web views (QtWebEngine reads
# the NSS database in $HOME/.pki/nssdb). Nothing outside the test's folders is touched.
trust_test_ca() {
  bash "$TAVRO_SOURCE_DIR/tests/support/make-test-certs.sh" "$WORK/certs" || fail "test certificates not made"
  export SSL_CERT_FILE=$WORK/certs/ca.pem
  local db=$HOME/.pki/nssdb
  mkdir -p "$db"
  certutil -N -d "sql:$db" --empty-password || fail "no NSS database"
  certutil -A -d "sql:$db" -n "Tavro Test CA" -t "C,," -i "$WORK/certs/ca.pem" || fail "test CA not trusted"
}

start_site() { # [pace]
  local args=()
  if [[ -n ${1:-} ]]; then args=(--pace "$1"); fi
  if [[ -n ${E2E_TLS:-} ]]; then
    trust_test_ca
    args+=(--tls "$WORK/certs/localhost.pem" "$WORK/certs/localhost.key")
  fi
  : "${SITE:?}"
  if ! "$TOOLS/demo-nginx.sh" start "$WORK/nginx" "$SITE" "${args[@]}"; then
    if [[ $(id -u) -ne 0 ]] && port80_free; then
      log "SKIP: nginx cannot listen on 127.0.0.1:80 without root"
      exit 77
    fi
    fail "nginx did not start"
  fi
  NGINX_STARTED=1
}

# prepare_signed_copy: a display, the program folder trusting the site's key, the player
# software installed, and a copy of the demo site for the test to alter (not yet served).
prepare_signed_copy() {
  start_display
  install_program
  install_player
  trust_site_key
  copy_site
}

# spoil_packages: what a hostile server does to the packages of the site's copy, one
# package each: TA-100 1.20 changed, TA-100 1.10 without its signature, and the maker's
# validly signed package for 炫彩X3 1.31 served as 天籁T8 2.00 (the wrong file).
spoil_packages() {
  printf 'X' | dd of="$(site_file TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.20.zip)" bs=1 seek=5000 \
    conv=notrunc status=none
  rm "$(site_file TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.10.zip.minisig)"
  local wrong other
  wrong=$(site_file TavroMP3LiveUpdate2/Firmware/天籁T8/天籁T8_2.00.zip)
  other=$(site_file TavroMP3LiveUpdate2/Firmware/炫彩X3/炫彩X3_1.31.zip)
  cp "$other" "$wrong"
  cp "$other.minisig" "$wrong.minisig"
}

# prepare_served [PACE]: a display, the program folder, the player software installed and the
# demo site served: the usual ground of a test.
prepare_served() {
  start_display
  install_program
  install_player
  start_site "${1:-}"
}

site_file() { # path below the site root, with model names in UTF-8: prints the on-disk (GBK) path
  python3 -c 'import os,sys; sys.stdout.buffer.write(os.fsencode(sys.argv[1]) + sys.argv[2].encode("gbk"))' \
    "$SITE/" "$1"
}

# The program's own locale: the test's desktop language compiled into the work folder (the
# system's locales stay as they are), the C locale without one.
make_locale() {
  [[ -d $WORK/locale/$E2E_LOCALE ]] && return
  mkdir -p "$WORK/locale"
  localedef -i "${E2E_LOCALE%%.*}" -f UTF-8 "$WORK/locale/$E2E_LOCALE" >>"$ART/localedef.log" 2>&1 ||
    fail "locale $E2E_LOCALE not made (the Debian package locales provides its sources)"
}

# start_app: the program, in its folder (with APP_PATH as its PATH when that is set), in the
# test's desktop language when it has one.
start_app() {
  local locale=()
  if [[ -n ${E2E_LOCALE:-} ]]; then
    make_locale
    locale=(-u LC_ALL "LOCPATH=$WORK/locale" "LANG=$E2E_LOCALE")
  fi
  (cd "$PROG" && exec env "${locale[@]}" PATH="${APP_PATH:-$PATH}" ./tavro) >>"$ART/tavro.log" 2>&1 &
  APP_PID=$!
  BG_PIDS+=("$APP_PID")
  log "tavro started (pid $APP_PID)"
}

# windows TITLE-REGEX [PID]: ids of the visible windows whose title matches (of that process).
windows() {
  local args=(search --all --onlyvisible) out try
  if [[ -n ${2:-} ]]; then args+=(--pid "$2"); fi
  # A window that vanishes while xdotool walks the window tree (the browser engine makes and
  # drops windows as it starts) ends the search with an X error and nothing found: such a
  # search is made again.
  for try in 1 2 3 4 5; do
    out=$(xdotool "${args[@]}" --name "$1" 2>&1) || true
    [[ $out == *"X Error"* ]] || break
  done
  grep -E '^[0-9]+$' <<<"$out" || true
}

has_window() { [[ -n $(windows "$@") ]]; }
no_window() { ! has_window "$@"; }

# wait_window SECONDS TITLE-REGEX [PID]: prints the id of the first matching window. The id
# is the one the successful search found: a window the window manager is just reparenting is
# briefly unmapped, so a second search may find nothing.
found_window() {
  FOUND_WINDOW=$(windows "$@" | head -n1)
  [[ -n $FOUND_WINDOW ]]
}
wait_window() {
  local seconds=$1
  shift
  wait_until "$seconds" found_window "$@" || return 1
  echo "$FOUND_WINDOW"
}

window_size() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: //p'; }

# wait_splash_then_main: waits for the splash window (504x275) and then the main window of
# the program just started, keeping a screenshot of each; MAIN holds the main window's id.
wait_splash_then_main() {
  local splash
  splash=$(wait_window 20 "$APP_TITLE" "$APP_PID") || fail "no splash window"
  [[ $(window_size "$splash") == 504x275 ]] || fail "splash window is $(window_size "$splash"), not 504x275"
  shot 01-splash
  MAIN=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window"
  wait_until 5 no_window "$APP_TITLE" "$APP_PID" ||
    fail "the splash window is still visible beside the main window"
  sleep 2   # let the web views paint
  shot 02-main-window
}

shot() {
  import -window root "$ART/$1.png" 2>>"$ART/import.log"
  log "screenshot $ART/$1.png"
}

activate() {
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1" >/dev/null 2>&1 || true
}

# press WINDOW KEY...: keys typed into that window after raising it.
press() {
  local w=$1
  shift
  activate "$w"
  xdotool key --delay 80 "$@"
}

# click WINDOW X Y: a left click at client coordinates of the window.
click() {
  activate "$1"
  # No --sync: it waits for a pointer motion, which never comes when the pointer is already there.
  xdotool mousemove --window "$1" "$2" "$3" sleep 0.2 click 1
}

close_window() { press "$1" alt+F4; }

# start_with_large_package: starts the program and picks the fourth model, TA-500, whose
# package is the large one; MAIN holds the main window's id, PACKAGE the package's store path.
start_with_large_package() {
  start_app
  MAIN=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window"
  sleep 1
  click "$MAIN" 360 18          # ComboBox1
  sleep 0.5
  xdotool key --delay 150 Down Down Down Return
  wait_until 15 test -s "$PROG/FirmwareBack/TA-500_3.00.htm" || fail "release notes of TA-500 3.00 not stored"
  PACKAGE=$PROG/FirmwareBack/TA-500_3.00.zip
}

# upgrade_refused WINDOW SHOT WHAT: the firmware upgrade button (Button2) answers with a notice
# box, never with the connect prompt; the box is screenshot and answered.
upgrade_refused() {
  click "$1" 647 416
  local box
  box=$(wait_window 20 "$NOTICE_TITLE" "$APP_PID") || fail "no box about $3"
  has_window "$CONNECT_TITLE" "$APP_PID" && fail "the connect prompt was shown"
  shot "$2"
  press "$box" Return
  sleep 1
  if has_window "$CONNECT_TITLE" "$APP_PID"; then fail "the connect prompt followed the box"; fi
}

# ini_value FILE SECTION KEY: the value as written (CR removed).
ini_value() {
  tr -d '\r' <"$1" | awk -F= -v s="[$2]" -v k="$3" '
    /^\[/ { in_s = ($0 == s); next }
    in_s && $1 == k { print substr($0, length(k) + 2); exit }'
}
