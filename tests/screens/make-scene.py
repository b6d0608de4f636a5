#!/usr/bin/env python3
"""Draws tests/screens/scene.png, the still picture the screen states are shot over: a dark
scene of flat shapes (a wall, a door, a lit window, a lamp), so the screenshots compress well
and every frame is the same. Standard library only; the same script always gives the same bytes."""
import struct
import sys
import zlib

W, H = 160, 120
img = [[(10, 12, 20)] * W for _ in range(H)]


def rect(x0, y0, x1, y1, rgb):
    for y in range(y0, y1):
        img[y][x0:x1] = [rgb] * (x1 - x0)


def disc(cx, cy, r, rgb):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                img[y][x] = rgb


rect(0, 80, W, H, (22, 20, 18))      # street
rect(20, 30, 90, 80, (28, 26, 30))   # wall
rect(35, 55, 50, 80, (14, 12, 10))   # door
rect(60, 40, 78, 55, (90, 80, 40))   # lit window
rect(110, 20, 113, 80, (30, 30, 30)) # lamp post
disc(111, 18, 6, (140, 130, 90))     # lamp

raw = b''.join(b'\0' + bytes(c for px in row for c in px) for row in img)


def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))


out = sys.argv[1] if len(sys.argv) > 1 else 'scene.png'
with open(out, 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', W, H, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
