# Shared pieces of bench/compare: building our programs, timing whole processes and
# printing comparisons. Sourced by bench/compare; each section file
# (bench/compare-NAME.sh) defines a function compare_NAME that uses these.
#
# Settings (environment):
#   COMPARE_ROUNDS  rounds per comparison (default 5)
#   COMPARE_WORK    scratch folder for data and outputs (default /tmp/tavro-compare)
#   COMPARE_BUILD   build folder for our programs (default <source>/build-compare)

COMPARE_ROUNDS=${COMPARE_ROUNDS:-5}
COMPARE_WORK=${COMPARE_WORK:-/tmp/tavro-compare}
COMPARE_BUILD=${COMPARE_BUILD:-$COMPARE_ROOT/build-compare}

cmp_log() { printf '%s\n' "$*" >&2; }

# cmp_build TARGET... : configures the build folder once (optimised, with debug
# information) and builds the named targets.
cmp_build() {
  if [[ ! -f $COMPARE_BUILD/CMakeCache.txt ]]; then
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$COMPARE_ROOT" -B "$COMPARE_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  fi
  cmake --build "$COMPARE_BUILD" -j"$(nproc)" --target "$@" >/dev/null
}

# cmp_need COMMAND... : fails with a clear message when a peer program is missing.
cmp_need() {
  local c
  for c in "$@"; do
    command -v "$c" >/dev/null || { cmp_log "compare: '$c' is not installed (scripts/setup-deps installs it)"; return 1; }
  done
}

# cmp_time COMMAND : runs a shell command as a whole process under /usr/bin/time;
# prints "SECONDS PEAK_RSS_KIB". A command that fails ends the comparison. A program
# that times its own span of work (the window's download: click to stored package,
# without the process's start) writes it in seconds to the file $CMP_SPAN_FILE; that
# figure then stands for the process's time.
cmp_time() {
  local out
  out=$(mktemp)
  export CMP_SPAN_FILE=$out.span
  if ! /usr/bin/time -f '%e %M' -o "$out" bash -c "$1" >/dev/null 2>"$out.err"; then
    cmp_log "compare: failed: $1"
    cat "$out.err" >&2
    rm -f "$out" "$out.err" "$out.span"
    return 1
  fi
  if [[ -s $out.span ]]; then
    echo "$(<"$out.span") $(tail -n 1 "$out" | awk '{ print $2 }')"
  else
    tail -n 1 "$out"
  fi
  rm -f "$out" "$out.err" "$out.span"
}

# cmp_stats VALUE... : prints "MEDIAN MIN MAX" of the numbers.
cmp_stats() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%s %s %s\n", m, v[1], v[NR] }'
}

# cmp_group LABEL PREPARE NAME1 COMMAND1 NAME2 COMMAND2 ...
# Runs every side COMPARE_ROUNDS times, interleaved (the order turns round each
# round), calling the shell function PREPARE with the side's name before each timed
# run (untimed). The first side is ours; prints one line per other side: both
# medians with their range, the ratio ours / theirs and both peak RSS figures, and
# a closing line against the fastest of them.
cmp_group() {
  local label=$1 prepare=$2
  shift 2
  local -a names=() commands=()
  while (($#)); do names+=("$1"); commands+=("$2"); shift 2; done
  local -A times=() rss=()
  local round i k n=${#names[@]}
  for ((round = 0; round < COMPARE_ROUNDS; round++)); do
    for ((k = 0; k < n; k++)); do
      i=$(((k + round) % n))
      "$prepare" "${names[i]}"
      local t m
      read -r t m < <(cmp_time "${commands[i]}") || return 1
      [[ -n $t ]] || return 1
      times[${names[i]}]+="$t "
      ((m > ${rss[${names[i]}]:-0})) && rss[${names[i]}]=$m
    done
  done
  local -A median=() range=()
  for name in "${names[@]}"; do
    local med lo hi
    # shellcheck disable=SC2086
    read -r med lo hi < <(cmp_stats ${times[$name]})
    median[$name]=$med
    range[$name]="$lo-$hi"
  done
  local ours=${names[0]} fastest="" other
  for other in "${names[@]:1}"; do
    printf '%-34s %s %6.3f s [%s] vs %-7s %6.3f s [%s]  ratio %.2f  peak RSS %5.1f / %5.1f MiB\n' \
      "$label" "$ours" "${median[$ours]}" "${range[$ours]}" "$other" "${median[$other]}" "${range[$other]}" \
      "$(awk -v a="${median[$ours]}" -v b="${median[$other]}" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
      "$(awk -v k="${rss[$ours]}" 'BEGIN { print k / 1024 }')" "$(awk -v k="${rss[$other]}" 'BEGIN { print k / 1024 }')"
    if [[ -z $fastest ]] || awk -v a="${median[$other]}" -v b="${median[$fastest]}" 'BEGIN { exit !(a < b) }'; then
      fastest=$other
    fi
  done
  printf '%-34s fastest peer %s: ratio %.2f (target <= 1.00)\n' "$label" "$fastest" \
    "$(awk -v a="${median[$ours]}" -v b="${median[$fastest]}" 'BEGIN { print (b > 0 ? a / b : 0) }')"
  # A peer named NAME+sync does what NAME does and then syncs its file to disk, as ours does.
  for other in "${names[@]:1}"; do
    [[ $other == *+sync ]] || continue
    printf '%-34s synced like ours: %s ratio %.2f (target <= 1.00)\n' "$label" "$other" \
      "$(awk -v a="${median[$ours]}" -v b="${median[$other]}" 'BEGIN { print (b > 0 ? a / b : 0) }')"
  done
}
