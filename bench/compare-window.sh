# The main window's appearance after the splash's tick (bench/app_start: one whole start
# of the program entry on an Xvfb display, catalogue, release notes and home page from
# nginx on a free loopback port, the real web views). No peer: the median of
# COMPARE_ROUNDS starts with their spread, and the peak resident set of the process
# (the web engine's own processes not counted).
#
# Then its memory: the proportional set size of the whole program (the process and the web
# engine's processes below it) once both web views show their pages, against a bare Qt
# window showing the same two pages with the engine's defaults (bench/window_floor),
# interleaved, COMPARE_ROUNDS rounds, medians with their spread, and how many renderer
# processes each side's views use.
#
# Targets: the main window <= 150 ms after the tick; its memory <= 0.70 x the bare window's.

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

# window_field NAME LINE: the value after NAME in a line of bench/ViewMemory.h figures.
window_field() { awk -v f="$1" '{ for (i = 1; i < NF; i++) if ($i == f) { print $(i + 1); exit } }' <<<"$2"; }

# window_memory DIR PORT: the program's memory against the bare window's, interleaved.
window_memory() {
  local dir=$1 port=$2 round line urls=() ours=() floor=() ourRenderers="" floorRenderers=""
  for ((round = 0; round < COMPARE_ROUNDS; round++)); do
    local side
    for side in $( ((round % 2)) && echo "floor ours" || echo "ours floor"); do
      if [[ $side == ours ]]; then
        rm -rf "$dir/prog"
        mkdir -p "$dir/prog"
        line=$("$COMPARE_BUILD/bench/app_start" "127.0.0.1:$port" "$dir/prog/" --memory 2>/dev/null | grep pss_mib || true)
        [[ -n $line ]] || { cmp_log "window: no memory figures"; return 1; }
        read -r -a urls < <(awk '{ for (i = 1; i < NF; i++) if ($i == "url") printf "%s ", $(i + 1); print "" }' <<<"$line")
        ours+=("$(window_field pss_mib "$line")")
        ourRenderers+="$(window_field renderers "$line") "
      else
        # The floor shows the pages the program showed (the first round runs it first).
        ((${#urls[@]} == 2)) || { cmp_log "window: the program showed ${#urls[@]} pages, not 2"; return 1; }
        line=$("$COMPARE_BUILD/bench/window_floor" "${urls[@]}" 2>/dev/null | grep pss_mib || true)
        [[ -n $line ]] || { cmp_log "window: no memory figures of the bare window"; return 1; }
        floor+=("$(window_field pss_mib "$line")")
        floorRenderers+="$(window_field renderers "$line") "
      fi
    done
  done
  local om olo ohi fm flo fhi
  read -r om olo ohi < <(cmp_stats "${ours[@]}")
  read -r fm flo fhi < <(cmp_stats "${floor[@]}")
  printf '%-34s program %6.1f MiB [%s-%s] vs bare window %6.1f MiB [%s-%s]  ratio %.2f (target <= 0.70)  renderers %s/ %s\n' \
    "PSS with both pages shown" "$om" "$olo" "$ohi" "$fm" "$flo" "$fhi" \
    "$(awk -v a="$om" -v b="$fm" 'BEGIN { print (b > 0 ? a / b : 0) }')" "$ourRenderers" "$floorRenderers"
}

compare_window() {
  cmp_need Xvfb xdpyinfo nginx python3 || return 1
  cmp_build app_start window_floor
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
    # The player software, as the program's own registry file names it.
    mkdir -p "$dir/player" "$XDG_CONFIG_HOME/tavro"
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_LOCAL_MACHINE\software\SigmaTel\SigmaTel MSCN Audio Player\Params]' \
      "\"Install Folder\"=\"$dir/player\"" >"$XDG_CONFIG_HOME/tavro/registry.reg"
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
    local med lo hi
    read -r med lo hi < <(cmp_stats "${values[@]}")
    printf '%-34s window %8.1f ms [%s-%s] after the tick, %d starts, peak RSS %.1f MiB (target <= 150 ms)\n' \
      "main window after splash tick" "$med" "$lo" "$hi" "$COMPARE_ROUNDS" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
    window_memory "$dir" "$port"
    local status=$?
    [[ -n $WINDOW_XVFB ]] && kill "$WINDOW_XVFB"
    exit $status
  )
  local status=$?
  "$COMPARE_ROOT/tools/demo-nginx.sh" stop "$dir/nginx"
  return $status
}
