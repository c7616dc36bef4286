#!/usr/bin/env python3
"""Draws the program's pictures and writes them beside this script.

    app.ico             the program's icon: 16, 20, 24, 32, 40, 48 and 64
                        pixels as 32-bit bitmaps with alpha and an AND mask,
                        256 pixels as PNG
    port_checked.bmp    13 x 13 menu check mark of the port in use (1 bit)
    port_unchecked.bmp  13 x 13 menu check mark of the other ports (1 bit)
    device.bmp          123 x 158, 24 bits: the switch on magenta, which the
                        preferences page leaves unpainted
    tray_dark_taskbar.ico, tray_light_taskbar.ico
                        the tray icon for dark and for light taskbars: 16, 20,
                        24, 32 and 40 pixels (the small-icon sizes at 100, 125,
                        150, 200 and 250 %), 32-bit bitmaps with alpha and mask

and the device picture and the check marks again at 150 and 200 % of those
sizes, for displays scaled that far: device_150.bmp (185 x 237),
device_200.bmp (246 x 316), port_checked_150.bmp (20 x 20), ..._200.bmp
(26 x 26), and port_unchecked_150.bmp, ..._200.bmp alike.

Standard library only, so it runs on a fresh system: python3 draw_art.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

MAGENTA = (255, 0, 255)


# --------------------------------------------------------------------------
# Shapes as signed distance functions: negative inside, positive outside, in
# pixels. A pixel is covered by 0.5 - distance at its centre, which gives one
# pixel of antialiasing and exact edges on whole pixel boundaries.


def rounded_box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    sdf.bounds = (x0, y0, x1, y1)
    return sdf


def circle(cx, cy, radius):
    def sdf(x, y):
        return math.hypot(x - cx, y - cy) - radius

    sdf.bounds = (cx - radius, cy - radius, cx + radius, cy + radius)
    return sdf


def capsule(points, radius):
    """A line through points, radius thick on either side, round ends."""
    segments = list(zip(points, points[1:]))

    def sdf(x, y):
        best = float("inf")
        for (ax, ay), (bx, by) in segments:
            dx, dy = bx - ax, by - ay
            t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
            t = min(max(t, 0.0), 1.0)
            best = min(best, math.hypot(x - ax - t * dx, y - ay - t * dy))
        return best - radius

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    sdf.bounds = (min(xs) - radius, min(ys) - radius, max(xs) + radius, max(ys) + radius)
    return sdf


def polygon(points):
    """Any simple polygon."""
    n = len(points)

    def sdf(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = min(max((wx * ex + wy * ey) / (ex * ex + ey * ey), 0.0), 1.0)
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (bx - ax) * (y - ay) / (by - ay):
                inside = not inside
        return -d if inside else d

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    sdf.bounds = (min(xs), min(ys), max(xs), max(ys))
    return sdf


def intersect(shape, other):
    def sdf(x, y):
        return max(shape(x, y), other(x, y))

    sdf.bounds = shape.bounds
    return sdf


def vertical(top_y, top, bottom_y, bottom):
    """A colour that runs from top to bottom between two heights."""

    def colour(x, y):
        t = min(max((y - top_y) / (bottom_y - top_y), 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))

    return colour


def hexcolour(text):
    return tuple(int(text[i : i + 2], 16) for i in (0, 2, 4))


# --------------------------------------------------------------------------
# A canvas of premultiplied RGBA floats.


class Canvas:
    """Shapes and colours are given in units of the picture at 100 %; a
    canvas of scale 1.5 draws them 1.5 pixels to the unit."""

    def __init__(self, width, height, scale=1.0):
        self.width = width
        self.height = height
        self.scale = scale
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def fill(self, shape, colour, opacity=1.0):
        s = self.scale
        x0, y0, x1, y1 = (v * s for v in shape.bounds)
        paint = colour if callable(colour) else (lambda x, y, c=colour: c)
        for py in range(max(int(y0) - 1, 0), min(int(math.ceil(y1)) + 1, self.height)):
            for px in range(max(int(x0) - 1, 0), min(int(math.ceil(x1)) + 1, self.width)):
                cx, cy = (px + 0.5) / s, (py + 0.5) / s
                cover = min(max(0.5 - shape(cx, cy) * s, 0.0), 1.0) * opacity
                if cover <= 0.0:
                    continue
                r, g, b = paint(cx, cy)
                p = self.pixels[py * self.width + px]
                keep = 1.0 - cover
                p[0] = r * cover + p[0] * keep
                p[1] = g * cover + p[1] * keep
                p[2] = b * cover + p[2] * keep
                p[3] = cover + p[3] * keep

    def rgba(self, px, py):
        """Straight (not premultiplied) colour and alpha, 0..255."""
        r, g, b, a = self.pixels[py * self.width + px]
        if a <= 0.0:
            return (0, 0, 0, 0)
        return tuple(min(255, max(0, round(v))) for v in (r / a, g / a, b / a, a * 255))


# Pixel fonts: 5 x 7 capitals for the port labels, 3 x 5 for the maker's name.
FONT_5X7 = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
}
FONT_3X5 = {
    "P": ["110", "101", "110", "100", "100"],
    "E": ["111", "100", "110", "100", "111"],
    "L": ["100", "100", "100", "100", "111"],
    "O": ["010", "101", "101", "101", "010"],
    "R": ["110", "101", "110", "101", "101"],
    "A": ["010", "101", "111", "101", "101"],
    "N": ["1001", "1101", "1011", "1001", "1001"],
    "D": ["110", "101", "101", "101", "110"],
    "I": ["111", "010", "010", "010", "111"],
    "X": ["101", "101", "010", "101", "101"],
}


def text(canvas, font, x, y, word, colour, spacing=1):
    """Each dot of the font one unit square: one pixel at 100 %."""
    for letter in word:
        rows = font[letter]
        for dy, row in enumerate(rows):
            for dx, bit in enumerate(row):
                if bit == "1":
                    canvas.fill(rounded_box(x + dx, y + dy, x + dx + 1, y + dy + 1), colour)
        x += len(rows[0]) + spacing


# --------------------------------------------------------------------------
# The icon: a monitor on its stand above a switch box with four port lights,
# the first one lit. Drawn on a 16-unit grid so that at 16, 32 and 48 pixels
# every straight edge falls on a pixel boundary.

BEZEL = hexcolour("2A3039")
BEZEL_EDGE = hexcolour("11151A")
SCREEN_TOP = hexcolour("6CC3FF")
SCREEN_BOTTOM = hexcolour("1F5FC4")
BOX_TOP = hexcolour("4A535F")
BOX_BOTTOM = hexcolour("262C34")
LIT = hexcolour("46E38A")
UNLIT = hexcolour("B9C3CF")


def draw_icon(size):
    c = Canvas(size, size)
    s = size / 16.0

    def box(x0, y0, x1, y1, radius=0.0):
        return rounded_box(x0 * s, y0 * s, x1 * s, y1 * s, radius * s)

    small = size <= 16
    # Monitor: a dark frame around a blue screen.
    c.fill(box(1, 1, 15, 11, 1.0 if not small else 0.6), BEZEL_EDGE)
    c.fill(box(1 + 1 / s, 1 + 1 / s, 15 - 1 / s, 11 - 1 / s, 0.8), BEZEL)
    screen = vertical(2 * s, SCREEN_TOP, 10 * s, SCREEN_BOTTOM)
    c.fill(box(2, 2, 14, 10, 0.25 if not small else 0), screen)
    if small:
        # Too small for the arrows: a lighter top row catches the light.
        c.fill(box(2, 2, 14, 3), (255, 255, 255), 0.18)
    else:
        # A soft reflection across the upper left of the screen.
        glare = intersect(
            polygon([(2 * s, 2 * s), (9 * s, 2 * s), (5 * s, 10 * s), (2 * s, 10 * s)]),
            box(2, 2, 14, 10, 0.25),
        )
        c.fill(glare, (255, 255, 255), 0.16)
        # Two arrows on the screen: the picture moves from one computer to the next.
        w = max(1.0, s * 0.75)
        c.fill(capsule([(4.6 * s, 4.8 * s), (10.6 * s, 4.8 * s)], w / 2), (255, 255, 255), 0.95)
        c.fill(polygon([(11.8 * s, 4.8 * s), (9.9 * s, 3.5 * s), (9.9 * s, 6.1 * s)]),
               (255, 255, 255), 0.95)
        c.fill(capsule([(5.4 * s, 7.4 * s), (11.4 * s, 7.4 * s)], w / 2), (255, 255, 255), 0.95)
        c.fill(polygon([(4.2 * s, 7.4 * s), (6.1 * s, 6.1 * s), (6.1 * s, 8.7 * s)]),
               (255, 255, 255), 0.95)
    # Stand.
    c.fill(box(7, 11, 9, 12), BEZEL_EDGE)
    # Switch box with four port lights; the first is lit.
    c.fill(box(1, 12, 15, 16, 0.6 if not small else 0.5), BEZEL_EDGE)
    c.fill(box(1 + 1 / s, 12 + 1 / s, 15 - 1 / s, 16 - 1 / s, 0.4),
           vertical(12 * s, BOX_TOP, 16 * s, BOX_BOTTOM))
    for i, x in enumerate((3, 6, 9, 12)):
        colour = LIT if i == 0 else UNLIT
        if small:
            # Two pixels square, spread evenly around the middle.
            left = (2, 5, 9, 12)[i]
            c.fill(box(left, 13, left + 2, 15), colour)
        else:
            c.fill(circle((x + 0.5) * s, 14 * s, 0.78 * s), colour)
    return c


# --------------------------------------------------------------------------
# The tray icon: the program's monitor and switch box, simplified and drawn
# anew for each small-icon size so that every edge sits on whole pixels. Its
# frame, the outline the eye finds first, is light on a dark taskbar and dark
# on a light one; the blue screen and the lit port stay as in the program's
# icon.

TRAY_SIZES = (16, 20, 24, 32, 40)
TRAY_FRAME_FOR_DARK_TASKBAR = hexcolour("E8EDF2")
TRAY_FRAME_FOR_LIGHT_TASKBAR = BEZEL_EDGE


def draw_tray_icon(size, frame):
    c = Canvas(size, size)
    s = size / 16.0

    def px(units):
        return math.floor(units * s + 0.5)

    def framed(x0, y0, x1, y1, width, inside):
        c.fill(rounded_box(x0, y0, x1, y1, 0.6 * width), frame)
        c.fill(rounded_box(x0 + width, y0 + width, x1 - width, y1 - width, 0.3 * width), inside)

    margin = px(1)
    monitor_width = 1 if size < 32 else 2
    box_width = 1 if size < 40 else 2
    monitor_bottom, box_top = px(11), px(12)

    screen_top, screen_bottom = margin + monitor_width, monitor_bottom - monitor_width
    framed(margin, margin, size - margin, monitor_bottom, monitor_width,
           vertical(screen_top, SCREEN_TOP, screen_bottom, SCREEN_BOTTOM))
    if size >= 32:
        # Room for the arrows of the program's icon: the picture moves on.
        w = s * 0.75
        white = (255, 255, 255)
        c.fill(capsule([(4.6 * s, 4.8 * s), (10.6 * s, 4.8 * s)], w / 2), white, 0.95)
        c.fill(polygon([(11.8 * s, 4.8 * s), (9.9 * s, 3.5 * s), (9.9 * s, 6.1 * s)]), white, 0.95)
        c.fill(capsule([(5.4 * s, 7.4 * s), (11.4 * s, 7.4 * s)], w / 2), white, 0.95)
        c.fill(polygon([(4.2 * s, 7.4 * s), (6.1 * s, 6.1 * s), (6.1 * s, 8.7 * s)]), white, 0.95)
    c.fill(rounded_box(px(7), monitor_bottom, size - px(7), box_top), frame)

    # The switch box and its four port lights, the first lit, spread evenly
    # with the outer two at the box's ends (one pixel in once there is room).
    framed(margin, box_top, size - margin, size, box_width,
           vertical(box_top, BOX_TOP, size, BOX_BOTTOM))
    inner = size - box_top - 2 * box_width
    pad = 0 if inner <= 3 else 1
    light = inner - 2 * pad
    left = margin + box_width + pad
    span = size - 2 * left - light
    top = box_top + box_width + pad
    for i in range(4):
        x = left + math.floor(span * i / 3 + 0.5)
        c.fill(rounded_box(x, top, x + light, top + light, 0.5 if light >= 4 else 0),
               LIT if i == 0 else UNLIT)
    return c


def tray_icon_file(frame):
    return ico([(size, icon_bitmap(draw_tray_icon(size, frame))) for size in TRAY_SIZES])


# --------------------------------------------------------------------------
# The device picture: the switch from the front, a little from above, with
# its USB cable, four ports A to D and the status light.

DEVICE_WIDTH, DEVICE_HEIGHT = 123, 158

# The scales, in percent, the device picture and the check marks are drawn
# at; the program picks one by the display's DPI (96 at 100 %).
ART_SCALES = (100, 150, 200)


def scaled(length, percent):
    """A length of the 100 % picture at a scale, rounded half up."""
    return (length * percent + 50) // 100


def draw_device(percent=100):
    c = Canvas(scaled(DEVICE_WIDTH, percent), scaled(DEVICE_HEIGHT, percent), percent / 100)

    # USB cable from the top edge into a plug on the box's top.
    cable = [(30, -4), (30, 6), (33, 13), (44, 17), (56, 19), (61, 23), (61, 30)]
    c.fill(capsule(cable, 3.2), hexcolour("1B1E22"))
    c.fill(capsule(cable, 1.4), hexcolour("3A4048"))
    boot = vertical(26, hexcolour("3B4149"), 36, hexcolour("1E2227"))
    c.fill(rounded_box(55, 26, 67, 36, 2), boot)
    metal = vertical(34, hexcolour("E4E8EC"), 44, hexcolour("9AA3AD"))
    c.fill(rounded_box(53, 34, 69, 44, 1.5), metal)

    # Box: top face, then the front.
    top = polygon([(14, 41), (109, 41), (116, 50), (7, 50)])
    c.fill(top, vertical(41, hexcolour("8C96A2"), 50, hexcolour("5E6874")))
    front = rounded_box(7, 48, 116, 154, 5)
    c.fill(front, vertical(48, hexcolour("454D57"), 154, hexcolour("1F242A")))
    c.fill(rounded_box(7, 48, 116, 51, 1), hexcolour("7B8591"), 0.9)
    # Inset panel.
    c.fill(rounded_box(14, 56, 109, 147, 3), hexcolour("14181C"))
    panel = vertical(57, hexcolour("323941"), 146, hexcolour("262C33"))
    c.fill(rounded_box(15, 57, 108, 146, 3), panel)

    # Maker's name and the status light.
    text(c, FONT_3X5, 21, 62, "PELORANDIX", hexcolour("C9D1DA"))
    c.fill(circle(98.5, 64.5, 4.6), hexcolour("0F3D22"))
    c.fill(circle(98.5, 64.5, 3.4), hexcolour("32D774"))
    c.fill(circle(97.5, 63.3, 1.4), hexcolour("D9FFE6"))
    c.fill(rounded_box(21, 71, 102, 72), hexcolour("14181C"))

    # Four display ports, A to D from the top.
    for i, letter in enumerate("ABCD"):
        y = 78 + i * 17
        text(c, FONT_5X7, 23, y + 2, letter, hexcolour("EEF2F6"))
        shell = polygon([(38, y), (98, y), (98, y + 8), (94, y + 11), (38, y + 11)])
        c.fill(shell, vertical(y, hexcolour("D5DBE1"), y + 11, hexcolour("8B95A0")))
        hole = polygon([(40, y + 2), (96, y + 2), (96, y + 7.5), (93, y + 9), (40, y + 9)])
        c.fill(hole, hexcolour("0B0D10"))
        c.fill(rounded_box(44, y + 4, 88, y + 6), hexcolour("4E5864"))

    # Rubber feet.
    c.fill(rounded_box(16, 153, 30, 157, 1.5), hexcolour("15181B"))
    c.fill(rounded_box(93, 153, 107, 157, 1.5), hexcolour("15181B"))
    return c


# --------------------------------------------------------------------------
# Menu check marks: black is drawn in the menu's text colour, white is left
# as the menu's background.

CHECK_SIZE = 13

# The mark is seven units across in the middle of the 13-unit cell: a disk
# for the port in use, a ring one unit wide for the others. A pixel is drawn
# when its centre lies inside, which at 100 % gives the round 7-pixel dot and
# ring of a classic menu.
MARK_RADIUS = 3.5
RING_WIDTH = 1.0


def draw_check(filled, percent=100):
    """Rows of palette indexes: 0 black (drawn), 1 white (left as it is)."""
    size = scaled(CHECK_SIZE, percent)
    s = percent / 100
    centre = size / 2
    outer = MARK_RADIUS * s
    inner = 0.0 if filled else (MARK_RADIUS - RING_WIDTH) * s
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            distance = math.hypot(px + 0.5 - centre, py + 0.5 - centre)
            row.append(0 if inner < distance < outer or (filled and distance < outer) else 1)
        rows.append(row)
    return rows


# --------------------------------------------------------------------------
# File writers.


def bmp_24(canvas, background):
    """Opaque 24-bit BMP: a pixel at least half covered keeps its own colour,
    every other pixel is background, so no edge blends into it."""
    row_size = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for py in reversed(range(canvas.height)):
        row = bytearray()
        for px in range(canvas.width):
            r, g, b, a = canvas.rgba(px, py)
            if a < 128:
                r, g, b = background
            row += bytes((b, g, r))
        row += bytes(row_size - len(row))
        data += row
    return bmp_file(canvas.width, canvas.height, 24, b"", bytes(data))


def bmp_1(rows):
    height, width = len(rows), len(rows[0])
    row_size = ((width + 31) // 32) * 4
    data = bytearray()
    for row in reversed(rows):
        packed = bytearray(row_size)
        for x, bit in enumerate(row):
            if bit:
                packed[x // 8] |= 0x80 >> (x % 8)
        data += packed
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    return bmp_file(width, height, 1, palette, bytes(data))


def bmp_file(width, height, bits, palette, pixels):
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835,
                       len(palette) // 4, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def icon_bitmap(canvas):
    """One icon image: BITMAPINFOHEADER, BGRA rows bottom-up, then the AND
    mask (1 where the pixel is fully transparent) for systems without alpha."""
    size = canvas.width
    xor = bytearray()
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for py in reversed(range(size)):
        bits = bytearray(mask_row)
        for px in range(size):
            r, g, b, a = canvas.rgba(px, py)
            if a == 0:
                r = g = b = 0
                bits[px // 8] |= 0x80 >> (px % 8)
            xor += bytes((b, g, r, a))
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0,
                       0, 0)
    return info + bytes(xor) + bytes(mask)


def png(canvas):
    raw = bytearray()
    for py in range(canvas.height):
        raw.append(0)
        for px in range(canvas.width):
            raw += bytes(canvas.rgba(px, py))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico(images):
    """images: (size, bytes) in the order they are listed."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, bodies = b"", b""
    for size, body in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body),
                               offset + len(bodies))
        bodies += body
    return directory + entries + bodies


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


# The icon's bitmap sizes: the small and large icon at 100, 125, 150 and
# 200 % (16, 20, 24, 32; 32, 40, 48, 64), then 256 as PNG for large views.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64)


def scaled_name(name, percent):
    """device.bmp at 150 %: device_150.bmp; at 100 % the name itself."""
    if percent == 100:
        return name
    stem, extension = os.path.splitext(name)
    return f"{stem}_{percent}{extension}"


def write_scaled_art():
    for percent in ART_SCALES:
        write(scaled_name("port_checked.bmp", percent), bmp_1(draw_check(True, percent)))
        write(scaled_name("port_unchecked.bmp", percent), bmp_1(draw_check(False, percent)))
        write(scaled_name("device.bmp", percent), bmp_24(draw_device(percent), MAGENTA))


def main():
    images = [(size, icon_bitmap(draw_icon(size))) for size in ICON_SIZES]
    images.append((256, png(draw_icon(256))))
    write("app.ico", ico(images))
    write_scaled_art()
    write("tray_dark_taskbar.ico", tray_icon_file(TRAY_FRAME_FOR_DARK_TASKBAR))
    write("tray_light_taskbar.ico", tray_icon_file(TRAY_FRAME_FOR_LIGHT_TASKBAR))


if __name__ == "__main__":
    main()
