#!/usr/bin/env python3
"""Draws the splash picture of Tavro LiveUpdate and writes it as src/app/assets/splash.bmp.

The file is a Windows device-independent bitmap: 504 x 275 pixels, 16 bits per pixel with
BI_BITFIELDS masks 0x7C00 / 0x03E0 / 0x001F (5-5-5), rows bottom-up, 277,266 bytes.
The top right corner (x >= 392, y <= 44, lower left edge rounded) is plain white: the version label sits there.
Only the standard library is used; the output is deterministic.

Usage: tools/make-splash.py [output-path]
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 504, 275
WHITE_X, WHITE_Y = 392, 44          # the label (424,8 65x13) sits well inside this corner
SAMPLES = 3                         # supersampling per axis, for smooth edges


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def smooth_cover(d, width=0.7):
    """Coverage of a shape from its signed distance (negative inside)."""
    return max(0.0, min(1.0, 0.5 - d / width))


def rounded_box(px, py, cx, cy, hw, hh, r):
    qx = abs(px - cx) - hw + r
    qy = abs(py - cy) - hh + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


# Palette
NAVY = (12, 28, 64)
TEAL = (24, 132, 150)
ORANGE = (255, 150, 40)
BODY = (236, 240, 246)
BODY_EDGE = (160, 172, 190)
SCREEN = (18, 36, 58)
SCREEN_GLOW = (60, 220, 200)
WHEEL = (205, 212, 224)
WHITE = (255, 255, 255)

BOKEH = [(300, 70, 38, 0.10), (350, 210, 55, 0.08), (460, 150, 30, 0.12),
         (250, 240, 22, 0.10), (40, 40, 26, 0.07), (420, 245, 18, 0.14),
         (200, 30, 16, 0.09)]

PLAYER = (120, 140, 56, 96, 18)      # centre x, centre y, half width, half height, radius


def background(x, y):
    # diagonal gradient, navy at the top left to teal at the bottom right, with a warm glow
    t = (x / WIDTH) * 0.55 + (y / HEIGHT) * 0.45
    c = mix(NAVY, TEAL, t)
    glow = math.exp(-((x - 360) ** 2 + (y - 175) ** 2) / (2 * 110.0 ** 2))
    c = mix(c, ORANGE, 0.22 * glow)
    for bx, by, br, a in BOKEH:
        cov = smooth_cover(circle(x, y, bx, by, br), 3.0)
        c = mix(c, WHITE, a * cov)
    # sound waves spreading out from the player
    cx, cy = PLAYER[0], PLAYER[1]
    d = math.hypot(x - cx, y - cy)
    ang = math.atan2(y - cy, x - cx)
    if abs(ang) < 0.55 and x > cx + 70:
        for k, r in enumerate((100, 128, 156, 184)):
            ring = smooth_cover(abs(d - r) - 2.2)
            fade = (1.0 - abs(ang) / 0.55) * (0.85 - 0.15 * k)
            c = mix(c, SCREEN_GLOW, ring * fade)
    # equaliser bars along the bottom
    if y > 205 and 215 <= x < 390:
        i = (x - 215) // 7
        if (x - 215) % 7 < 5:
            h = 12 + 48 * abs(math.sin(i * 0.9) * math.cos(i * 0.37))
            top = 262 - h
            if top <= y <= 262:
                c = mix(c, mix(SCREEN_GLOW, ORANGE, (262 - y) / 60.0), 0.75)
    return c


def player(x, y, c):
    cx, cy, hw, hh, r = PLAYER
    # soft shadow
    sh = rounded_box(x, y, cx + 6, cy + 8, hw, hh, r)
    c = mix(c, (0, 0, 0), 0.35 * smooth_cover(sh, 10.0))
    # body with a rim
    body = rounded_box(x, y, cx, cy, hw, hh, r)
    cov = smooth_cover(body)
    if cov > 0:
        shade = mix(BODY, (200, 208, 222), (y - (cy - hh)) / (2 * hh))
        inner = smooth_cover(body + 2.0)
        c = mix(c, mix(BODY_EDGE, shade, inner), cov)
    # screen
    scr = rounded_box(x, y, cx, cy - 42, hw - 10, 34, 5)
    cov = smooth_cover(scr)
    if cov > 0:
        s = mix(SCREEN, (30, 70, 96), (y - (cy - 76)) / 68.0)
        # a little waveform on the screen
        wy = cy - 42 + 14 * math.sin((x - cx) * 0.22) * math.exp(-((x - cx) / 28.0) ** 2)
        s = mix(s, SCREEN_GLOW, smooth_cover(abs(y - wy) - 1.0))
        # progress strip
        if cy - 18 <= y <= cy - 15 and cx - 38 <= x <= cx + 38:
            s = mix(s, ORANGE if x < cx + 8 else (70, 90, 110), 1.0)
        c = mix(c, s, cov)
    # click wheel
    wheel = circle(x, y, cx, cy + 44, 34)
    cov = smooth_cover(wheel)
    if cov > 0:
        w = mix(WHEEL, (180, 188, 204), (y - (cy + 10)) / 68.0)
        c = mix(c, w, cov)
        hub = circle(x, y, cx, cy + 44, 12)
        c = mix(c, BODY, smooth_cover(hub))
        c = mix(c, BODY_EDGE, smooth_cover(abs(hub) - 0.6) * 0.8)
        # play triangle and the four marks
        tx, ty = x - (cx + 2), y - (cy + 44 + 24)
        if -4 <= tx <= 4 and abs(ty) <= (4 - tx) * 0.6:
            c = mix(c, (90, 100, 120), 1.0)
        for mx, my in ((0, -24), (-24, 0), (24, 0)):
            c = mix(c, (90, 100, 120), smooth_cover(circle(x, y, cx + mx, cy + 44 + my, 2.4)))
    # earphone cable from the top of the player
    if y < cy - hh + 2:
        cable_x = cx + 18 + 30 * math.sin((y - (cy - hh)) * 0.035)
        c = mix(c, (230, 234, 240), smooth_cover(abs(x - cable_x) - 1.2))
    return c


def note(x, y, c, nx, ny, scale, alpha):
    # a quaver: an oval head, a stem and a flag
    hx, hy = (x - nx) / scale, (y - ny) / scale
    head = math.hypot(hx / 1.3, hy) - 5.0
    cov = smooth_cover(head * scale)
    stem = max(abs(hx - 5.6) - 1.2, -(hy + 30), hy)
    cov = max(cov, smooth_cover(stem * scale))
    flag = max(abs(hx - 10 + 0.2 * (hy + 30)) - 1.5, -(hy + 30), hy + 18)
    cov = max(cov, smooth_cover(flag * scale))
    return mix(c, WHITE, cov * alpha)


def pixel(x, y):
    c = background(x, y)
    c = player(x, y, c)
    c = note(x, y, c, 255, 120, 1.2, 0.85)
    c = note(x, y, c, 300, 160, 0.9, 0.6)
    c = note(x, y, c, 230, 175, 0.7, 0.45)
    # the white corner for the version label, with a rounded lower left edge
    corner = rounded_box(x, y, WHITE_X + 100, WHITE_Y / 2 - 40, 100, WHITE_Y / 2 + 40, 14)
    c = mix(c, WHITE, smooth_cover(corner))
    return c


def render():
    rows = []
    step = 1.0 / SAMPLES
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            if x >= WHITE_X + 8 and y <= WHITE_Y - 4:   # plainly inside the corner
                row.append(WHITE)
                continue
            r = g = b = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    pr, pg, pb = pixel(x + (sx + 0.5) * step, y + (sy + 0.5) * step)
                    r += pr
                    g += pg
                    b += pb
            n = SAMPLES * SAMPLES
            row.append((r / n, g / n, b / n))
        rows.append(row)
    return rows


def to555(c, x, y):
    # ordered dithering keeps the gradients smooth at 5 bits per channel
    bayer = ((0, 8, 2, 10), (12, 4, 14, 6), (3, 11, 1, 9), (15, 7, 13, 5))
    bias = (bayer[y & 3][x & 3] + 0.5) / 16.0
    out = []
    for v in c:
        if v >= 255:
            out.append(31)
        else:
            out.append(min(31, int(v / 255.0 * 31 + bias)))
    return (out[0] << 10) | (out[1] << 5) | out[2]


def encode(rows):
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):           # bottom-up
        row = rows[y]
        for x in range(WIDTH):
            pixels += struct.pack('<H', to555(row[x], x, y))
        pixels += b'\0' * ((-len(pixels)) % 4)    # rows padded to 4 bytes (none at this width)
    masks = struct.pack('<III', 0x7C00, 0x03E0, 0x001F)
    offset = 14 + 40 + len(masks)
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 16, 3, len(pixels),
                       2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    data = header + info + masks + bytes(pixels)
    assert len(data) == 277266, len(data)
    return data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'app', 'assets', 'splash.bmp')
    data = encode(render())
    tmp = out + '.tmp'
    with open(tmp, 'wb') as f:
        f.write(data)
    os.replace(tmp, out)
    print(f'{out}: {len(data)} bytes')


if __name__ == '__main__':
    main()
