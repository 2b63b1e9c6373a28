# The window's package download (bench/app_fetch: the download button's handler from the
# click to the stored package, flushed to disk) against `curl -s -o FILE URL` and
# `wget -q -O FILE URL`, and curl+sync (curl -o, then sync of its file: what the window
# leaves on disk), from one nginx on a free loopback port, at 256 MiB for the time
# and at 16 MiB, 256 MiB and 1 GiB for the window's resident-set growth. Also the
# longest stretch without a window pump from the click to the stored package, and
# during the unpacking that follows (firmware upgrade button, 256 MiB package).
#
# Targets: time <= 1.00 x curl -o; growth <= 16 MiB at 16 MiB and 1 GiB; pump gap <= 50 ms.

DL_MODEL=ModelB
DL_VERSION=2.00

# download_site SIZE_MIB: a site holding a stored ZIP of that size as the package.
download_site() {
  local mib=$1 dir=$COMPARE_WORK/download/site-$1
  local pkg=$dir/TavroMP3LiveUpdate2/Firmware/$DL_MODEL/${DL_MODEL}_$DL_VERSION.zip
  if [[ ! -f $pkg ]]; then
    cmp_log "download: making a $mib MiB package ..."
    mkdir -p "$(dirname "$pkg")" "$dir/tmp"
    head -c "$((mib * 1024 * 1024 - 200))" /dev/urandom >"$dir/tmp/firmware.bin"
    (cd "$dir/tmp" && zip -q -0 "$pkg" firmware.bin)
    rm -rf "$dir/tmp"
    printf '[%s]\r\n%s=a\r\n' "$DL_MODEL" "$DL_VERSION" >"$dir/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"
    echo '<html>notes</html>' >"$dir/TavroMP3LiveUpdate2/Firmware/$DL_MODEL/${DL_MODEL}_$DL_VERSION.asp"
  fi
  echo "$dir"
}

download_prepare() { rm -f "$COMPARE_WORK/download/peer.zip"; }

# download_size SIZE_MIB: one comparison group at that size; our side's own lines are
# collected in $COMPARE_WORK/download/ours-SIZE.txt.
download_size() {
  local mib=$1 site port out=$COMPARE_WORK/download
  site=$(download_site "$mib")
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$COMPARE_ROOT/tools/demo-nginx.sh" start "$out/nginx" "$site" --port "$port"
  local url=http://127.0.0.1:$port/TavroMP3LiveUpdate2/Firmware/$DL_MODEL/${DL_MODEL}_$DL_VERSION.zip
  local size unpack=""
  size=$(stat -c %s "$site/TavroMP3LiveUpdate2/Firmware/$DL_MODEL/${DL_MODEL}_$DL_VERSION.zip")
  ((mib == 256)) && unpack=--unpack
  rm -f "$out/ours-$mib.txt"
  curl -s -o /dev/null "$url"  # the page cache holds the package from here on
  cmp_group "download $mib MiB, click to stored" download_prepare \
    window "$COMPARE_BUILD/bench/app_fetch 127.0.0.1:$port $DL_MODEL $DL_VERSION $size $unpack >>$out/ours-$mib.txt" \
    curl "curl -s -o $out/peer.zip $url" \
    curl+sync "curl -s -o $out/peer.zip $url && sync $out/peer.zip" \
    wget "wget -q -O $out/peer.zip $url" || { "$COMPARE_ROOT/tools/demo-nginx.sh" stop "$out/nginx"; return 1; }
  "$COMPARE_ROOT/tools/demo-nginx.sh" stop "$out/nginx"
  rm -f "$out/peer.zip"
  download_window_figures "$mib" "$out/ours-$mib.txt"
}

# download_window_figures SIZE_MIB FILE: the window's own figures over the rounds.
download_window_figures() {
  local mib=$1 file=$2 field
  for field in growth_mib longest_gap_ms unpack_s unpack_gap_ms; do
    local values
    values=$(awk -v f="$field" '{ for (i = 1; i < NF; i++) if ($i == f) print $(i + 1) }' "$file")
    [[ -n $values ]] || continue
    local med lo hi
    # shellcheck disable=SC2086
    read -r med lo hi < <(cmp_stats $values)
    local target=""
    case $field in
      growth_mib) target="(target <= 16 MiB)" ;;
      longest_gap_ms | unpack_gap_ms) target="(target <= 50 ms)" ;;
    esac
    printf '%-34s window %-15s median %8.1f [%s-%s] %s\n' "download $mib MiB" "$field" "$med" "$lo" "$hi" "$target"
  done
}

compare_download() {
  cmp_need curl wget nginx zip || return 1
  cmp_build app_fetch
  mkdir -p "$COMPARE_WORK/download"
  local mib
  for mib in ${COMPARE_DOWNLOAD_SIZES:-256 16 1024}; do
    download_size "$mib" || return 1
  done
}
