#!/usr/bin/python3
"""Recomputes from the formulas alone every output in test_reference's records (bytes in hex);
prints "ok" and the record counts, or the first mismatches and exits 1."""
import math
import sys


def cdiv(a, b):
    """Integer division truncating toward zero."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def clamp(v, lo=0, hi=255):
    return lo if v < lo else hi if v > hi else v


def signed8(b):
    return b - 256 if b >= 128 else b


class Picture:
    def __init__(self, data):
        self.data = data
        self.width = int.from_bytes(data[4:8], "little", signed=True)
        self.height = int.from_bytes(data[8:12], "little", signed=True)
        assert int.from_bytes(data[0:4], "little") == 40
        assert int.from_bytes(data[14:16], "little") == 24
        self.stride = ((24 * self.width + 31) // 32) * 4

    def pixel(self, column, row):
        o = 40 + row * self.stride + 3 * column
        return self.data[o], self.data[o + 1], self.data[o + 2]


def to_ycc(b, g, r):
    y = int(0.299 * r + 0.587 * g + 0.114 * b + 0.5)
    cb = 0.4997 * b - 0.1686 * r - 0.3311 * g
    cr = 0.4998 * r - 0.4185 * g - 0.0813 * b
    return y, int(cb + math.copysign(0.5, cb)), int(cr + math.copysign(0.5, cr))


def tone_table(lo, scale, k):
    table = []
    for i in range(256):
        x = (i - lo) * scale
        if x < 0:
            v = 0
        elif x < 32:
            v = k * x
        elif x < 128:
            v = x + 32 * k - 32
        elif x <= 255:
            v = (1.25 - 0.25 * k) * x + 64 * k - 64
        else:
            v = (1.25 - 0.25 * k) * 255 + 64 * k - 64
        table.append(clamp(int(v)))
    return table


def render(ycc, table, sharp, sat):
    height, width = len(ycc), len(ycc[0])
    rows = []
    for r in range(height):
        out = bytearray()
        for c in range(width):
            y, cb, cr = ycc[r][c]
            level = table[y]
            d = 0
            if 0 < r < height - 1 and 0 < c < width - 1:
                d = (4 * level - table[ycc[r + 1][c][0]] - table[ycc[r - 1][c][0]]
                     - table[ycc[r][c + 1][0]] - table[ycc[r][c - 1][0]])
                if -2 <= d <= 2:
                    d = 0
            yp = clamp(int(d * sharp + level))
            cbp, crp = int(cb * sat), int(cr * sat)
            red = yp + 1.4026 * crp + 0.5
            green = yp - 0.3444 * cbp - 0.7144 * crp + 0.5
            blue = yp + 1.773 * cbp + 0.5
            out += bytes(int(clamp(v, 0.0, 255.0)) for v in (blue, green, red))
        rows.append(out)
    return rows


def clip_point(histogram, levels, t, none):
    """The level at which the count from the first of levels on reaches t."""
    point, total = none, 0
    for level in levels if t > 0 else []:
        point = level
        total += histogram[level]
        if total >= t:
            break
    return point


def adjust(mode, settings, picture):
    b, c, s, h = settings
    step_x, step_y = picture.width // 160, picture.height // 120
    preview = [[to_ycc(*picture.pixel(i * step_x, j * step_y)) for i in range(160)]
               for j in range(120)]
    n = 160 * 120
    levels = [y for row in preview for y, _, _ in row]
    histogram = [levels.count(v) for v in range(256)]
    t = 2 * n // 2000
    black = min(clip_point(histogram, range(1, 256), t, 0), 50)
    white = max(clip_point(histogram, range(254, -1, -1), t, 255), 205)

    if mode == "manual":
        if black < 255 - white:
            lo = int(black / (255 - white) * c + 0.5)
            hi = 255 - c
        else:
            lo = c
            hi = int(255 - (255 - white) / black * c + 0.5)
        table = tone_table(lo, 255 / (hi - lo), b / 25 + 1)
        sharp, sat = h / 100, (s + 100) / 100
    else:
        c = max(black, 255 - white)
        r0 = white - black
        scale = 255 / r0
        u = r0 / 255
        low = mid = edges = chroma = 0
        for r in range(120):
            for col in range(160):
                y, cb, cr = preview[r][col]
                if black + 10 * u <= y < black + 30 * u:
                    low += 1
                if black + 30 * u <= y < black + 50 * u:
                    mid += 1
                chroma += math.sqrt(cb * cb + cr * cr)
                if 0 < r < 119 and 0 < col < 159:
                    e = (4 * y - preview[r + 1][col][0] - preview[r - 1][col][0]
                         - preview[r][col + 1][0] - preview[r][col - 1][0])
                    if e >= 128:
                        edges += 1
        q = low / mid if mid else 1
        q = min(max(q, 1), 3)
        b = int((q - 1) * 25)
        table = tone_table(black, scale, q)
        m = chroma / n
        g = 1 + 0.06 * m if m < 10 else 2.2 - 0.06 * m if m < 20 else 1
        sat = min(g * scale, 1.3)
        s = int(100 * sat - 100)
        sharp = max(0, 0.12 - 4 * edges / n)
        h = int(100 * sharp)

    whole = [[to_ycc(*picture.pixel(c, r)) for c in range(picture.width)]
             for r in range(picture.height)]
    out = bytearray(picture.data)  # the header and the rows' pad bytes stay
    for r, row in enumerate(render(whole, table, sharp, sat)):
        out[40 + r * picture.stride:40 + r * picture.stride + len(row)] = row
    return bytes(out), (b, c, s, h)


def treat(attribute, picture):
    level = attribute >> 4
    if level == 0:
        return picture.data
    w, h = picture.width, picture.height
    Y, V, U = ([[0] * w for _ in range(h)] for _ in range(3))
    for r in range(h):
        for c in range(w):
            b, g, rd = picture.pixel(c, r)
            y = cdiv(30 * rd + 59 * g + 11 * b, 100)
            dr, db = rd - y, b - y
            v = cdiv(100 * dr + 3 * db, 100)
            u = cdiv(100 * db - 3 * dr, 100)
            Y[r][c], V[r][c], U[r][c] = cdiv(13 * y, 10), cdiv(12 * v, 10), cdiv(12 * u, 10)
    if level >= 5 and w >= 5 and h >= 5:
        r2, c2 = (h - 1) // 2, (w - 1) // 2
        total = count = 0
        for r in range(1, r2):
            for c in range(1, c2):
                e = (4 * Y[2 * r][2 * c] - Y[2 * r - 2][2 * c - 2] - Y[2 * r - 2][2 * c + 2]
                     - Y[2 * r + 2][2 * c - 2] - Y[2 * r + 2][2 * c + 2])
                total += max(e, 0)
                count += 1
        t = 6 * (total // count + 5)
        for r in range(1, h - 1):
            for c in range(1, w - 1):
                g = (abs(Y[r - 1][c] - Y[r + 1][c]) + abs(Y[r][c - 1] - Y[r][c + 1])
                     + abs(Y[r - 1][c - 1] - Y[r + 1][c + 1])
                     + abs(Y[r - 1][c + 1] - Y[r + 1][c - 1]))
                m = (Y[r - 1][c] + Y[r + 1][c] + Y[r][c - 1] + Y[r][c + 1] + Y[r][c]) // 5
                a = clamp(cdiv(100 * g, t) - 50, 0, 100)
                Y[r][c] = ((100 - a) * m + a * Y[r][c]) // 100
    out = bytearray(picture.data)
    for r in range(h):
        for c in range(w):
            y, v, u = Y[r][c], V[r][c], U[r][c]
            o = 40 + r * picture.stride + 3 * c
            out[o] = clamp(y + u)
            out[o + 1] = clamp(cdiv(100 * y - 51 * v - 19 * u, 100))
            out[o + 2] = clamp(y + v)
    return bytes(out)


def live_line(number, even, odd, packet):
    colours = []
    for i in range(112):
        s = packet[i]
        y = s & 0xF0
        nibble = s & 0x0F
        chroma = (nibble - 16 if nibble >= 8 else nibble) * 16
        v, u = (chroma, signed8(odd[i])) if number % 2 == 0 else (signed8(even[i]), chroma)
        colours.append((clamp(y + u), clamp(y - cdiv(v, 2) - cdiv(u, 5)), clamp(y + v)))
    colours.append(colours[111])
    line = bytearray()
    for j in range(56):
        p, q, n = colours[2 * j], colours[2 * j + 1], colours[2 * j + 2]
        line += bytes(p)
        line += bytes((3 * a + 7 * b) // 10 for a, b in zip(p, q))
        line += bytes((7 * a + 3 * b) // 10 for a, b in zip(q, n))
    return bytes(line)


def photo_pixels(packet):
    out = bytearray()
    for group in range(9):
        g = packet[3 + 12 * group:15 + 12 * group]
        va, vb, ua, ub = (signed8(x) for x in g[8:12])
        for i in range(8):
            y = g[i]
            u, v = (ua, va) if i < 4 else (ub, vb)
            out += bytes((clamp(y + 2 * u + cdiv(13 * u, 100)),
                          clamp(y + cdiv(-41 * u, 100) - cdiv(86 * v, 100)),
                          clamp(y + v + cdiv(68 * v, 100))))
    return bytes(out)


def main(path):
    counts = {"adjust": 0, "treat": 0, "live": 0, "photo": 0}
    failures = []
    with open(path) as records:
        for number, text in enumerate(records, 1):
            f = text.split()
            kind, h = f[0], bytes.fromhex
            if kind == "adjust":
                expected, settings = adjust(f[1], tuple(int(x) for x in f[2:6]), Picture(h(f[6])))
                got, derived = h(f[7]), tuple(int(x) for x in f[8].split(","))
                if f[1] == "auto" and derived != settings:
                    failures.append("line %d: settings %s, reference %s" % (number, derived, settings))
            elif kind == "treat":
                expected, got = treat(int(f[1]), Picture(h(f[2]))), h(f[3])
            elif kind == "live":
                expected, got = live_line(int(f[1]), h(f[2]), h(f[3]), h(f[4])), h(f[5])
            else:
                expected, got = photo_pixels(h(f[1])), h(f[2])
            counts[kind] += 1
            if got != expected:
                at = next((i for i, (x, y) in enumerate(zip(got, expected)) if x != y), None)
                failures.append("line %d (%s): byte %s differs, lengths %d and %d"
                                % (number, kind, at, len(got), len(expected)))
    if failures:
        print("\n".join(failures[:20]))
        return 1
    print("ok " + " ".join("%s=%d" % item for item in counts.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
