#!/usr/bin/env bash
# The Debian package as a user gets it: made with cpack from this build, unpacked into a
# throwaway root (or, with TAVRO_DPKG_INSTALL=1 on a disposable machine such as CI,
# installed with dpkg -i), its files listed, the installed program's command line answered
# without a window or the single-instance lock, and its menu entry and AppStream file
# checked by their validators. The listing and the validators' output are kept in
# $ARTIFACTS.
#
# Environment (set by CTest): BUILD_DIR (the build tree with CPackConfig.cmake), ARTIFACTS.
set -euo pipefail
export LC_ALL=C.UTF-8
: "${BUILD_DIR:?}" "${ARTIFACTS:?}"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tavro-package.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
rm -rf "$ARTIFACTS"
mkdir -p "$ARTIFACTS"
fail() { echo "package: FAIL: $*" >&2; exit 1; }

(cd "$BUILD_DIR" && cpack -G DEB -B "$WORK/out" >"$ARTIFACTS/cpack.log" 2>&1) || {
  cat "$ARTIFACTS/cpack.log" >&2
  fail "cpack did not make the package"
}
deb=$(find "$WORK/out" -maxdepth 1 -name 'tavro_*.deb' -print -quit)
[[ -n $deb ]] || fail "no tavro_*.deb in the cpack output"

dpkg-deb -f "$deb" >"$ARTIFACTS/control.txt"
dpkg-deb -c "$deb" | awk '{print $NF}' | grep -v '/$' | sed 's|^\./|/|' | sort >"$ARTIFACTS/files.txt"
echo "package: $(basename "$deb"), files:"
sed 's/^/  /' "$ARTIFACTS/files.txt"

# The library dependencies are computed from the program's links.
grep -q '^Depends:.*libqt6widgets6' "$ARTIFACTS/control.txt" || fail "Depends lacks the computed Qt libraries"
# The font the fixed boxes are measured with, and no alternative that would let another in.
grep -qE '^Depends: (.*, )?fonts-wqy-zenhei(,|$)' "$ARTIFACTS/control.txt" ||
  fail "Depends must name fonts-wqy-zenhei (WenQuanYi Zen Hei Mono) with no alternative: $(grep '^Depends:' "$ARTIFACTS/control.txt")"
id=com.tavro.LiveUpdate
for f in /usr/bin/tavro /usr/share/applications/$id.desktop /usr/share/metainfo/$id.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/$id.svg /usr/share/man/man1/tavro.1.gz \
  /usr/share/bash-completion/completions/tavro; do
  grep -qx "$f" "$ARTIFACTS/files.txt" || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" "$ARTIFACTS/files.txt" ||
    fail "no ${size}x${size} icon in the package"
done
! grep -qiE 'sigmatel|stupdaterapp' "$ARTIFACTS/files.txt" || fail "a stand-in of the vendor's programs is packaged"

if [[ ${TAVRO_DPKG_INSTALL:-0} == 1 ]]; then
  dpkg -i "$deb" >"$ARTIFACTS/dpkg-install.log" 2>&1 || fail "dpkg -i failed: $(tail -n 3 "$ARTIFACTS/dpkg-install.log")"
  ROOT=
else
  ROOT=$WORK/root
  dpkg -x "$deb" "$ROOT"
fi
tavro=$ROOT/usr/bin/tavro

# The command line is answered with no display and without taking the instance lock.
mkdir -m 0700 "$WORK/run"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$WORK/run" "$tavro" "$@"; }
status=0
run --version >"$WORK/version.out" 2>"$WORK/version.err" || status=$?
((status == 0)) || fail "tavro --version exited with $status: $(cat "$WORK/version.err")"
head -n1 "$WORK/version.out" | grep -qx 'tavro (Tavro MP3 LiveUpdate) 1\.2005\.10\.19' ||
  fail "tavro --version said: $(cat "$WORK/version.out")"
echo "package: $tavro --version: $(head -n1 "$WORK/version.out")"
status=0
LC_ALL=en_US.UTF-8 run --help >"$WORK/help.out" 2>&1 || status=$?
if ((status != 0)) || ! head -n1 "$WORK/help.out" | grep -q '^Usage: tavro \[OPTION\]\.\.\.$'; then
  fail "tavro --help ($status): $(head -n1 "$WORK/help.out")"
fi
status=0
run --no-such-option >"$WORK/bad.out" 2>"$WORK/bad.err" || status=$?
if ((status != 2)) || [[ -s $WORK/bad.out ]] || ! grep -q "unrecognized option '--no-such-option'" "$WORK/bad.err"; then
  fail "an unknown option gave status $status, stdout '$(cat "$WORK/bad.out")', stderr '$(cat "$WORK/bad.err")'"
fi
[[ -z $(ls -A "$WORK/run") ]] || fail "the command line left files in the runtime folder: $(ls -A "$WORK/run")"

# The manual page holds every command's help and the sections a reader looks for, and no
# build line; the completion offers the commands.
zcat "$ROOT/usr/share/man/man1/tavro.1.gz" >"$ARTIFACTS/tavro.1"
for command in list notes fetch verify install clean; do
  grep -q "^Usage: tavro $command" "$ARTIFACTS/tavro.1" || fail "the manual page lacks the help of $command"
done
for section in '"EXIT STATUS"' ENVIRONMENT FILES EXAMPLES; do
  grep -qx ".SH $section" "$ARTIFACTS/tavro.1" || fail "the manual page has no section $section"
done
! grep -q '^Build ' "$ARTIFACTS/tavro.1" || fail "the manual page holds the build line"
completed=$(bash -c 'source "$1"; COMP_WORDS=(tavro f) COMP_CWORD=1; _tavro; echo "${COMPREPLY[*]}"' _ \
  "$ROOT/usr/share/bash-completion/completions/tavro")
[[ $completed == fetch ]] || fail "the completion of 'tavro f' is '$completed', not fetch"

# The validators, with their output kept for the record.
desktop-file-validate "$ROOT/usr/share/applications/$id.desktop" >"$ARTIFACTS/desktop-file-validate.txt" 2>&1 ||
  fail "desktop-file-validate: $(cat "$ARTIFACTS/desktop-file-validate.txt")"
dfv=$(cat "$ARTIFACTS/desktop-file-validate.txt")
appstreamcli validate --no-net --pedantic "$ROOT/usr/share/metainfo/$id.metainfo.xml" \
  >"$ARTIFACTS/appstreamcli-validate.txt" 2>&1 || fail "appstreamcli validate: $(cat "$ARTIFACTS/appstreamcli-validate.txt")"
echo "package: desktop-file-validate: ${dfv:-no messages, valid}"
echo "package: appstreamcli validate --pedantic: $(tr '\n' ' ' <"$ARTIFACTS/appstreamcli-validate.txt")"
echo "package: PASS"
