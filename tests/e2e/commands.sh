#!/usr/bin/env bash
# The real program in a terminal, without a window, against the real server and the site
# signed by a key the program trusts (the options, texts, exit statuses and store of each
# command are the cli unit tests' cases): --help for all and each, list (fetched, offline,
# JSON) marking the stored and verified versions, completion, fetch of the newest version,
# verify of a stored package and of a changed file, and install --yes unpacking the package
# and starting the tool stand-in once with -s.
# Then every refusal the window's download knows, each with exit status 3 and nothing stored:
# a package changed on the server, one without signature, another model's package (wrong
# file), one past its signed size; and the catalogue refused when it is a rollback or expired.
# Finally the one writer of the store: a fetch refused while the window runs, verify and
# list --offline beside it, and the window refusing to start while a fetch runs; Ctrl-C in the
# middle of a fetch (its bytes kept and resumed by the next fetch, which a third one finds
# stored) and the progress bar on a pseudo-terminal. Each failure of its own kind: a
# 404 package, a full store, a read-only data folder, results into a full device, an unreadable
# proxy, no display. Last, unsigned: no key trusted.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_signed_copy
spoil_packages
printf 'past its size' >>"$(site_file TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_2.10.zip)"
printf '#!/bin/sh\necho "$0 $*" >>"%s/stupdaterapp.log"\n' "$PLAYER" >"$PLAYER/stupdaterapp.exe"
chmod +x "$PLAYER/stupdaterapp.exe"
start_site
other_package=$(site_file TavroMP3LiveUpdate2/Firmware/炫彩X3/炫彩X3_1.31.zip)

# tavro_cmd NAME STATUS ARGUMENT...: the program in its folder with no display, its output
# kept as $ART/NAME.out and NAME.err; the test fails unless it exits with STATUS.
tavro_cmd() {
  local name=$1 want=$2 got=0
  shift 2
  (cd "$PROG" && env -u DISPLAY timeout 60 ./tavro "$@" >"$ART/$name.out" 2>"$ART/$name.err" </dev/null) || got=$?
  [[ $got == "$want" ]] || fail "tavro $* exited $got, not $want: $(cat "$ART/$name.err")"
}
out_has() { grep -q -- "$2" "$ART/$1.out" || fail "$1: no '$2' in: $(cat "$ART/$1.out")"; }
err_has() { grep -q -- "$2" "$ART/$1.err" || fail "$1: no '$2' in: $(cat "$ART/$1.err")"; }
nothing_stored() { [[ -z $(find "$PROG/FirmwareBack" -name "$1.zip*") ]] || fail "something of $1 was stored"; }

tavro_cmd help 0 --help
for command in list notes fetch verify install clean; do
  out_has help "^  $command "
  tavro_cmd "help-$command" 0 "$command" --help
  out_has "help-$command" "^用法：tavro $command"
done
tavro_cmd offline-none 1 list --offline

tavro_cmd list 0 list
out_has list '^天籁T8$'
out_has list '^  2.05$'
# complete WORD...: what bash completion offers for the last word.
complete_words() {
  (cd "$PROG" && bash -c 'source "$1"; shift; COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)); _tavro; echo "${COMPREPLY[*]}"' \
    _ "$TAVRO_SOURCE_DIR/packaging/tavro.bash-completion" ./tavro "$@")
}
[[ $(complete_words fetch T) == "TA-100 TA-500" ]] || fail "models completed as '$(complete_words fetch T)'"
[[ $(complete_words install --yes TA-500 '') == "3.00 2.10" ]] || fail "versions completed as '$(complete_words install TA-500 '')'"
# Names with spaces are offered quoted, and completing writes nothing to the log.
[[ $(source "$TAVRO_SOURCE_DIR/packaging/tavro.bash-completion"; _tavro_offer $'Model X\nTA-100' Mo; echo "${COMPREPLY[*]}") == 'Model\ X' ]] ||
  fail "a name with a space is not offered quoted"
[[ ! -e $XDG_STATE_HOME/tavro/tavro.log || $(grep -c 'command: list' "$XDG_STATE_HOME/tavro/tavro.log") == 1 ]] ||
  fail "completion wrote to the log"

tavro_cmd fetch 0 fetch 炫彩X3
out_has fetch '炫彩X3_1.31.zip$'
cmp "$PROG/FirmwareBack/炫彩X3_1.31.zip" "$other_package" ||
  fail "the fetched package differs from the server's"
tavro_cmd list-json 0 list --offline --json
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert [m["model"] for m in d if m["versions"][0]["stored"]] == ["炫彩X3"], d' \
  "$ART/list-json.out" || fail "list --json does not mark 炫彩X3 1.31 alone stored: $(cat "$ART/list-json.out")"
tavro_cmd verify 0 verify 炫彩X3 1.31
out_has verify ': 校验通过$'
out_has verify "^签名密钥 $(sed -n 2p "$SITE_KEY" | base64 -d | od -An -tx1 -j2 -N8 | tr -d ' \n' |
  fold -w2 | tac | tr -d '\n' | tr a-f A-F)$"
out_has verify '^签名对应的文件 炫彩X3_1.31.zip$'
tavro_cmd verify-json 0 verify --json 炫彩X3 1.31
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["verified"] and d["signedFile"] == "炫彩X3_1.31.zip", d' \
  "$ART/verify-json.out" || fail "verify --json: $(cat "$ART/verify-json.out")"
cp "$PROG/FirmwareBack/炫彩X3_1.31.zip" "$WORK/changed.zip"
cp "$PROG/FirmwareBack/炫彩X3_1.31.zip.minisig" "$WORK/changed.zip.minisig"
printf 'X' | dd of="$WORK/changed.zip" bs=1 seek=100 conv=notrunc status=none
tavro_cmd verify-file 3 verify "$WORK/changed.zip"
out_has verify-file '校验失败: '

(cd "$PROG" && env -u DISPLAY ./tavro install 炫彩X3 1.31 <<<n >/dev/null 2>"$ART/declined.err") &&
  fail "install went on after the connect prompt was declined"
err_has declined '^将您的MP3播放器与电脑连接$'
[[ ! -e $PLAYER/stupdaterapp.log ]] || fail "the tool started although the connect prompt was declined"
tavro_cmd install 0 install 炫彩X3 1.31 --yes --json
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["done"] == "started" and d["tool"].endswith("stupdaterapp.exe"), d' \
  "$ART/install.out" || fail "install --json: $(cat "$ART/install.out")"
[[ $(cat "$PLAYER/stupdaterapp.log") == *"stupdaterapp.exe -s" ]] || fail "the tool did not start once with -s"
[[ $(wc -l <"$PLAYER/stupdaterapp.log") == 1 ]] || fail "the tool started more than once"
[[ -n $(find "$PLAYER" -name '*.sb') ]] || fail "nothing unpacked into the player folder"

# Each refusal the window's download knows: exit 3, nothing of the package stored.
refused_fetch() { # NAME MODEL VERSION REASON
  tavro_cmd "refused-$1" 3 fetch "$2" "$3"
  err_has "refused-$1" '固件包签名校验失败，固件包未保存。'
  nothing_stored "$2_$3"
  grep -q "$3.zip refused: $4" "$XDG_STATE_HOME/tavro/tavro.log" || fail "the log does not say why $1 was refused"
}
refused_fetch changed TA-100 1.20 'the signature does not match'
# Under an English desktop the commands speak the window's English.
E2E_LOCALE=en_US.UTF-8 make_locale
(cd "$PROG" && env -u DISPLAY -u LC_ALL LOCPATH="$WORK/locale" LANG=en_US.UTF-8 ./tavro fetch TA-100 1.20 \
  2>"$ART/english.err") && fail "the changed package was taken under English"
err_has english '^tavro: The firmware package failed its signature check and was not saved.$'
refused_fetch unsigned TA-100 1.10 'cannot fetch it: HTTP/1.1 404'
refused_fetch wrong-file 天籁T8 2.00 'it is signed for 炫彩X3_1.31.zip'
tavro_cmd refused-past-size 3 fetch TA-500 2.10
nothing_stored TA-500_2.10
grep -q "TA-500_2.10.zip refused: the server announces" "$XDG_STATE_HOME/tavro/tavro.log" || fail "no past-size refusal"

# The catalogue refused: a rollback below the signing time already trusted, then an expired
# one; the stored catalogue is listed all the same.
catalogue=$SITE/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini
printf 'timestamp:%s\r\n' $(($(date +%s) + 86400)) >"$PROG/TavroMP3LiveUpdate.time"
tavro_cmd rollback 3 list
out_has rollback '^TA-500$'
grep -q 'is older than the catalogue already trusted' "$XDG_STATE_HOME/tavro/tavro.log" || fail "no rollback refusal logged"
rm "$PROG/TavroMP3LiveUpdate.time"
cp "$catalogue.minisig" "$WORK/catalogue.minisig"
minisign -S -s "${E2E_SITE%/}.key/demo.key" -m "$catalogue" -x "$catalogue.minisig" \
  -t "$(printf 'timestamp:%s\tfile:TavroMP3LiveUpdate.ini\texpires:1000000000' "$(date +%s)")" >/dev/null ||
  fail "the expired catalogue was not signed"
tavro_cmd expired 3 list
grep -q 'it expired on 2001-09-09' "$XDG_STATE_HOME/tavro/tavro.log" || fail "no expiry refusal logged"
cp "$WORK/catalogue.minisig" "$catalogue.minisig"

# Each failure told as what it is. A package the signed site answers with 404: the server's
# no (exit 4, the status named), nothing of the error page shown as progress or stored.
missing=$(site_file TavroMP3LiveUpdate2/Firmware/天籁T8/天籁T8_2.05.zip)
mv "$missing" "$WORK/missing.zip"
tavro_cmd not-found 4 fetch 天籁T8 2.05
err_has not-found '^tavro: 404 Not Found$'
! grep -q '%' "$ART/not-found.err" || fail "the error page was shown as progress: $(cat "$ART/not-found.err")"
nothing_stored 天籁T8_2.05
grep -q 'download ended: failed: 404 Not Found' "$XDG_STATE_HOME/tavro/tavro.log" || fail "the log does not name the status"
mv "$WORK/missing.zip" "$missing"
# tavro_ns NAME STATUS MOUNTS ARGUMENT...: tavro_cmd in a mount namespace of its own after the
# shell commands MOUNTS; what FirmwareBack holds afterwards is kept as $ART/NAME.ls.
tavro_ns() {
  local name=$1 want=$2 mounts=$3 got=0
  shift 3
  PROG=$PROG LS=$ART/$name.ls unshare -m bash -c "$mounts"' || exit 99; cd "$PROG" || exit 99
    env -u DISPLAY timeout 60 ./tavro "$@"; status=$?; ls -A FirmwareBack >"$LS" 2>&1; exit $status' \
    _ "$@" >"$ART/$name.out" 2>"$ART/$name.err" </dev/null || got=$?
  [[ $got == "$want" ]] || fail "tavro $* (after $mounts) exited $got, not $want: $(cat "$ART/$name.err")"
}
# A full store (a small file system over FirmwareBack): local (exit 1), the folder and the
# system's reason, nothing of the package left in the store.
tavro_ns full-disk 1 'mount -t tmpfs -o size=256k tmpfs "$PROG/FirmwareBack"' fetch TA-500 3.00
err_has full-disk 'FirmwareBack：No space left on device'
[[ ! -s $ART/full-disk.ls ]] || fail "the full store holds: $(cat "$ART/full-disk.ls")"
grep -q 'not stored: .*FirmwareBack: No space left on device' "$XDG_STATE_HOME/tavro/tavro.log" ||
  fail "the log does not name the full disk"
# A read-only data folder (the program's and the one under XDG_DATA_HOME): one line naming the
# file and the reason, exit 1, no abort.
tavro_ns read-only 1 'mount --bind "$PROG" "$PROG" && mount -o remount,ro,bind "$PROG" &&
  mount -t tmpfs -o ro tmpfs "$XDG_DATA_HOME"' list
[[ $(wc -l <"$ART/read-only.err") == 1 ]] && err_has read-only 'Read-only file system' ||
  fail "a read-only data folder is not told in one line: $(cat "$ART/read-only.err")"
# Results that cannot be written are a failure; a proxy variable that cannot be read ends the
# command before anything is sent; without a display the window says what to do instead.
(cd "$PROG" && ./tavro list --offline --json >/dev/full 2>"$ART/dev-full.err") && fail "list into a full device succeeded"
err_has dev-full '^tavro: write error: No space left on device$'
(cd "$PROG" && ./tavro list --offline >&- 2>"$ART/closed.err") && fail "list into a closed standard output succeeded"
err_has closed '^tavro: write error: Bad file descriptor$'
http_proxy='http://[::1]:99999' tavro_cmd bad-proxy 2 list
err_has bad-proxy 'http_proxy=http://\[::1\]:99999'
QT_QPA_PLATFORM='' WAYLAND_DISPLAY='' tavro_cmd no-display 1
err_has no-display "tavro --help"
(cd "$PROG" && DISPLAY=:4242 QT_QPA_PLATFORM='' WAYLAND_DISPLAY='' timeout 60 ./tavro \
  >"$ART/dead-display.out" 2>"$ART/dead-display.err" </dev/null) && fail "a display that cannot be opened started the window"
err_has dead-display ':4242'
err_has dead-display "tavro --help"

# One writer of the store: a fetch refused while the window runs, verify and list --offline
# beside it.
start_app
main=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window"
tavro_cmd beside-fetch 1 fetch TA-500 3.00
err_has beside-fetch '本程序的另一个实例正在运行'
nothing_stored TA-500_3.00
tavro_cmd beside-verify 0 verify 炫彩X3 1.31
tavro_cmd beside-offline 0 list --offline
close_window "$main"
wait_gone "$APP_PID" 15 || fail "the window did not end"

# A paced server: the progress bar read from a terminal (a pseudo-terminal), the window
# refused while the fetch runs, and Ctrl-C in the middle of it: exit 130, nothing stored.
"$TOOLS/demo-nginx.sh" stop "$WORK/nginx"
start_site 1m
(cd "$PROG" && exec script -qefc "exec env -u DISPLAY ./tavro fetch TA-500 3.00" /dev/null >"$ART/pty.out" 2>&1) &
fetch_pid=$!
BG_PIDS+=("$fetch_pid")
wait_until 20 grep -q 'left' "$ART/pty.out" || fail "no progress bar on the terminal: $(cat "$ART/pty.out")"
start_app
box=$(wait_window 20 "$APP_TITLE" "$APP_PID") || fail "the window started beside a fetch without a word"
shot 01-window-refused-beside-fetch
press "$box" Return
wait_gone "$APP_PID" 15 || fail "the refused window did not end"
# script(1) starts the command through $SHELL, which need not exec it by itself: the command
# execs, so the program is script's own child whichever shell runs it.
tavro_pid=$(pgrep -P "$fetch_pid" -x tavro) || fail "the fetch is not running: $(ps -o pid,ppid,args --ppid "$fetch_pid"; cat -v "$ART/pty.out")"
# The terminal narrowed to 40 columns: the bar follows, and no redraw reaches the last column.
stty -F "$(readlink "/proc/$tavro_pid/fd/2")" cols 40 || fail "the terminal was not resized"
mark=$(wc -c <"$ART/pty.out")
wait_until 10 bash -c "(( \$(tail -c +$((mark + 1)) '$ART/pty.out' | tr -cd '\r' | wc -c) >= 2 ))" ||
  fail "no redraw after the resize"
kill -INT "$tavro_pid"
status=0
wait "$fetch_pid" || status=$?
[[ $status == 130 ]] || fail "Ctrl-C ended the fetch with $status, not 130: $(cat "$ART/pty.out")"
grep -q $'\r'' *[0-9]*% \[#*\.*\] [0-9.]* [KM]B / 7.9 MB  [0-9.]* [KM]B/s  0:0[0-9] left' "$ART/pty.out" ||
  fail "the bar lacks percent, bytes, speed or time left: $(cat -v "$ART/pty.out")"
tail -c +"$((mark + 1))" "$ART/pty.out" | tr '\r' '\n' | sed 's/\x1b\[K//' | sed '1d' | grep '%' |
  awk 'length > 39 { bad = 1; print } END { exit bad }' || fail "a redraw is wider than the 40-column terminal"
grep -q '已取消。' "$ART/pty.out" || fail "the cancel is not told"
[[ ! -e $PROG/FirmwareBack/TA-500_3.00.zip ]] || fail "the cancelled fetch stored a package"
# Its bytes are kept beside the package, and the next fetch asks only for the rest (a 206).
kept=$(stat -c %s "$PROG/FirmwareBack/TA-500_3.00.zip.partial") || fail "the cancelled fetch kept nothing to resume"
tavro_cmd resumed 0 fetch TA-500 3.00
cmp "$PROG/FirmwareBack/TA-500_3.00.zip" "$(site_file TavroMP3LiveUpdate2/Firmware/TA-500/TA-500_3.00.zip)" ||
  fail "the resumed package differs from the server's"
grep -q "resuming after the $kept bytes kept by an earlier download" "$XDG_STATE_HOME/tavro/tavro.log" ||
  fail "the second fetch did not resume after the $kept bytes kept"
grep -q 'TA-500_3.00.zip HTTP/1.1" 206 ' "$WORK/nginx/logs/access.log" || fail "the rest was not asked for as a range"
[[ -z $(find "$PROG/FirmwareBack" -name 'TA-500_3.00.zip.part*') ]] || fail "the resumed fetch left a file beside the package"
# Fetched again only when asked: a stored package that verifies is not downloaded twice.
asked=$(grep -c 'TA-500_3.00.zip HTTP' "$WORK/nginx/logs/access.log")
tavro_cmd stored-again 0 fetch TA-500 3.00
err_has stored-again '固件包已保存且校验通过'
[[ $(grep -c 'TA-500_3.00.zip HTTP' "$WORK/nginx/logs/access.log") == "$asked" ]] || fail "a stored package was fetched again"

# Unsigned: with no key trusted, packages are taken as they come (the changed one too), and
# verify has nothing to check against.
rm "$PROG/TavroMP3LiveUpdate.pub"
# A terminal that takes no escape sequences (TERM=dumb) gets plain lines.
(cd "$PROG" && TERM=dumb script -qefc "env -u DISPLAY ./tavro fetch TA-100 1.20" /dev/null >"$ART/unsigned-fetch.err" 2>&1) ||
  fail "the unsigned fetch failed: $(cat "$ART/unsigned-fetch.err")"
grep -q '^100% ' "$ART/unsigned-fetch.err" && ! grep -q $'\e' "$ART/unsigned-fetch.err" ||
  fail "TERM=dumb got more than plain lines: $(cat -v "$ART/unsigned-fetch.err")"
cmp "$PROG/FirmwareBack/TA-100_1.20.zip" "$(site_file TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.20.zip)" ||
  fail "the unsigned fetch stored another file"
[[ ! -e $PROG/FirmwareBack/TA-100_1.20.zip.minisig ]] || fail "a signature was stored without a key"
tavro_cmd unsigned-verify 1 verify TA-100 1.20
err_has unsigned-verify '没有受信任的密钥'
