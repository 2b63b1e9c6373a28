# The main window's appearance after the splash's tick (bench/app_start: one whole start
# of the program entry on an Xvfb display, catalogue, release notes and home page from
# nginx on a free loopback port, the real web views). No peer: the median of
# COMPARE_ROUNDS starts with their spread, and the peak resident set of the process
# (the web engine's own processes not counted).
#
# Target: the main window <= 150 ms after the tick.

window_display() {
  if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 130); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    WINDOW_XVFB=$!
    export DISPLAY=:$n
    local i
    for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  done
  cmp_log "window: no Xvfb display"
  return 1
}

compare_window() {
  cmp_need Xvfb xdpyinfo nginx python3 || return 1
  cmp_build app_start
  local dir=$COMPARE_WORK/window
  rm -rf "$dir"
  mkdir -p "$dir/home" "$dir/config"
  mkdir -m 0700 "$dir/run"
  python3 "$COMPARE_ROOT/tools/make-demo-site.py" "$dir/site" --big-mb 1 >/dev/null
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$COMPARE_ROOT/tools/demo-nginx.sh" start "$dir/nginx" "$dir/site" --port "$port"
  WINDOW_XVFB=""
  (
    export HOME=$dir/home XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run
    SIGMATEL_INSTALL_FOLDER=$dir/player "$COMPARE_ROOT/tools/SigmaTelSetup.exe"
    window_display || exit 1
    local round values=() line rss=0
    for ((round = 0; round < COMPARE_ROUNDS; round++)); do
      rm -rf "$dir/prog"
      mkdir -p "$dir/prog"
      line=$(/usr/bin/time -f 'peak_kib %M' "$COMPARE_BUILD/bench/app_start" "127.0.0.1:$port" "$dir/prog/" 2>&1 |
        grep -E 'window_after_tick_ms|peak_kib' | tr '\n' ' ')
      [[ $line == *window_after_tick_ms* ]] || { cmp_log "window: no main window: $line"; exit 1; }
      values+=("$(awk '{ for (i = 1; i < NF; i++) if ($i == "window_after_tick_ms") print $(i + 1) }' <<<"$line")")
      local kib
      kib=$(awk '{ for (i = 1; i < NF; i++) if ($i == "peak_kib") print $(i + 1) }' <<<"$line")
      ((kib > rss)) && rss=$kib
    done
    [[ -n $WINDOW_XVFB ]] && kill "$WINDOW_XVFB"
    local med lo hi
    read -r med lo hi < <(cmp_stats "${values[@]}")
    printf '%-34s window %8.1f ms [%s-%s] after the tick, %d starts, peak RSS %.1f MiB (target <= 150 ms)\n' \
      "main window after splash tick" "$med" "$lo" "$hi" "$COMPARE_ROUNDS" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
  )
  local status=$?
  "$COMPARE_ROOT/tools/demo-nginx.sh" stop "$dir/nginx"
  return $status
}
