#!/usr/bin/env python3
"""Generates Vastrel's icon, About logo and sounds (standard library only).

Run from anywhere; the files land next to this script:
  icons/vastrel-{16,32,48,64,128,256}.png, images/logo.png,
  sounds/ALARM.wav, sounds/default.wav
The output is deterministic, so re-running it changes nothing.
"""
import math
import os
import struct
import wave
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
RATE = 44100

# Colours (r, g, b) of the badge.
TEAL_TOP = (38, 120, 150)
TEAL_BOTTOM = (18, 70, 96)
HANDSET = (250, 250, 245)
AMBER = (255, 186, 48)
DIAL_RIM = (210, 222, 230)


# ---------------------------------------------------------------- shapes
# Each shape is a signed distance in unit coordinates (0..1, y down):
# negative inside. Pixels are supersampled for anti-aliasing.

def rounded_rect(px, py, cx, cy, hw, hh, r):
    qx = abs(px - cx) - hw + r
    qy = abs(py - cy) - hh + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def rotated_rounded_rect(px, py, cx, cy, hw, hh, r, angle):
    c, s = math.cos(-angle), math.sin(-angle)
    dx, dy = px - cx, py - cy
    return rounded_rect(dx * c - dy * s, dx * s + dy * c, 0, 0, hw, hh, r)


def arc_band(px, py, cx, cy, radius, half_width, a0, a1):
    """A ring segment between angles a0..a1 (radians, y down)."""
    a = math.atan2(py - cy, px - cx)
    if a0 <= a <= a1:
        return abs(math.hypot(px - cx, py - cy) - radius) - half_width
    ends = [(cx + radius * math.cos(t), cy + radius * math.sin(t)) for t in (a0, a1)]
    return min(math.hypot(px - ex, py - ey) for ex, ey in ends) - half_width


def circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def handset(px, py, cx, cy, size):
    """The telephone handset: an arched grip with an ear and a mouth cup."""
    radius = 0.30 * size
    mid_y = cy + 0.16 * size
    a0, a1 = math.radians(-155), math.radians(-25)
    grip = arc_band(px, py, cx, mid_y, radius, 0.06 * size, a0, a1)
    cups = []
    for t in (a0, a1):
        ex = cx + (radius + 0.02 * size) * math.cos(t)
        ey = mid_y + (radius + 0.02 * size) * math.sin(t) + 0.07 * size
        cups.append(rotated_rounded_rect(px, py, ex, ey, 0.065 * size, 0.11 * size,
                                         0.05 * size, t + math.pi / 2))
    return min([grip] + cups)


def gauge_bars(px, py, x0, base, width, heights):
    d = 1e9
    for i, h in enumerate(heights):
        cx = x0 + i * width * 1.6
        d = min(d, rounded_rect(px, py, cx, base - h / 2, width / 2, h / 2, width * 0.3))
    return d


# ---------------------------------------------------------------- raster

def blend(dst, src, alpha):
    if alpha <= 0:
        return dst
    r, g, b, a = dst
    out_a = alpha + a * (1 - alpha)
    if out_a <= 0:
        return (0, 0, 0, 0)
    mix = [(src[i] * alpha + dst[i] * a * (1 - alpha)) / out_a for i in range(3)]
    return (mix[0], mix[1], mix[2], out_a)


def render(size, layers, samples=4):
    """layers: list of (distance(px, py), colour(px, py)); drawn in order."""
    rows = []
    n = samples
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    px = (x + (sx + 0.5) / n) / size
                    py = (y + (sy + 0.5) / n) / size
                    pix = (0.0, 0.0, 0.0, 0.0)
                    for dist, colour in layers:
                        if dist(px, py) < 0:
                            pix = blend(pix, colour(px, py), 1.0)
                    for i in range(3):
                        acc[i] += pix[i] * pix[3]
                    acc[3] += pix[3]
            a = acc[3] / (n * n)
            if acc[3] > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append(tuple(int(round(min(255, max(0, c)))) for c in rgb) +
                       (int(round(a * 255)),))
        rows.append(row)
    return rows


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def vertical_gradient(top, bottom):
    def colour(_px, py):
        t = min(1.0, max(0.0, py))
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))
    return colour


def solid(rgb):
    return lambda _px, _py: rgb


def icon_layers():
    return [
        (lambda x, y: rounded_rect(x, y, 0.5, 0.5, 0.47, 0.47, 0.16),
         vertical_gradient(TEAL_TOP, TEAL_BOTTOM)),
        (lambda x, y: handset(x, y, 0.50, 0.30, 1.0), solid(HANDSET)),
        (lambda x, y: gauge_bars(x, y, 0.28, 0.86, 0.10, (0.12, 0.20, 0.28)), solid(AMBER)),
    ]


def logo_layers():
    """A dial face: the handset in the middle, the gauge needle above."""
    def needle(x, y):
        angle = math.radians(-50)
        return rotated_rounded_rect(x, y, 0.5 + 0.16 * math.sin(angle), 0.5 - 0.16 * math.cos(angle),
                                    0.022, 0.17, 0.02, angle)

    def ticks(x, y):
        d = 1e9
        for k in range(9):
            a = math.radians(-120 + k * 30)
            cx, cy = 0.5 + 0.36 * math.sin(a), 0.5 - 0.36 * math.cos(a)
            d = min(d, rotated_rounded_rect(x, y, cx, cy, 0.012, 0.035, 0.01, a))
        return d

    return [
        (lambda x, y: circle(x, y, 0.5, 0.5, 0.48), solid(DIAL_RIM)),
        (lambda x, y: circle(x, y, 0.5, 0.5, 0.44), vertical_gradient(TEAL_TOP, TEAL_BOTTOM)),
        (ticks, solid(DIAL_RIM)),
        (needle, solid(AMBER)),
        (lambda x, y: circle(x, y, 0.5, 0.5, 0.04), solid(AMBER)),
        (lambda x, y: handset(x, y, 0.5, 0.60, 0.50), solid(HANDSET)),
    ]


# ---------------------------------------------------------------- sounds

def tone_samples(parts, count, amplitude, fade):
    """parts: list of (frequency, share of the length); a raised-cosine fade
    at both ends and across every change of pitch keeps it click-free."""
    out = []
    bounds = []
    start = 0
    for freq, share in parts:
        n = int(round(count * share))
        bounds.append((start, start + n, freq))
        start += n
    bounds[-1] = (bounds[-1][0], count, bounds[-1][2])
    fade_n = int(RATE * fade)
    for i in range(count):
        for lo, hi, freq in bounds:
            if lo <= i < hi:
                break
        env = 1.0
        edge = min(i - lo, hi - 1 - i)
        if edge < fade_n:
            env = 0.5 - 0.5 * math.cos(math.pi * edge / fade_n)
        t = i / RATE
        value = math.sin(2 * math.pi * freq * t) + 0.25 * math.sin(4 * math.pi * freq * t)
        out.append(int(round(amplitude * env * value / 1.25 * 32767)))
    return out


def write_wave(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples))


def main():
    for sub in ("icons", "images", "sounds"):
        os.makedirs(os.path.join(HERE, sub), exist_ok=True)
    for size in (16, 32, 48, 64, 128, 256):
        samples = 8 if size <= 32 else 3 if size <= 64 else 2
        write_png(os.path.join(HERE, "icons", "vastrel-%d.png" % size),
                  render(size, icon_layers(), samples))
    write_png(os.path.join(HERE, "images", "logo.png"), render(96, logo_layers(), 4))
    # The alarm: 17,512 bytes of 16-bit mono samples, a falling two-tone.
    write_wave(os.path.join(HERE, "sounds", "ALARM.wav"),
               tone_samples([(988.0, 0.5), (784.0, 0.5)], 17512 // 2, 0.55, 0.006))
    # The default notification sound: one soft 0.15 s tone.
    write_wave(os.path.join(HERE, "sounds", "default.wav"),
               tone_samples([(660.0, 1.0)], int(RATE * 0.15), 0.30, 0.02))


if __name__ == "__main__":
    main()
