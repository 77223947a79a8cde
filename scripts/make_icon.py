#!/usr/bin/env python3
"""Draws the application icon of KosmaraExport.exe and writes ui/kosmara_export.ico.

The picture: a horoscope wheel (gold rim on night blue, gold spokes) in front
of a white page with a folded corner, and a green arrow that leads from the
wheel across the page to the right: a chart becoming a file.

Each size is drawn on its own from the same geometry, with line widths held at
a pixel or more and thin lines on whole pixels, so the small sizes stay sharp
instead of being shrunk from the large one: 16 and 20 px show the chart's
four axes crossing; 24 px adds the inner circle; 32 px and up show the twelve
houses and lines of text on the page; 48 px and up a star in the middle.

Only the standard library is used: every shape is a signed distance (positive
inside, in pixels), pixels near an edge are sampled 5 x 5 times, shapes are
composited with premultiplied alpha, and the PNG and ICO bytes are written
here. 256 px goes into the ICO as PNG, every other size as a 32-bit BMP with
alpha and its AND mask. The output is the same on every run.

Usage: python3 scripts/make_icon.py [--preview FOLDER]
  --preview also writes icon-<size>.png for every size and sheet.png (every
  size side by side, then the sizes up to 32 px magnified eight times) there.
"""
import math
import pathlib
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_SIZES = {256}
SAMPLES = 5

# Colours, straight RGB.
NIGHT = (0x1C, 0x2A, 0x5E)
GOLD = (0xE8, 0xB2, 0x2C)
PAGE = (0xFF, 0xFF, 0xFF)
PAGE_EDGE = (0x55, 0x60, 0x75)
FOLD = (0xC9, 0xD1, 0xDE)
TEXT_LINE = (0x9A, 0xA4, 0xB6)
ARROW = (0x2B, 0xA8, 0x4A)
ARROW_EDGE = (0x16, 0x64, 0x2B)


# --- Shapes: each a signed distance function and a bounding box (x0, y0, x1, y1) in pixels.

class Shape:
    def __init__(self, distance, box):
        self.distance = distance
        self.box = box


def disc(cx, cy, r):
    return Shape(lambda x, y: r - math.hypot(x - cx, y - cy), (cx - r, cy - r, cx + r, cy + r))


def ring(cx, cy, r_outer, r_inner):
    def distance(x, y):
        d = math.hypot(x - cx, y - cy)
        return min(r_outer - d, d - r_inner)
    return Shape(distance, (cx - r_outer, cy - r_outer, cx + r_outer, cy + r_outer))


def bar(x0, y0, x1, y1, width):
    """A segment with square ends, `width` wide."""
    length = math.hypot(x1 - x0, y1 - y0)
    ux, uy = (x1 - x0) / length, (y1 - y0) / length
    half = width / 2

    def distance(x, y):
        along = (x - x0) * ux + (y - y0) * uy
        across = abs(-(x - x0) * uy + (y - y0) * ux)
        return min(along, length - along, half - across)
    pad = half + 1
    return Shape(distance, (min(x0, x1) - pad, min(y0, y1) - pad, max(x0, x1) + pad, max(y0, y1) + pad))


def polygon(points, inset=0.0):
    """A convex polygon (points in either order), shrunk by `inset` pixels on every side."""
    mx = sum(p[0] for p in points) / len(points)
    my = sum(p[1] for p in points) / len(points)
    edges = []
    for i in range(len(points)):
        (ax, ay), (bx, by) = points[i - 1], points[i]
        length = math.hypot(bx - ax, by - ay)
        nx, ny = (ay - by) / length, (bx - ax) / length
        if (mx - ax) * nx + (my - ay) * ny < 0:   # turn the normal inwards: the centre lies inside
            nx, ny = -nx, -ny
        edges.append((ax, ay, nx, ny))

    def distance(x, y):
        return min((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges) - inset
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(distance, (min(xs) - 1, min(ys) - 1, max(xs) + 1, max(ys) + 1))


def union(*shapes):
    return Shape(lambda x, y: max(s.distance(x, y) for s in shapes),
                 (min(s.box[0] for s in shapes), min(s.box[1] for s in shapes),
                  max(s.box[2] for s in shapes), max(s.box[3] for s in shapes)))


# --- Canvas: premultiplied RGBA floats.

class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def coverage(self, shape, px, py):
        d = shape.distance(px + 0.5, py + 0.5)
        if d >= 0.75:
            return 1.0
        if d <= -0.75:
            return 0.0
        inside = 0
        for i in range(SAMPLES):
            for j in range(SAMPLES):
                if shape.distance(px + (i + 0.5) / SAMPLES, py + (j + 0.5) / SAMPLES) > 0:
                    inside += 1
        return inside / (SAMPLES * SAMPLES)

    def fill(self, shape, colour, opacity=1.0):
        x0, y0, x1, y1 = shape.box
        r, g, b = (c / 255 for c in colour)
        for py in range(max(0, math.floor(y0)), min(self.size, math.ceil(y1) + 1)):
            for px in range(max(0, math.floor(x0)), min(self.size, math.ceil(x1) + 1)):
                a = self.coverage(shape, px, py) * opacity
                if a == 0.0:
                    continue
                p = self.pixels[py * self.size + px]
                keep = 1.0 - a
                p[0] = r * a + p[0] * keep
                p[1] = g * a + p[1] * keep
                p[2] = b * a + p[2] * keep
                p[3] = a + p[3] * keep

    def rgba(self):
        """Straight (not premultiplied) RGBA bytes, rows top to bottom."""
        out = bytearray()
        for r, g, b, a in self.pixels:
            if a <= 0.0:
                out += b"\0\0\0\0"
                continue
            out += bytes(min(255, round(c / a * 255)) for c in (r, g, b))
            out.append(min(255, round(a * 255)))
        return bytes(out)


# --- The picture.

def draw(size):
    s = float(size)
    canvas = Canvas(size)
    line = max(1.0, s / 48)          # a hairline: one pixel up to 48 px

    # The page, standing at the right behind the wheel, its top right corner folded.
    px0, py0, px1, py1 = 0.40 * s, 0.06 * s, 0.94 * s, 0.95 * s
    fold = 0.22 * s
    outline = [(px0, py0), (px1 - fold, py0), (px1, py0 + fold), (px1, py1), (px0, py1)]
    corner = [(px1 - fold, py0), (px1 - fold, py0 + fold), (px1, py0 + fold)]
    canvas.fill(polygon(outline), PAGE_EDGE)
    canvas.fill(polygon(outline, inset=line), PAGE)
    canvas.fill(polygon(corner), PAGE_EDGE)
    canvas.fill(polygon(corner, inset=line), FOLD)
    if size >= 32:
        # Lines of text beside the wheel, each on whole pixels.
        width = max(1, round(s / 32))
        for k in range(3):
            y = round(py0 + fold + (k + 0.7) * 0.09 * s) + width % 2 / 2
            canvas.fill(bar(round(0.75 * s), y, round(px1 - 0.07 * s), y, width), TEXT_LINE)

    # The wheel: gold rim, night-blue field, gold inner circle, the house spokes.
    cx, cy = 0.37 * s, 0.42 * s
    if line == 1.0:
        # Centred on a pixel, so the one-pixel axes cover whole pixels instead of smearing over two.
        cx, cy = math.floor(cx) + 0.5, math.floor(cy) + 0.5
    radius = 0.35 * s
    rim = max(1.25, 0.065 * s)
    inner = 0.40 * radius
    canvas.fill(disc(cx, cy, radius + line), PAGE)           # a light edge parts it from the page
    canvas.fill(disc(cx, cy, radius), GOLD)
    canvas.fill(disc(cx, cy, radius - rim), NIGHT)
    # Up to 24 px the four axes of the chart, crossing in the middle; above, the twelve houses around an
    # inner circle.
    spokes = 4 if size < 32 else 12
    start = 0.0 if size < 24 else inner
    for k in range(spokes):
        angle = 2 * math.pi * k / spokes
        dx, dy = math.cos(angle), math.sin(angle)
        end = radius - rim / 2
        canvas.fill(bar(cx + dx * start, cy + dy * start, cx + dx * end, cy + dy * end, line), GOLD)
    if size >= 24:
        canvas.fill(ring(cx, cy, inner + line / 2, inner - line / 2), GOLD)
    if size >= 48:
        # A four-pointed star in the middle.
        arm, waist = 0.70 * inner, 0.17 * inner
        canvas.fill(union(polygon([(cx - arm, cy), (cx, cy - waist), (cx + arm, cy), (cx, cy + waist)]),
                          polygon([(cx, cy - arm), (cx + waist, cy), (cx, cy + arm), (cx - waist, cy)])), GOLD)
    elif size >= 24:
        canvas.fill(disc(cx, cy, max(1.0, 0.3 * inner)), GOLD)

    # The arrow from the wheel onto the page, pointing right; its axis on whole pixels.
    shaft_half = max(1.0, round(0.07 * s))
    axis = round(0.76 * s)
    tip = (0.96 * s, axis)
    length = 0.52 * s
    head_length, head_half = 0.26 * s, 0.18 * s
    ux, uy = 1.0, 0.0                        # direction of the arrow
    nx, ny = -uy, ux                         # across it
    base = (tip[0] - ux * head_length, tip[1] - uy * head_length)
    tail = (tip[0] - ux * length, tip[1] - uy * length)

    def at(point, across):
        return (point[0] + nx * across, point[1] + ny * across)
    head = [tip, at(base, head_half), at(base, -head_half)]
    overlap = (base[0] + ux * 0.02 * s, base[1] + uy * 0.02 * s)
    shaft = [at(tail, shaft_half), at(overlap, shaft_half), at(overlap, -shaft_half), at(tail, -shaft_half)]
    edge = max(1.0, s / 40)
    canvas.fill(union(polygon(head, inset=-edge), polygon(shaft, inset=-edge)), ARROW_EDGE)
    canvas.fill(union(polygon(head), polygon(shaft)), ARROW)
    return canvas.rgba()


# --- File formats.

def png(size, rgba):
    return png_rect(size, size, rgba)


def bmp(size, rgba):
    """An icon image: BITMAPINFOHEADER (twice the height: colour, then mask), BGRA rows bottom up, AND mask."""
    colour = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            colour += bytes((b, g, r, a))
    mask_stride = (size + 31) // 32 * 4
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(mask_stride)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def ico(images):
    """images: (size, bytes) pairs. ICONDIR, one ICONDIRENTRY each, then the images."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def sheet(pictures):
    """Every size side by side on a light grey ground, then the small ones magnified eight times."""
    gap, zoom = 8, 8
    small = [(size, rgba) for size, rgba in pictures if size <= 32]
    width = max(gap + sum(size + gap for size, _ in pictures), gap + sum(size * zoom + gap for size, _ in small))
    height = gap + 256 + gap + 32 * zoom + gap
    ground = (0xE6, 0xE6, 0xE6)
    canvas = bytearray(bytes(ground) + b"\xff") * (width * height)

    def put(left, top, size, rgba, factor):
        for y in range(size * factor):
            for x in range(size * factor):
                r, g, b, a = rgba[((y // factor) * size + x // factor) * 4:][:4]
                i = ((top + y) * width + left + x) * 4
                canvas[i:i + 3] = bytes(round((c * a + k * (255 - a)) / 255) for c, k in zip((r, g, b), ground))
    left = gap
    for size, rgba in pictures:
        put(left, gap + 256 - size, size, rgba, 1)
        left += size + gap
    left = gap
    for size, rgba in small:
        put(left, gap + 256 + gap, size, rgba, zoom)
        left += size * zoom + gap
    return png_rect(width, height, bytes(canvas))


def png_rect(width, height, rgba):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    stride = width * 4
    raw = b"".join(b"\0" + rgba[y * stride:(y + 1) * stride] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(argv):
    preview = None
    if len(argv) == 2 and argv[0] == "--preview":
        preview = pathlib.Path(argv[1])
    elif argv:
        sys.exit(__doc__)
    pictures = [(size, draw(size)) for size in SIZES]
    images = [(size, png(size, rgba) if size in PNG_SIZES else bmp(size, rgba)) for size, rgba in pictures]
    target = pathlib.Path(__file__).resolve().parent.parent / "ui" / "kosmara_export.ico"
    target.write_bytes(ico(images))
    print(f"{target}: {', '.join(str(size) for size in SIZES)} px")
    if preview:
        preview.mkdir(parents=True, exist_ok=True)
        for size, rgba in pictures:
            (preview / f"icon-{size}.png").write_bytes(png(size, rgba))
        (preview / "sheet.png").write_bytes(sheet(pictures))
        print(f"{preview}: icon-<size>.png, sheet.png")


if __name__ == "__main__":
    main(sys.argv[1:])
