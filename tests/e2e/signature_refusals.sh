#!/usr/bin/env bash
# With the site's key trusted, what does not carry the publisher's signature is refused: a
# catalogue changed on the server (the exclamation box; the stored catalogue stays in use,
# unchanged), a package changed on the server and a package without signature (the signature
# box; nothing stored), and a package changed in the store after its download (the upgrade
# button's box; nothing extracted, no flashing tool). A correctly signed package between them
# is stored with its signature. Release notes changed on the server are refused too: not stored,
# not shown. The maker's validly signed package for another model, served
# at this model's address, is refused before it is fetched: nothing of it is stored.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

prepare_signed_copy
catalogue=$SITE/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini
cp "$catalogue" "$PROG/TavroMP3LiveUpdate.ini"   # the catalogue of an earlier run
printf '[Intruder]\r\n6.66=\r\n' >>"$catalogue"
spoil_packages
printf 'X' >>"$(site_file TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.10.asp)"
start_site
before=$(sha256sum <"$PROG/TavroMP3LiveUpdate.ini")
start_app

box=$(wait_window 30 '^下载配置文件时出错!$' "$APP_PID") || fail "no box about the catalogue"
shot 01-catalogue-refused
press "$box" Return
main=$(wait_window 30 "$MAIN_TITLE" "$APP_PID") || fail "no main window after the box"
[[ $(sha256sum <"$PROG/TavroMP3LiveUpdate.ini") == "$before" ]] || fail "the refused catalogue was stored"
wait_until 10 test -s "$PROG/FirmwareBack/TA-100_1.20.htm" || fail "first release notes not stored"
sleep 1

# refused_download NAME: Button1 gives the signature box and stores nothing of the package.
refused_download() {
  click "$main" 644 17          # Button1, "下载"
  local box
  box=$(wait_window 30 '^Tavro MP3 LiveUpdate 提示$' "$APP_PID") || fail "no box for $1"
  shot "02-$1-refused"
  press "$box" Return
  sleep 0.5
  [[ -z $(find "$PROG/FirmwareBack" -name "$1.zip*") ]] || fail "something of $1 was stored"
}
refused_download TA-100_1.20    # the first model's first version: changed on the server
click "$main" 546 18            # ComboBox2: the second version, 1.10, whose signature is missing
sleep 0.5
xdotool key --delay 150 Down Return
sleep 1
refused_download TA-100_1.10
grep -q 'signature of http://localhost/TavroMP3LiveUpdate2/Firmware/TA-100/TA-100_1.10.asp refused' \
  "$XDG_STATE_HOME/tavro/tavro.log" || fail "the changed release notes were not refused"
[[ ! -e $PROG/FirmwareBack/TA-100_1.10.htm ]] || fail "the changed release notes were stored"

click "$main" 360 18            # ComboBox1: the second model, 天籁T8, version 2.05, signed
sleep 0.5
xdotool key --delay 150 Down Return
wait_until 15 test -s "$PROG/FirmwareBack/天籁T8_2.05.htm" || fail "release notes of 天籁T8 2.05 not stored"
sleep 1
click "$main" 644 17
package=$PROG/FirmwareBack/天籁T8_2.05.zip
wait_until 30 test -s "$package" || fail "the signed package was not stored"
cmp "$package.minisig" "$(site_file TavroMP3LiveUpdate2/Firmware/天籁T8/天籁T8_2.05.zip.minisig)" ||
  fail "the package's signature is not stored beside it"
has_window '提示$' "$APP_PID" && fail "a box came with the signed package"
sleep 1.5
shot 03-signed-package-ready

printf 'X' | dd of="$package" bs=1 seek=5000 conv=notrunc status=none
upgrade_refused "$main" 04-changed-package-refused "the changed package"
shot 05-package-panel-hidden
click "$main" 647 416           # where Button2 was: the package-ready panel is gone
sleep 2
has_window '提示$|^将您的MP3播放器与电脑连接$' "$APP_PID" && fail "the firmware upgrade button still answered"
[[ ! -e $PLAYER/firmware.sb && ! -e $PLAYER/stupdaterapp.log ]] || fail "the changed package was extracted or flashed"
alive "$APP_PID" || fail "the program ended"

click "$main" 546 18            # ComboBox2: 天籁T8's second version, 2.00, where 炫彩X3's package is served
sleep 0.5
xdotool key --delay 150 Down Return
wait_until 15 test -s "$PROG/FirmwareBack/天籁T8_2.00.htm" || fail "release notes of 天籁T8 2.00 not stored"
sleep 1
refused_download 天籁T8_2.00
[[ ! -e $PLAYER/firmware.sb && ! -e $PLAYER/stupdaterapp.log ]] || fail "another model's package was extracted or flashed"
alive "$APP_PID" || fail "the program ended"
cp "$XDG_STATE_HOME/tavro/tavro.log" "$ART/program-log.txt" || fail "the program wrote no log"
grep -q '天籁T8_2.00.zip refused: it is signed for 炫彩X3_1.31.zip$' "$ART/program-log.txt" ||
  fail "the log does not name the other model's package"
grep -q 'T8_2.00.zip HTTP' "$WORK/nginx/logs/access.log" && fail "another model's package was fetched"
[[ $(grep -c 'signature of .* refused' "$ART/program-log.txt") -eq 6 ]] || fail "the log does not give the six refusals"
close_window "$main"
wait_gone "$APP_PID" 15 || fail "the program did not end after its main window closed"
