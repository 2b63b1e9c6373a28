#!/usr/bin/env python3
"""Checks the program's English texts against its sources.

    check-translations.py LUPDATE TS-FILE [LUPDATE-OPTION...] -- SOURCE...

Two promises are kept:
  1. Every Chinese text in the sources is shown through Tavro::tr() (or marked with
     QT_TRANSLATE_NOOP("Tavro", ...), or TAVRO_TRANSLATE_NOOP in the job, where it is kept in a constant): a bare literal would reach
     a person untranslated. Font names and measuring samples are no texts and are allowed.
  2. The translation file is what lupdate keeps for these sources (no text missing, none left
     over) and every text in it has its English.
Run `cmake --build build --target update_translations` to bring the file up to date, then
write the English of every text marked unfinished.
"""
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

# Literals that are never shown: the design's font name and the sample its height is measured on.
NOT_SHOWN = {"宋体", "中本Mb"}
MARKERS = re.compile(r'(Tavro::tr\(|(?:QT|TAVRO)_TRANSLATE_NOOP\("Tavro",)\s*$')
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:\\.|[^\\\'])*\'|"(?:\\.|[^\\"])*"', re.S)


def bare_literals(path):
    """(line, text) of each non-ASCII string literal that is not marked for translation."""
    code = path.read_text(encoding="utf-8")
    found = []
    previous_end = None  # end of the previous string literal, for adjacent ones ("a" "b")
    previous_marked = False
    for match in TOKEN.finditer(code):
        token = match.group(0)
        if not token.startswith('"'):
            continue
        between = code[previous_end:match.start()] if previous_end is not None else None
        continued = between is not None and between.strip() == ""
        marked = previous_marked if continued else bool(MARKERS.search(code[:match.start()][-60:]))
        text = token[1:-1]
        if not text.isascii() and not marked and text not in NOT_SHOWN:
            found.append((code.count("\n", 0, match.start()) + 1, text))
        previous_end, previous_marked = match.end(), marked
    return found


def main(argv):
    split = argv.index("--")
    lupdate, ts_file, options, sources = argv[1], Path(argv[2]), argv[3:split], argv[split + 1:]
    failures = []
    for source in sources:
        for line, text in bare_literals(Path(source)):
            failures.append(f"{source}:{line}: \"{text}\" is shown untranslated: wrap it in Tavro::tr()")

    with tempfile.TemporaryDirectory() as work:
        kept = Path(work) / ts_file.name
        shutil.copy(ts_file, kept)
        run = subprocess.run([lupdate, *options, *sources, "-ts", str(kept)], capture_output=True, text=True)
        if run.returncode != 0:
            failures.append(f"lupdate failed: {run.stderr.strip()}")
        elif kept.read_bytes() != ts_file.read_bytes():
            failures.append(f"{ts_file} is not what lupdate keeps for the sources (texts added, changed or gone): "
                            "build the target update_translations and write the English of the new texts")
        for message in re.findall(r"<message>(.*?)</message>", kept.read_text(encoding="utf-8"), re.S):
            if 'type="unfinished"' in message:
                failures.append("no English for \"%s\"" % re.search(r"<source>(.*?)</source>", message, re.S).group(1))

    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
