#!/usr/bin/env python3
"""Makes the installer's pictures (standard library only; run from anywhere):

  principal.bmp      500 x 350, 24 bpp: the main window's background card
  instalar_normal.bmp, instalar_down.bmp, instalar_over.bmp,
  sair_normal.bmp, sair_down.bmp, sair_over.bmp
                     129 x 51, 24 bpp: the two buttons' glyphs
  pacote.ico         the program icon: 32 x 32 and 16 x 16, 16 colours each
  copiar.bmp         32 x 32, 8 bpp with a 256-entry colour table: the progress window's picture

The outputs are committed beside this script; run it again after a change.

The background is seen through the main window: its picture control sits at (-15, -16), so
window pixel (x, y) shows picture pixel (x + 15, y + 16). The card is drawn over the window's
region (the same steps as the window shape, in window coordinates) grown by a few pixels, so
the region's cut is the card's edge; a light rim runs just inside it.
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# --------------------------------------------------------------------------------------------
# Images: lists of rows of (r, g, b), top row first.


def new_image(width, height, colour):
    return [[colour] * width for _ in range(height)]


def blend(under, over, alpha):
    return tuple(int(round(u + (o - u) * alpha)) for u, o in zip(under, over))


def write_bmp24(path, image):
    height, width = len(image), len(image[0])
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for row in reversed(image):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        rows += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(rows), 0, 0, 54))
        f.write(header + rows)


def write_bmp8(path, indices, palette):
    """indices: rows of palette indices, top first; palette: 256 (r, g, b)."""
    assert len(palette) == 256
    height, width = len(indices), len(indices[0])
    stride = (width + 3) & ~3
    rows = bytearray()
    for row in reversed(indices):
        rows += bytes(row) + b"\0" * (stride - width)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 3780, 3780, 256, 0)
    offset = 14 + len(header) + len(table)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset))
        f.write(header + table + rows)


# --------------------------------------------------------------------------------------------
# A small pixel font: 7 rows above the baseline, 2 below (descenders), proportional widths.

FONT = {
    " ": ["...", "...", "...", "...", "...", "...", "..."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "c": [".....", ".....", ".###.", "#....", "#....", "#....", ".###."],
    "d": ["....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "i": [".#.", "...", "##.", ".#.", ".#.", ".#.", "###"],
    "l": ["##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "õ": [".##.#", "#..#.", ".###.", "#...#", "#...#", "#...#", ".###."],
    "p": [".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#..", ".#..", "####", ".#..", ".#..", ".#..", "..##"],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
}
FONT_ROWS = 9


def text_cells(text):
    """The text as a grid of on/off font cells (one column of space between letters)."""
    columns = []
    for i, ch in enumerate(text):
        glyph = FONT[ch]
        rows = glyph + ["." * len(glyph[0])] * (FONT_ROWS - len(glyph))
        if i:
            columns.append([False] * FONT_ROWS)
        for c in range(len(glyph[0])):
            columns.append([rows[r][c] == "#" for r in range(FONT_ROWS)])
    return [[columns[c][r] for c in range(len(columns))] for r in range(FONT_ROWS)]


def text_size(text, scale):
    cells = text_cells(text)
    return len(cells[0]) * scale, 7 * scale


def cell_coverage(cells, u, v):
    """Whether the font point (u, v) is ink: the cell itself, or a smoothed diagonal corner."""
    rows, cols = len(cells), len(cells[0])

    def on(c, r):
        return 0 <= r < rows and 0 <= c < cols and cells[r][c]

    c, r = int(math.floor(u)), int(math.floor(v))
    if on(c, r):
        return True
    fu, fv = u - c, v - r
    # Fill the corner triangle between two inked neighbours, so diagonals read as strokes.
    if on(c - 1, r) and on(c, r - 1) and fu + fv < 0.5:
        return True
    if on(c + 1, r) and on(c, r - 1) and (1 - fu) + fv < 0.5:
        return True
    if on(c - 1, r) and on(c, r + 1) and fu + (1 - fv) < 0.5:
        return True
    if on(c + 1, r) and on(c, r + 1) and (1 - fu) + (1 - fv) < 0.5:
        return True
    return False


def draw_text(image, text, x0, y0, scale, colour, shadow=None, samples=4):
    """Draws text with its top-left at (x0, y0), each font cell `scale` pixels, anti-aliased by
    `samples` x `samples` supersampling; an optional shadow one pixel down and right."""
    cells = text_cells(text)
    width = int(math.ceil(len(cells[0]) * scale)) + 2
    height = int(math.ceil(FONT_ROWS * scale)) + 2
    cover = [[0.0] * width for _ in range(height)]
    for py in range(height):
        for px in range(width):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = (px + (sx + 0.5) / samples) / scale
                    v = (py + (sy + 0.5) / samples) / scale
                    if cell_coverage(cells, u, v):
                        hits += 1
            cover[py][px] = hits / (samples * samples)
    layers = []
    if shadow:
        layers.append((1, 1, shadow[0], shadow[1]))
    layers.append((0, 0, colour, 1.0))
    for dx, dy, col, strength in layers:
        for py in range(height):
            for px in range(width):
                a = cover[py][px] * strength
                x, y = int(x0) + px + dx, int(y0) + py + dy
                if a > 0 and 0 <= y < len(image) and 0 <= x < len(image[0]):
                    image[y][x] = blend(image[y][x], col, a)


# --------------------------------------------------------------------------------------------
# The main window's shape, in window coordinates (the same steps as the window's region).

H = 305


def in_round_rect(px, py, left, top, right, bottom, ew, eh):
    if not (left <= px < right and top <= py < bottom):
        return False
    rx, ry = ew / 2.0, eh / 2.0
    cx = min(max(px, left + rx), right - rx)
    cy = min(max(py, top + ry), bottom - ry)
    dx, dy = (px - cx) / rx, (py - cy) / ry
    return dx * dx + dy * dy <= 1.0


NOTCH = [(436, 261), (453, 261), (456, 264), (456, 240), (455, 243), (453, 245), (436, 245)]


def in_polygon_winding(px, py, points):
    winding = 0
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if y1 <= py < y2 or y2 <= py < y1:
            t = (py - y1) / (y2 - y1)
            if x1 + t * (x2 - x1) > px:
                winding += 1 if y2 > y1 else -1
    return winding != 0


def in_window_region(px, py):
    """Membership of the point (px, py) (a pixel centre is (x + 0.5, y + 0.5))."""
    inside = in_round_rect(px, py, 0, 0, 300, H, 55, 55)
    if inside and (px - 30) ** 2 + (py - 30) ** 2 < 14**2:
        inside = False
    if in_round_rect(px, py, 242, 8, 457, 298, 55, 55):
        inside = True
    if 242 <= px < 457 and (py < 8 or 297 <= py < 305):
        inside = False
    if inside and in_polygon_winding(px, py, NOTCH):
        inside = False
    return inside


OFFSET_X, OFFSET_Y = 15, 16  # picture pixel = window pixel + offset

CARD_TOP = (24, 52, 128)
CARD_BOTTOM = (10, 28, 80)
RIM = (92, 132, 214)
STRIPE = (6, 14, 44)
OUTSIDE = (0, 0, 0)
YELLOW = (255, 210, 40)
WHITE = (255, 255, 255)
PALE = (170, 196, 240)

STRIPE_LEFT, STRIPE_RIGHT = 384, 414  # window x


def card_colour(wy):
    t = min(max(wy / float(H), 0.0), 1.0)
    return blend(CARD_TOP, CARD_BOTTOM, t)


def make_background():
    width, height = 500, 350
    image = new_image(width, height, OUTSIDE)
    inside = {}
    for y in range(height):
        for x in range(width):
            wx, wy = x - OFFSET_X, y - OFFSET_Y
            inside[(wx, wy)] = in_window_region(wx + 0.5, wy + 0.5)

    def is_in(wx, wy):
        v = inside.get((wx, wy))
        return v if v is not None else in_window_region(wx + 0.5, wy + 0.5)

    for y in range(height):
        for x in range(width):
            wx, wy = x - OFFSET_X, y - OFFSET_Y
            if not (-4 <= wx < 461 and -4 <= wy < H + 4):
                continue
            colour = card_colour(wy)
            if STRIPE_LEFT <= wx < STRIPE_RIGHT:
                colour = STRIPE
            elif wx in (STRIPE_LEFT - 1, STRIPE_RIGHT):
                colour = blend(colour, RIM, 0.35)
            # The eyelet around the punched hole.
            d = math.hypot(wx + 0.5 - 30, wy + 0.5 - 30)
            if 14 <= d < 19:
                shade = 0.55 + 0.45 * math.cos((d - 14) / 5.0 * math.pi / 2)
                light = 1.0 - ((wx - 30) + (wy - 30)) / 60.0  # lit from the top left
                grey = int(max(60, min(235, 150 * shade * light + 40)))
                colour = (grey, grey, min(255, grey + 12))
            # The rim just inside the card's edge (where the region cuts it).
            if is_in(wx, wy) and d >= 19:
                near = 0
                for dy in (-2, -1, 0, 1, 2):
                    for dx in (-2, -1, 0, 1, 2):
                        if abs(dx) + abs(dy) <= 2 and not is_in(wx + dx, wy + dy):
                            near = max(near, 3 - (abs(dx) + abs(dy)))
                if near:
                    colour = blend(colour, RIM, 0.45 + 0.2 * near)
            image[y][x] = colour

    def at(wx, wy):  # window -> picture coordinates
        return wx + OFFSET_X, wy + OFFSET_Y

    x, y = at(62, 44)
    draw_text(image, "Pacote Lumen", x, y, 3.25, YELLOW, shadow=((0, 0, 20), 0.8))
    x, y = at(62, 82)
    draw_text(image, "Questões para o Farol Exames", x, y, 1.5, PALE, shadow=((0, 0, 20), 0.6))
    # Three thin rules under the title, fading to the right.
    for i in range(3):
        for wx in range(62, 220):
            px, py = at(wx, 106 + 4 * i)
            a = 0.5 * (1.0 - (wx - 62) / 158.0) * (1.0 - i * 0.25)
            image[py][px] = blend(image[py][px], PALE, a)
    return image


# --------------------------------------------------------------------------------------------
# Button glyphs: the card beneath the button, the word on it.

BUTTONS = {"instalar": ("Instalar", 228, 136), "sair": ("Sair", 228, 192)}
GLYPH_W, GLYPH_H = 129, 51
GLYPH_SCALE = 2.4


def crop(image, x, y, w, h):
    return [list(row[x : x + w]) for row in image[y : y + h]]


def rounded_highlight(glyph):
    """A light rounded plate, anti-aliased, lighter at the top."""
    left, top, right, bottom, radius = 3.0, 4.0, GLYPH_W - 3.0, GLYPH_H - 4.0, 14.0
    samples = 4
    for y in range(GLYPH_H):
        t = (y - top) / (bottom - top)
        fill = blend((128, 170, 240), (58, 100, 196), min(max(t, 0.0), 1.0))
        for x in range(GLYPH_W):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    px, py = x + (sx + 0.5) / samples, y + (sy + 0.5) / samples
                    cx = min(max(px, left + radius), right - radius)
                    cy = min(max(py, top + radius), bottom - radius)
                    if (px - cx) ** 2 + (py - cy) ** 2 <= radius * radius and (
                        left <= px <= right and top <= py <= bottom
                    ):
                        hits += 1
            if hits:
                glyph[y][x] = blend(glyph[y][x], fill, 0.92 * hits / (samples * samples))


def make_glyphs(background):
    glyphs = {}
    for key, (word, wx, wy) in BUTTONS.items():
        base = crop(background, wx + OFFSET_X, wy + OFFSET_Y, GLYPH_W, GLYPH_H)
        tw, th = text_size(word, GLYPH_SCALE)
        tx, ty = (GLYPH_W - tw) / 2.0, (GLYPH_H - th) / 2.0 - 1
        normal = [list(r) for r in base]
        draw_text(normal, word, tx, ty, GLYPH_SCALE, YELLOW, shadow=((0, 0, 16), 0.85))
        down = [list(r) for r in base]
        rounded_highlight(down)
        draw_text(down, word, tx, ty, GLYPH_SCALE, WHITE, shadow=((10, 30, 90), 0.9))
        glyphs[key + "_normal.bmp"] = normal
        glyphs[key + "_down.bmp"] = down
        glyphs[key + "_over.bmp"] = down  # the pressed and the over image are one picture
    return glyphs


# --------------------------------------------------------------------------------------------
# The icon: a parcel with a question label, 16 colours.

VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, OLIVE, NAVY, SILVER, GRAY, YELLOW16, WHITE16 = 0, 1, 3, 4, 7, 8, 11, 15


def fill_polygon(pixels, size, points, value):
    """Fills a polygon given in a 32-unit design space, by pixel centres."""
    k = size / 32.0
    pts = [(x * k, y * k) for x, y in points]
    for y in range(size):
        for x in range(size):
            if in_polygon_winding(x + 0.5, y + 0.5, pts):
                pixels[y][x] = value


def draw_line(pixels, size, a, b, value):
    k = size / 32.0
    (x1, y1), (x2, y2) = a, b
    steps = int(max(abs(x2 - x1), abs(y2 - y1)) * k * 2) + 1
    for i in range(steps + 1):
        t = i / steps
        x = int((x1 + (x2 - x1) * t) * k)
        y = int((y1 + (y2 - y1) * t) * k)
        if 0 <= x < size and 0 <= y < size:
            pixels[y][x] = value


def icon_pixels(size):
    p = [[None] * size for _ in range(size)]  # None: transparent
    top = [(4, 10), (16, 4), (28, 10), (16, 16)]
    left = [(4, 10), (16, 16), (16, 30), (4, 24)]
    right = [(16, 16), (28, 10), (28, 24), (16, 30)]
    fill_polygon(p, size, top, YELLOW16)
    fill_polygon(p, size, left, OLIVE)
    fill_polygon(p, size, right, MAROON)
    # The tape across the top and down the front.
    fill_polygon(p, size, [(9, 7.5), (11, 6.5), (23, 12.5), (21, 13.5)], WHITE16)
    fill_polygon(p, size, [(21, 13.5), (23, 12.5), (23, 26.5), (21, 27.5)], SILVER)
    # The label with a question mark on the left face.
    fill_polygon(p, size, [(6, 15), (14, 19), (14, 26), (6, 22)], WHITE16)
    if size >= 32:
        mark = [".##.", "#..#", "..#.", ".#..", "....", ".#.."]
        for r, line in enumerate(mark):
            for c, ch in enumerate(line):
                if ch == "#":
                    p[17 + r][8 + c] = NAVY
    else:
        p[9][4], p[10][5], p[11][5] = NAVY, NAVY, NAVY
    for a, b in [((4, 10), (16, 4)), ((16, 4), (28, 10)), ((28, 10), (28, 24)),
                 ((28, 24), (16, 30)), ((16, 30), (4, 24)), ((4, 24), (4, 10)),
                 ((4, 10), (16, 16)), ((16, 16), (28, 10)), ((16, 16), (16, 30))]:
        draw_line(p, size, a, b, BLACK)
    return p


def icon_image_bytes(size):
    pixels = icon_pixels(size)
    stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for x in range(0, size, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            line.append((hi << 4) | lo)
        xor += line + b"\0" * (stride - len(line))
        bits = bytearray(mask_stride)
        for x, v in enumerate(row):
            if v is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0,
                         16, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    return header + table + xor + mask


def write_ico(path, sizes):
    images = [icon_image_bytes(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


# --------------------------------------------------------------------------------------------
# The progress window's picture: a diskette with a question mark, on silver, with a dithered
# shadow (silver dots between gray ones). 256-entry colour table.

SILVER_RGB = (192, 192, 192)
COPIAR_SILVER_PIXELS = 570  # the picture is drawn to have exactly this many silver pixels


def copiar_palette():
    palette = list(VGA)
    levels = (0, 51, 102, 153, 204, 255)
    for r in levels:
        for g in levels:
            for b in levels:
                palette.append((r, g, b))
    for i in range(24):
        v = 8 + 10 * i
        palette.append((v, v, v))
    assert len(palette) == 256
    assert palette.count(SILVER_RGB) == 1
    return palette


def make_copiar():
    palette = copiar_palette()
    idx = {c: i for i, c in reversed(list(enumerate(palette)))}
    silver, gray, black, white = idx[SILVER_RGB], idx[(128, 128, 128)], idx[(0, 0, 0)], 15
    navy, blue, red = idx[(0, 0, 128)], idx[(0, 0, 255)], idx[(255, 0, 0)]
    dark = idx[(102, 102, 102)]
    px = [[silver] * 32 for _ in range(32)]

    # The diskette body, 20 x 20 at (5, 4), with its top-right corner cut.
    for y in range(4, 24):
        for x in range(5, 25):
            if x - 20 > y - 4:
                continue
            px[y][x] = navy
    # Shutter: brushed metal, silver dithered with gray, with its dark window.
    for y in range(4, 11):
        for x in range(10, 20):
            px[y][x] = silver if (x + y) % 2 else gray
    for y in range(5, 10):
        for x in range(15, 18):
            px[y][x] = dark
    # The label, white with a dithered blue top edge, and a red question mark.
    for y in range(13, 23):
        for x in range(7, 23):
            px[y][x] = white
    for x in range(7, 23):
        if x % 2:
            px[13][x] = blue
    q = [".###.", "#...#", "...#.", "..#..", "..#..", ".....", "..#.."]
    for r, line in enumerate(q):
        for c, ch in enumerate(line):
            if ch == "#":
                px[15 + r][12 + c] = red
    # Outline on the left and at the bottom.
    for y in range(4, 24):
        px[y][5] = black
    for x in range(5, 25):
        px[23][x] = black
    # The shadow below and right of the disk: gray dots between silver ones.
    shadow = [(x, y) for y in range(6, 27) for x in (25, 26, 27)] + [
        (x, y) for y in (24, 25, 26) for x in range(7, 25)]
    for x, y in shadow:
        if (x + y) % 2 == 0:
            px[y][x] = gray
    # Land exactly on the intended number of silver pixels: a fainter outer shadow band takes
    # as many further gray dots as needed, from the bottom-right corner outward.
    count = sum(row.count(silver) for row in px)
    fringe = []
    for band in (28, 29):
        fringe += [(band, y) for y in range(band, 7 + 2 * (band - 28), -1)]
        fringe += [(x, band) for x in range(band - 1, 8 + 2 * (band - 28), -1)]
    fringe = [(x, y) for x, y in fringe if (x + y) % 2 == 0]
    for x, y in fringe:
        if count <= COPIAR_SILVER_PIXELS:
            break
        px[y][x] = gray
        count -= 1
    return px, palette, count


def main():
    background = make_background()
    write_bmp24(os.path.join(HERE, "principal.bmp"), background)
    for name, glyph in make_glyphs(background).items():
        write_bmp24(os.path.join(HERE, name), glyph)
    write_ico(os.path.join(HERE, "pacote.ico"), [32, 16])
    pixels, palette, silver = make_copiar()
    write_bmp8(os.path.join(HERE, "copiar.bmp"), pixels, palette)
    if silver != COPIAR_SILVER_PIXELS:
        sys.exit("copiar.bmp has %d silver pixels, not %d" % (silver, COPIAR_SILVER_PIXELS))
    print("copiar.bmp: %d silver pixels" % silver)


if __name__ == "__main__":
    main()
