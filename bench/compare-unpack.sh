# Unpacking: our ExtractMatching "*.*" (bench/zip_unpack_cli, FlushBuffers off; UNPACK_OURS
# names another build of it)
# against Info-ZIP `unzip -o -q`, `bsdtar -xf` and `7z x`, in three shapes:
#   small-empty     10,000 small files into an empty folder
#   small-existing  the same 10,000 files over an existing extraction
#   mixed           a ~200 MiB mixed archive (text, random and compressible files)

unpack_data() {
  local dir=$COMPARE_WORK/unpack
  mkdir -p "$dir"
  if [[ ! -f $dir/small.zip ]]; then
    cmp_log "unpack: making 10,000 small files ..."
    rm -rf "$dir/src-small"
    python3 - "$dir/src-small" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
words = [b"player", b"firmware", b"block", b"track", b"volume", b"ok", b"flash", b"menu"]
for i in range(10000):
    folder = os.path.join(root, "d%02d" % (i % 100))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(200, 6000)
    text = b" ".join(rng.choice(words) for _ in range(size // 6))[:size]
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(text)
PY
    (cd "$dir/src-small" && zip -q -r "$dir/small.zip" .)
    rm -rf "$dir/src-small"
  fi
  if [[ ! -f $dir/mixed.zip ]]; then
    cmp_log "unpack: making the ~200 MiB mixed archive ..."
    rm -rf "$dir/src-mixed"
    python3 - "$dir/src-mixed" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(42)
def write(rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
for i in range(40):      # log text that compresses well: 80 MiB
    lines, size = [], 0
    while size < 2 << 20:
        line = b"2026-12-07 20:13:%02d player %03d firmware block %d ok\n" % (rng.randrange(60), rng.randrange(1000), rng.getrandbits(48))
        lines.append(line)
        size += len(line)
    write("logs/log%02d.txt" % i, b"".join(lines))
for i in range(50):      # random bytes that do not compress: 50 MiB
    write("media/track%02d.mp3" % i, rng.randbytes(1 << 20))
for i in range(30):      # a small alphabet in between: 60 MiB
    write("fw/image%02d.bin" % i, bytes(97 + b % 16 for b in rng.randbytes(2 << 20)))
for i in range(2000):    # many small files: about 12 MiB
    write("small/%02d/f%04d.dat" % (i % 20, i), bytes(32 + b % 64 for b in rng.randbytes(rng.randint(2048, 10240))))
PY
    (cd "$dir/src-mixed" && zip -q -r "$dir/mixed.zip" .)
    rm -rf "$dir/src-mixed"
  fi
}

# The command that extracts ARCHIVE into FOLDER for each side.
unpack_command() {
  local side=$1 archive=$2 folder=$3
  case $side in
    ours) printf '%q %q %q' "${UNPACK_OURS:-$COMPARE_BUILD/bench/zip_unpack_cli}" "$archive" "$folder" ;;
    unzip) printf 'unzip -o -q %q -d %q' "$archive" "$folder" ;;
    bsdtar) printf 'mkdir -p %q && bsdtar -xf %q -C %q' "$folder" "$archive" "$folder" ;;
    7z) printf '7z x -y -bd %q -o%q' "$archive" "$folder" ;;
  esac
}

UNPACK_SIDES=(ours unzip bsdtar 7z)

# Before each run: an empty folder (the removal is not timed; the order of the sides
# turns round each round, so what it leaves for the file system to do falls on each).
unpack_prepare_empty() {
  rm -rf "$COMPARE_WORK/unpack/out-$1"
}

# Before each run: the folder holds a whole extraction already (made by that side on
# its first run, untimed).
unpack_prepare_existing() {
  local folder=$COMPARE_WORK/unpack/out-$1
  if [[ ! -f $folder.ready ]]; then
    rm -rf "$folder"
    bash -c "$(unpack_command "$1" "$UNPACK_ARCHIVE" "$folder")" >/dev/null
    touch "$folder.ready"
  fi
}

unpack_group() {
  local label=$1 archive=$2 prepare=$3 side
  local -a args=()
  UNPACK_ARCHIVE=$archive
  for side in "${UNPACK_SIDES[@]}"; do
    args+=("$side" "$(unpack_command "$side" "$archive" "$COMPARE_WORK/unpack/out-$side")")
  done
  rm -rf "$COMPARE_WORK"/unpack/out-* 
  cmp_group "$label" "$prepare" "${args[@]}"
  rm -rf "$COMPARE_WORK"/unpack/out-*
}

compare_unpack() {
  cmp_need unzip bsdtar 7z zip python3
  cmp_build zip_unpack_cli
  unpack_data
  local dir=$COMPARE_WORK/unpack
  cat "$dir/small.zip" "$dir/mixed.zip" >/dev/null  # both archives in the page cache
  unpack_group "unpack 10,000 small, empty folder" "$dir/small.zip" unpack_prepare_empty
  unpack_group "unpack 10,000 small, over existing" "$dir/small.zip" unpack_prepare_existing
  unpack_group "unpack ~200 MiB mixed, empty folder" "$dir/mixed.zip" unpack_prepare_empty
}
