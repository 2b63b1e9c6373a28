#!/bin/sh
# Makes a small seed corpus of real archives for the fuzz target.
#   fuzz/make_seeds.sh <corpus-dir>
set -e
out=${1:?corpus dir}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p d/sub && printf 'hello\n' > d/a.txt && printf 'x%.0s' $(seq 1 300) > d/sub/b.bin && : > d/empty
zip -q -r "$out/deflate.zip" d
zip -q -r -0 "$out/stored.zip" d
zip -q -r -P secret "$out/crypt.zip" d
zip -q -r -fz "$out/zip64.zip" d
printf 'comment\n' | zip -q -z "$out/deflate.zip" >/dev/null
python3 - "$out" <<'PY'
import sys, zipfile, io
out = sys.argv[1]
with zipfile.ZipFile(out + "/py64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    with z.open("big.txt", "w", force_zip64=True) as f:
        f.write(b"abc" * 100)
    z.writestr("名字.txt", "utf8 name")
buf = io.BytesIO()
with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("s.txt", "streamed " * 20)
open(out + "/stream.zip", "wb").write(b"PREFIX" + buf.getvalue())
PY
