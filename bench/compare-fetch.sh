# The command line's download (bench/cli_fetch: `tavro fetch MODEL VERSION`'s whole run,
# the catalogue and then the package into the store) against `curl -s -o FILE URL`, both
# as whole processes, from one nginx on a free loopback port: a 256 MiB package
# (COMPARE_FETCH_MIB) over http, and over https with certificates made for the run, whose
# CA both sides trust (SSL_CERT_FILE for ours, --cacert for curl). Ours syncs the stored
# package to disk before it reports it stored; curl does not, so curl+sync (curl -o, then
# sync of its file) is the peer that leaves the same on disk.
#
# Target: time <= 1.00 x curl -o, over http and over https.

# shellcheck source=compare-download.sh
source "$BENCH/compare-download.sh"

fetch_prepare() { rm -rf "$COMPARE_WORK/fetch/prog/FirmwareBack" "$COMPARE_WORK/fetch/peer.zip"; }

# fetch_group SCHEME: one comparison over http or https.
fetch_group() {
  local scheme=$1 mib=${COMPARE_FETCH_MIB:-256} out=$COMPARE_WORK/fetch site port server host=127.0.0.1
  local -a tls=() cacert=()
  site=$(download_site "$mib")
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  server=$host:$port
  if [[ $scheme == https ]]; then
    [[ -f $out/certs/ca.pem ]] || bash "$COMPARE_ROOT/tests/support/make-test-certs.sh" "$out/certs" >/dev/null
    tls=(--tls "$out/certs/localhost.pem" "$out/certs/localhost.key")
    host=localhost server=https://localhost:$port cacert=(--cacert "$out/certs/ca.pem")
  fi
  "$COMPARE_ROOT/tools/demo-nginx.sh" start "$out/nginx" "$site" --port "$port" "${tls[@]}"
  local url=$scheme://$host:$port/TavroMP3LiveUpdate2/Firmware/$DL_MODEL/${DL_MODEL}_$DL_VERSION.zip
  curl -s "${cacert[@]}" -o /dev/null "$url"  # the page cache holds the package from here on
  local status=0
  cmp_group "fetch $mib MiB over $scheme" fetch_prepare \
    tavro "SSL_CERT_FILE=$out/certs/ca.pem $COMPARE_BUILD/bench/cli_fetch $server $out/prog/ $DL_MODEL $DL_VERSION" \
    curl "curl -s ${cacert[*]} -o $out/peer.zip $url" \
    curl+sync "curl -s ${cacert[*]} -o $out/peer.zip $url && sync $out/peer.zip" || status=1
  "$COMPARE_ROOT/tools/demo-nginx.sh" stop "$out/nginx"
  fetch_prepare
  return $status
}

compare_fetch() {
  cmp_need curl nginx zip openssl python3 || return 1
  cmp_build cli_fetch
  local out=$COMPARE_WORK/fetch
  mkdir -p "$out/prog" "$out/home" "$out/run"
  chmod 0700 "$out/run"
  (
    # The command's lock, log and data stay in the work folder.
    export HOME=$out/home XDG_RUNTIME_DIR=$out/run XDG_STATE_HOME=$out/home/state XDG_CONFIG_HOME=$out/home/config
    fetch_group http && fetch_group https
  )
}
