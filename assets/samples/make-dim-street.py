#!/usr/bin/env python3
"""Draws assets/samples/dim-street.png: a dark street at night (mean brightness about 20/255).

Sky gradient, moon, buildings with a few lit windows, a street lamp with its glow, a shop sign,
the road, and faint sensor noise. Deterministic: the same script always gives the same bytes.
Only the standard library is used (zlib for the PNG stream).
"""
import random
import struct
import sys
import zlib

W, H = 640, 480
random.seed(7)
img = [[[0, 0, 0] for _ in range(W)] for _ in range(H)]


def put(x, y, rgb, alpha=1.0):
    if 0 <= x < W and 0 <= y < H:
        p = img[y][x]
        for i in range(3):
            p[i] = p[i] * (1 - alpha) + rgb[i] * alpha


def rect(x0, y0, x1, y1, rgb):
    for y in range(max(0, y0), min(H, y1)):
        for x in range(max(0, x0), min(W, x1)):
            img[y][x] = list(rgb)


def glow(cx, cy, radius, rgb, strength):
    for y in range(max(0, cy - radius), min(H, cy + radius)):
        for x in range(max(0, cx - radius), min(W, cx + radius)):
            d2 = ((x - cx) ** 2 + (y - cy) ** 2) / float(radius * radius)
            if d2 < 1.0:
                a = strength * (1.0 - d2) ** 2
                p = img[y][x]
                for i in range(3):
                    p[i] = min(255.0, p[i] + rgb[i] * a)


# Sky: a dark blue gradient, a little lighter at the horizon.
for y in range(H):
    t = y / (H - 1.0)
    for x in range(W):
        img[y][x] = [12 + 10 * t, 14 + 10 * t, 24 + 8 * t]
# Moon.
glow(520, 70, 60, (40, 40, 34), 1.0)
for y in range(50, 92):
    for x in range(500, 542):
        if (x - 521) ** 2 + (y - 71) ** 2 < 18 ** 2:
            img[y][x] = [110, 110, 96]
# Buildings with windows; a few are lit.
buildings = [(0, 150, 120), (120, 210, 90), (210, 120, 130), (340, 180, 110), (450, 230, 80), (530, 170, 110)]
for x0, top, w in buildings:
    shade = 15 + random.randint(0, 5)
    rect(x0, top, x0 + w, 380, (shade, shade, shade + 3))
    for wy in range(top + 14, 360, 26):
        for wx in range(x0 + 10, x0 + w - 16, 22):
            lit = random.random() < 0.18
            colour = (70, 58, 30) if lit else (5, 5, 8)
            rect(wx, wy, wx + 12, wy + 14, colour)
            if lit:
                glow(wx + 6, wy + 7, 16, (30, 24, 10), 0.5)
# Road and pavement.
rect(0, 380, W, H, (17, 17, 19))
rect(0, 380, W, 392, (16, 16, 17))
for x in range(20, W, 90):
    rect(x, 440, x + 45, 446, (26, 26, 22))
# Street lamp: pole, head and a warm pool of light.
rect(300, 250, 304, 392, (20, 20, 22))
rect(288, 244, 318, 252, (26, 26, 26))
glow(303, 256, 30, (120, 100, 60), 1.0)
glow(303, 400, 110, (40, 32, 18), 0.8)

# A shop sign with dim red text.
FONT = {
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "G": ["01111", "10000", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    " ": ["00000"] * 7,
}
rect(360, 300, 540, 340, (14, 10, 12))
text, scale, x = "NIGHT CAFE", 3, 368
for ch in text:
    for row, bits in enumerate(FONT[ch]):
        for col, bit in enumerate(bits):
            if bit == "1":
                rect(x + col * scale, 310 + row * scale, x + (col + 1) * scale, 310 + (row + 1) * scale, (90, 22, 24))
    x += 6 * scale
glow(450, 320, 70, (30, 6, 8), 0.6)

# Sensor noise, small so the file stays small.
rows = []
total = 0
for y in range(H):
    row = bytearray([1])  # PNG filter "Sub": each byte minus the byte one pixel to the left
    prev = [0, 0, 0]
    for x in range(W):
        n = random.choice((-1, 0, 0, 1))
        for i in range(3):
            v = max(0, min(255, int(img[y][x][i] + n)))
            total += v
            row.append((v - prev[i]) & 0xFF)
            prev[i] = v
    rows.append(bytes(row))


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
out = sys.argv[1] if len(sys.argv) > 1 else "dim-street.png"
with open(out, "wb") as f:
    f.write(png)
print("%s: %d bytes, mean brightness %.1f" % (out, len(png), total / (W * H * 3.0)))
