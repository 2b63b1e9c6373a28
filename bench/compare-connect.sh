# Time to the first byte of a small file through a host name, our fetch (bench/net_first_byte)
# beside `curl -w %{time_starttransfer}`, both counting name resolution and the connect.
# It runs in a network and mount namespace of its own (so it needs root, unshare and ip),
# where a hosts file names "localhost" as ::1 then 127.0.0.1, and "slow.test" as an address
# routed to a tun device that nobody reads, then 127.0.0.1. Cases: the server (python3's
# http.server) on ::1 only, on 127.0.0.1 only, and behind the address that never answers.
# One logged run of the first case is kept in $COMPARE_WORK/connect/localhost-ipv6.log.
#
# Target: ours <= curl in each case.

compare_connect() {
  cmp_need curl unshare ip python3 || return 1
  if [[ $(id -u) -ne 0 ]]; then
    cmp_log "connect: needs root to make its network namespace"
    return 1
  fi
  cmp_build net_first_byte
  mkdir -p "$COMPARE_WORK/connect"
  unshare -n -m env CONNECT_IN_NETNS=1 COMPARE_ROOT="$COMPARE_ROOT" COMPARE_BUILD="$COMPARE_BUILD" \
    COMPARE_WORK="$COMPARE_WORK" COMPARE_ROUNDS="$COMPARE_ROUNDS" bash "$BENCH/compare-connect.sh"
}

connect_prepare() { :; }

# connect_case LABEL BIND_ADDRESS HOST: one comparison against a server on BIND_ADDRESS only.
connect_case() {
  local label=$1 bind=$2 host=$3 work=$COMPARE_WORK/connect port pid
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 -m http.server --bind "$bind" --directory "$work/site" "$port" >/dev/null 2>&1 &
  pid=$!
  local url=http://$host:$port/index.txt tries=0
  until curl -s -o /dev/null "http://$(python3 -c "import sys; a = sys.argv[1]; print('[' + a + ']' if ':' in a else a)" "$bind"):$port/index.txt"; do
    ((++tries < 50)) || { kill "$pid"; cmp_log "connect: the server on $bind did not start"; return 1; }
    sleep 0.1
  done
  if [[ $bind == ::1 ]]; then
    "$COMPARE_BUILD/bench/net_first_byte" "$url" --log >/dev/null 2>"$work/localhost-ipv6.log" || true
  fi
  cmp_group "$label" connect_prepare \
    ours "$COMPARE_BUILD/bench/net_first_byte $url" \
    curl "curl -s -o /dev/null -w '%{time_starttransfer}' $url >\"\$CMP_SPAN_FILE\"" || { kill "$pid"; return 1; }
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

connect_inside() {
  local work=$COMPARE_WORK/connect
  ip link set lo up
  ip tuntap add dev tavro0 mode tun
  ip link set tavro0 up
  ip -6 addr add 2001:db8:1::2/64 dev tavro0 nodad
  printf '::1 localhost\n127.0.0.1 localhost\n2001:db8:1::1 slow.test\n127.0.0.1 slow.test\n' >"$work/hosts"
  mount --bind "$work/hosts" /etc/hosts
  mkdir -p "$work/site"
  echo hello >"$work/site/index.txt"
  connect_case "first byte, localhost on ::1 only" ::1 localhost
  connect_case "first byte, localhost on 127.0.0.1 only" 127.0.0.1 localhost
  connect_case "first byte, first address silent" 127.0.0.1 slow.test
  cmp_log "connect: the log of one run against localhost on ::1 only ($work/localhost-ipv6.log):"
  cat "$work/localhost-ipv6.log" >&2
}

if [[ ${CONNECT_IN_NETNS:-} == 1 ]]; then
  set -euo pipefail
  BENCH=$COMPARE_ROOT/bench
  # shellcheck source=compare-lib.sh
  source "$BENCH/compare-lib.sh"
  connect_inside
fi
