#!/usr/bin/env python3
"""Publishes a firmware release: writes the update site's catalogue, copies the packages and
release notes to their places and signs the catalogue, every package and every release notes
page with a minisign key.

Source folder (names in UTF-8):

  catalogue.ini              the catalogue in the order to offer it: "[model]" sections, one
                             "version=value" line per firmware version (the value is free text,
                             e.g. the release date; the program reads only the names)
  <model>/<version>.zip      the firmware package of each listed version
  <model>/<version>.htm      its release notes (HTML, copied byte for byte)
  index.html                 optional: the home page shown beside the release notes

Output below SITE (served as the update server's document root):

  TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini(.minisig)            catalogue, code page 936, CR LF
  TavroMP3LiveUpdate2/index.html
  TavroMP3LiveUpdate2/Firmware/<model>/<model>_<version>.zip(.minisig)
  TavroMP3LiveUpdate2/Firmware/<model>/<model>_<version>.asp(.minisig)   the release notes

Models and file names are written with their code page 936 bytes, as the program puts them
into its URLs. Every signature's trusted comment says what it signs, as TAB-separated fields:
"timestamp:<signing time>", "file:<the file's name, in code page 936>", "size:<bytes>" for a
package, "expires:<time>" for the catalogue (--valid-days after signing), and "hashed". The site is built beside the old one and takes its place only when every file
is written and signed, so a failed run leaves the published site as it was.

Usage: tools/publish-release.py SOURCE SITE --key SECRET.key [--valid-days N] [--print-json]
  --key         the minisign secret key (minisign asks for its password, if it has one)
  --valid-days  days the catalogue's signature stays valid (default 30): publish again before
                then, or the program stops taking the catalogue
  --print-json  print the packages and their sizes as JSON
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time

ROOT = 'TavroMP3LiveUpdate2'
CATALOGUE = 'TavroMP3LiveUpdate.ini'
CODEPAGE = 'gbk'


def fail(message):
    sys.exit(f'publish-release: {message}')


def read_catalogue(path):
    """[(model, [(version, value)])] in file order."""
    models = []
    with open(path, encoding='utf-8-sig') as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith(';'):
                continue
            if line.startswith('[') and line.endswith(']'):
                models.append((line[1:-1], []))
            elif '=' in line and models:
                version, value = line.split('=', 1)
                models[-1][1].append((version, value))
            else:
                fail(f'{path}:{number}: neither "[model]" nor "version=value" under a model')
    if not models:
        fail(f'{path} lists no model')
    return models


def check_name(kind, name):
    if not name or any(c in name for c in '/\\\0[]=') or name != name.strip():
        fail(f'{kind} name "{name}" cannot name a file on the site')
    try:
        name.encode(CODEPAGE)
    except UnicodeEncodeError:
        fail(f'{kind} name "{name}" has characters outside code page 936')


def catalogue_bytes(models):
    lines = []
    for model, versions in models:
        lines.append(f'[{model}]')
        lines += [f'{version}={value}' for version, value in versions]
        lines.append('')
    return ''.join(line + '\r\n' for line in lines).encode(CODEPAGE)


def sign(key, path, *fields):
    """Signs path (bytes) with the prehashed kind; the trusted comment holds minisign's own
    fields, the time and the file name (its bytes as on the site), with the extra fields."""
    now = int(time.time())
    comment = b'\t'.join([b'timestamp:%d' % now, b'file:' + os.path.basename(path), *fields, b'hashed'])
    result = subprocess.run(['minisign', '-S', '-s', key, '-m', path, '-x', path + b'.minisig', '-t', comment])
    if result.returncode != 0:
        fail(f'minisign could not sign {os.fsdecode(path)}')


def build(source, staging, key, models, valid_days):
    os.makedirs(staging)
    catalogue = os.path.join(staging, CATALOGUE.encode())
    with open(catalogue, 'wb') as f:
        f.write(catalogue_bytes(models))
    sign(key, catalogue, b'expires:%d' % (int(time.time()) + valid_days * 86400))
    home = os.path.join(source, 'index.html')
    if os.path.exists(home):
        shutil.copyfile(home, os.path.join(staging, b'index.html'))
    summary = []
    for model, versions in models:
        folder = os.path.join(staging, b'Firmware', model.encode(CODEPAGE))
        os.makedirs(folder, exist_ok=True)
        for version, _ in versions:
            name = f'{model}_{version}'
            package = os.path.join(source, model, version + '.zip')
            notes = os.path.join(source, model, version + '.htm')
            for needed in (package, notes):
                if not os.path.isfile(needed):
                    fail(f'{needed} is missing')
            target = os.path.join(folder, name.encode(CODEPAGE))
            shutil.copyfile(package, target + b'.zip')
            shutil.copyfile(notes, target + b'.asp')
            sign(key, target + b'.zip', b'size:%d' % os.path.getsize(target + b'.zip'))
            sign(key, target + b'.asp')
            summary.append({'model': model, 'version': version, 'package': name,
                            'zip_size': os.path.getsize(package)})
    return summary


def publish(source, site, key, valid_days=30):
    if shutil.which('minisign') is None:
        fail('the minisign command is needed (apt-get install minisign)')
    if not os.path.isfile(key):
        fail(f'no secret key at {key} (minisign -G makes a key pair)')
    models = read_catalogue(os.path.join(source, 'catalogue.ini'))
    for model, versions in models:
        check_name('model', model)
        for version, _ in versions:
            check_name('version', version)
    root = os.path.join(os.fsencode(site), ROOT.encode())
    staging, old = root + b'.new', root + b'.old'
    for leftover in (staging, old):
        shutil.rmtree(leftover, ignore_errors=True)
    os.makedirs(os.fsencode(site), exist_ok=True)
    try:
        summary = build(source, staging, key, models, valid_days)
    except BaseException:
        shutil.rmtree(staging, ignore_errors=True)
        raise
    if os.path.exists(root):
        os.rename(root, old)
    os.rename(staging, root)
    shutil.rmtree(old, ignore_errors=True)
    return summary


def main():
    parser = argparse.ArgumentParser(description='Publishes a signed firmware release.')
    parser.add_argument('source')
    parser.add_argument('site')
    parser.add_argument('--key', required=True)
    parser.add_argument('--valid-days', type=int, default=30)
    parser.add_argument('--print-json', action='store_true')
    args = parser.parse_args()
    if args.valid_days < 1:
        fail('--valid-days must be at least 1')
    summary = publish(args.source, args.site, args.key, args.valid_days)
    if args.print_json:
        print(json.dumps(summary, ensure_ascii=False))
    else:
        for item in summary:
            print(f"{item['package']}.zip  {item['zip_size']:>10} bytes  signed")


if __name__ == '__main__':
    main()
