#!/usr/bin/env python3
"""Generates the demo update site that tools/demo-nginx.sh serves on 127.0.0.1:80.

It writes a release source folder (catalogue, packages made with Info-ZIP zip, release notes,
home page) and publishes it with tools/publish-release.py, which lays out the site and signs
the catalogue and every package with the demo key. The key pair is made with
`minisign -G -W` the first time (never committed) and kept beside the site, outside what
nginx serves: OUTPUT.key/demo.pub (trusted by the program as TavroMP3LiveUpdate.pub in its
folder) and OUTPUT.key/demo.key.

Layout below the output folder (every text file in code page 936, lines ended by CR LF):

  TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini(.minisig)  the catalogue: one section per model,
                                                         one key per firmware version
  TavroMP3LiveUpdate2/index.html                         the home page of the left web view
  TavroMP3LiveUpdate2/Firmware/<model>/<model>_<version>.asp(.minisig)   release notes (HTML)
  TavroMP3LiveUpdate2/Firmware/<model>/<model>_<version>.zip(.minisig)   firmware package

The program puts the model's code page 936 bytes into the URL path as they are, and nginx maps
a path to the file system byte for byte, so folders and files of Chinese models are named with
their GBK bytes on disk.

Usage: tools/make-demo-site.py OUTPUT-FOLDER [--big-mb N] [--models-json] [--key-dir DIR]
  --big-mb N      size of the large package (default 30) whose download is slow enough to watch
  --models-json   print the models, versions and package sizes as JSON (for scripts and tests)
  --key-dir DIR   where the demo key pair is kept or made (default OUTPUT-FOLDER.key)
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

ROOT = 'TavroMP3LiveUpdate2'
CODEPAGE = 'gbk'

# model -> [(version, release date, package size in KB, notes)]; file order is catalogue order.
MODELS = [
    ('TA-100', [('1.20', '2005-10-12', 2400, ['修正了部分MP3文件播放时的杂音问题。', '改善了歌词同步显示。']),
                ('1.10', '2005-08-30', 2200, ['首次发布的升级固件。'])]),
    ('天籁T8', [('2.05', '2005-10-18', 3100, ['新增FM收音机预设电台功能。', '降低了待机耗电。']),
               ('2.00', '2005-09-01', 3000, ['支持WMA格式。'])]),
    ('炫彩X3', [('1.31', '2005-10-05', 1800, ['新增七彩背光设置。', '修正了录音时间显示错误。'])]),
    ('TA-500', [('3.00', '2005-10-19', None, ['全新界面，菜单响应更快。', '支持更大容量的存储卡。']),
                ('2.10', '2005-07-21', 2600, ['改善了USB传输速度。'])]),
]


def package_name(model, version):
    return f'{model}_{version}'


def crlf(lines):
    return ''.join(line + '\r\n' for line in lines)


def page(title, body_lines):
    head = ['<!DOCTYPE html>', '<html>', '<head>', '<meta charset="gb2312">',
            f'<title>{title}</title>',
            '<style>body{font-family:"WenQuanYi Zen Hei",sans-serif;font-size:12px;margin:8px;color:#222}'
            'h1{font-size:15px;color:#0b5c73;border-bottom:2px solid #ff962a;padding-bottom:4px}'
            'h2{font-size:13px;color:#0b5c73}li{margin:3px 0}.box{background:#eef6f8;padding:6px;'
            'border-radius:6px}.date{color:#888}</style>',
            '</head>', '<body>']
    return crlf(head + body_lines + ['</body>', '</html>'])


def home_page():
    body = ['<h1>Tavro 在线升级</h1>',
            '<div class="box">欢迎使用 Tavro MP3 播放器固件在线升级服务。</div>',
            '<h2>最新固件</h2>', '<ul>']
    for model, versions in MODELS:
        version, date = versions[0][0], versions[0][1]
        body.append(f'<li>{model} 固件 {version} <span class="date">{date}</span></li>')
    body += ['</ul>', '<h2>升级须知</h2>',
             '<ol><li>升级前请备份播放器中的文件。</li><li>升级过程中请勿断开USB连接线。</li>'
             '<li>升级完成后请重新启动播放器。</li></ol>']
    return page('Tavro 在线升级', body)


def notes_page(model, version, date, notes):
    body = [f'<h1>{model} 固件 {version} 版本说明</h1>',
            f'<p class="date">发布日期：{date}</p>', '<h2>更新内容</h2>', '<ul>']
    body += [f'<li>{line}</li>' for line in notes]
    body += ['</ul>', '<p>请在升级前将播放器充满电。</p>']
    return page(f'{model} {version}', body)


def firmware_files(seed, size_kb):
    """Firmware-like files of a package: (relative name, bytes)."""
    rng = random.Random(seed)
    main = max(64, size_kb - 300) * 1024
    sb = b'STMP' + rng.randbytes(main - 4)
    rsc = b'RSRC' + rng.randbytes(200 * 1024)
    # the font table compresses well, like the real resource files do
    font = bytes((i * 7 + (i >> 8)) & 0xFF for i in range(96 * 1024))
    ini = crlf(['[Updater]', f'Firmware=firmware.sb', f'Resource=player.rsc', 'Reset=1']).encode('ascii')
    return [('firmware.sb', sb), ('player.rsc', rsc), ('resource/font12.bin', font),
            ('updater.ini', ini)]


def make_zip(zip_path, files):
    with tempfile.TemporaryDirectory() as work:
        for name, data in files:
            path = os.path.join(work, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'wb') as f:
                f.write(data)
        # -X leaves out the Unix extra fields, as a packer on the vendor's side would
        subprocess.run(['zip', '-q', '-r', '-X', os.path.abspath(zip_path)] +
                       sorted(name for name, _ in files), cwd=work, check=True)


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def demo_key(key_dir):
    """The demo key pair, made on first use; returns the secret key's path."""
    public, secret = os.path.join(key_dir, 'demo.pub'), os.path.join(key_dir, 'demo.key')
    if not (os.path.exists(public) and os.path.exists(secret)):
        os.makedirs(key_dir, exist_ok=True)
        subprocess.run(['minisign', '-G', '-W', '-f', '-p', public, '-s', secret],
                       check=True, stdout=subprocess.DEVNULL)
    return secret


def write_source(source, big_mb):
    """The release as a maker hands it to tools/publish-release.py."""
    catalogue = ['; Tavro MP3 LiveUpdate catalogue: [model] and one key per firmware version']
    write_bytes(os.path.join(source, 'index.html'), home_page().encode(CODEPAGE))
    for m, (model, versions) in enumerate(MODELS):
        catalogue.append(f'[{model}]')
        for v, (version, date, size_kb, notes) in enumerate(versions):
            catalogue.append(f'{version}={date}')
            write_bytes(os.path.join(source, model, version + '.htm'),
                        notes_page(model, version, date, notes).encode(CODEPAGE))
            make_zip(os.path.join(source, model, version + '.zip'),
                     firmware_files(m * 100 + v, size_kb or big_mb * 1024))
    write_bytes(os.path.join(source, 'catalogue.ini'), crlf(catalogue).encode('utf-8'))


def generate(out, big_mb, key_dir):
    key = demo_key(key_dir)
    publisher = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'publish-release.py')
    with tempfile.TemporaryDirectory() as source:
        write_source(source, big_mb)
        result = subprocess.run([sys.executable, publisher, source, out, '--key', key, '--print-json'],
                                check=True, stdout=subprocess.PIPE)
    return json.loads(result.stdout)


def main():
    parser = argparse.ArgumentParser(description='Generates the demo update site.')
    parser.add_argument('output')
    parser.add_argument('--big-mb', type=int, default=30)
    parser.add_argument('--models-json', action='store_true')
    parser.add_argument('--key-dir')
    args = parser.parse_args()
    for tool, package in (('zip', 'zip'), ('minisign', 'minisign')):
        if shutil.which(tool) is None:
            sys.exit(f'make-demo-site: {tool} is needed (apt-get install {package})')
    summary = generate(args.output, args.big_mb, args.key_dir or args.output.rstrip('/') + '.key')
    if args.models_json:
        print(json.dumps(summary, ensure_ascii=False))
    else:
        for item in summary:
            print(f"{item['package']}.zip  {item['zip_size']:>10} bytes")


if __name__ == '__main__':
    main()
