#!/usr/bin/env python3
"""Draws the program's artwork for the resource script.

    gen_artwork.py OUTDIR

writes into OUTDIR:
    kestrel.ico          the emblem (icons 130 and 131)
    kestrel-warning.ico  the emblem with a yellow exclamation mark (132)
    kestrel-error.ico    the emblem with a red exclamation mark (133)
    title.bmp            the main window's title picture, 352x279 (141)
    buttons.bmp          the diagnosis panel's button strip, 757x189 (142)

Everything is drawn from the shapes and texts below with Pillow (Debian's
python3-pil) and the IPA Gothic and DejaVu fonts, so the same packages give
the same files byte for byte. The icons hold 16, 24, 32 and 48 pixel
images as 32-bit DIBs with an AND mask; the bitmaps are plain Windows BMPs
(BITMAPINFOHEADER, 24 bits, bottom-up).
"""

import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

# Shapes are drawn this many times larger and reduced, for smooth edges.
SS = 4

FONT_JP = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
FONT_JP_P = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"
FONT_SANS = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FONT_SANS_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

TITLE_SIZE = (352, 279)
STRIP_SIZE = (757, 189)

# The panel's buttons: where each lies on the title picture and where its
# three pictures (normal, focused, pressed) lie in the strip.
DIAGNOSE = dict(pos=(62, 147), size=(224, 63), strip_x=0)
SERVICE = dict(pos=(293, 0), size=(59, 31), strip_x=554)
CLUB = dict(pos=(169, 248), size=(144, 18), strip_x=613)

CLUB_TEXT = "www.corvid.example"

# Colours.
NAVY_TOP = (10, 33, 66)
NAVY_BOTTOM = (28, 86, 142)
FOOTER = (8, 26, 52)
ACCENT = (240, 140, 40)
RUFOUS_LIGHT = (251, 176, 74)
RUFOUS_DARK = (206, 92, 20)
CREAM = (255, 248, 236)


def resample(name):
    group = getattr(Image, "Resampling", Image)
    return getattr(group, name)


BOX = resample("BOX")
BICUBIC = resample("BICUBIC")


def font(path, size):
    if not os.path.exists(path):
        sys.exit(f"gen_artwork.py: font {path} is missing (scripts/install-deps.sh all)")
    return ImageFont.truetype(path, size)


# ---------------------------------------------------------------- geometry

def bezier(p0, p1, p2, p3, steps=24):
    """Points of a cubic Bezier curve, p0 excluded."""
    out = []
    for i in range(1, steps + 1):
        t = i / steps
        u = 1 - t
        x = u ** 3 * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t ** 3 * p3[0]
        y = u ** 3 * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t ** 3 * p3[1]
        out.append((x, y))
    return out


def path(start, segments):
    """A closed outline from a start point and a list of segments: a point
    (straight line) or a triple of points (cubic curve)."""
    pts = [start]
    for seg in segments:
        if len(seg) == 3 and isinstance(seg[0], tuple):
            pts += bezier(pts[-1], *seg)
        else:
            pts.append(seg)
    return pts


def mirror_x(points, axis):
    return [(2 * axis - x, y) for x, y in points]


def transform(points, scale, dx, dy, angle=0.0, centre=(50, 50)):
    ca, sa = math.cos(math.radians(angle)), math.sin(math.radians(angle))
    out = []
    for x, y in points:
        x -= centre[0]
        y -= centre[1]
        x, y = x * ca - y * sa, x * sa + y * ca
        out.append(((x + centre[0]) * scale + dx, (y + centre[1]) * scale + dy))
    return out


def kestrel_outline():
    """The falcon in flight seen from below, head up, in a 100x100 box:
    sickle wings with the wrists forward and the pointed tips swept back, a
    small round head, a long narrow tail."""
    right = path((50, 23), [
        ((52.6, 23.5), (54.2, 25.3), (54.2, 28)),  # crown
        ((54.2, 31), (53.6, 33), (54.5, 35)),      # cheek, neck
        ((60, 34.5), (65, 33), (71, 32.5)),        # leading edge to the wrist
        ((80, 32), (91, 39), (99, 55)),            # the hand, swept to the tip
        ((92, 51), (84, 49), (74, 48.5)),          # primaries
        ((66, 48), (60, 49), (56, 52)),            # secondaries
        ((55, 55), (55, 57), (55, 59)),            # flank
        ((56, 65), (57.5, 71), (58.5, 77)),        # tail's side
        ((55.5, 79), (52.5, 79.2), (50, 79.2)),    # tail's end
    ])
    left = mirror_x(right[1:-1], 50)[::-1]
    return right + left


def raven_outline():
    """A raven perched, facing right, in a 100x100 box: a long heavy beak, a
    thick neck, a long wedge tail."""
    return path((98, 39), [
        ((94, 40), (88, 41), (83, 42)),            # lower mandible
        ((82, 46), (80, 50), (76, 56)),            # hackles
        ((72, 62), (66, 67), (58, 70)),            # breast and belly
        ((50, 72), (42, 73), (36, 75)),            # under the tail
        ((28, 80), (18, 87), (8, 93)),             # tail's underside
        (4, 88),                                   # tail's end
        ((14, 80), (24, 70), (32, 60)),            # over the tail
        ((40, 48), (50, 38), (60, 32)),            # back and folded wing
        ((66, 27), (70, 23), (76, 23)),            # nape and crown
        ((80, 23), (83, 25), (85, 29)),            # forehead
        ((89, 31), (94, 34), (98, 39)),            # upper mandible
    ])


def raven_legs():
    """The raven's legs and feet as line segments, same box."""
    return [((56, 68), (57, 86)), ((50, 70), (49, 86)),
            ((52, 86), (61, 86)), ((45, 86), (53, 86))]


def draw_poly(draw, pts, fill):
    draw.polygon([(round(x), round(y)) for x, y in pts], fill=fill)


def reduce(img, size):
    return img.resize(size, BOX)


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    px = img.load()
    for y in range(h):
        t = y / max(1, h - 1)
        c = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        for x in range(w):
            px[x, y] = c
    return img


def gradient_mask_fill(size, top, bottom, mask):
    """An RGBA image: a vertical gradient cut out by mask (L)."""
    img = vertical_gradient(size, top, bottom).convert("RGBA")
    img.putalpha(mask)
    return img


def rounded_mask(size, box, radius):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).rounded_rectangle(box, radius=radius, fill=255)
    return m


def text_layer(size, xy, text, fnt, fill, anchor="la", stroke=0, stroke_fill=None):
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    ImageDraw.Draw(layer).text(xy, text, font=fnt, fill=fill, anchor=anchor,
                               stroke_width=stroke, stroke_fill=stroke_fill or fill)
    return layer


def shadow_of(layer, offset, blur, alpha):
    """A soft dark shadow of an RGBA layer."""
    a = layer.getchannel("A").point(lambda v: v * alpha // 255)
    sh = Image.new("RGBA", layer.size, (0, 0, 0, 0))
    sh.putalpha(a)
    if blur:
        sh = sh.filter(ImageFilter.GaussianBlur(blur))
    out = Image.new("RGBA", layer.size, (0, 0, 0, 0))
    out.paste(sh, offset)
    return out


# ---------------------------------------------------------------- emblem

def emblem(px, plain_rim=False):
    """The program's emblem: a cream falcon on a round blue badge with a
    rufous ring, px x px, RGBA."""
    n = px * SS
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    ring = max(1.0, n * 0.075)
    # Outer dark edge, rufous ring, blue face.
    d.ellipse((0, 0, n - 1, n - 1), fill=(70, 30, 8, 255))
    d.ellipse((SS * 0.6, SS * 0.6, n - 1 - SS * 0.6, n - 1 - SS * 0.6), fill=RUFOUS_DARK + (255,))
    inner = ring + SS * 0.6
    face_mask = Image.new("L", (n, n), 0)
    ImageDraw.Draw(face_mask).ellipse((inner, inner, n - 1 - inner, n - 1 - inner), fill=255)
    face = gradient_mask_fill((n, n), (58, 128, 196), (12, 42, 92), face_mask)
    img = Image.alpha_composite(img, face)
    d = ImageDraw.Draw(img)
    if not plain_rim:
        # A lighter band on the ring's upper half.
        hl = Image.new("L", (n, n), 0)
        ImageDraw.Draw(hl).arc((SS, SS, n - 1 - SS, n - 1 - SS), 200, 340,
                               fill=150, width=max(1, round(ring * 0.45)))
        light = Image.new("RGBA", (n, n), RUFOUS_LIGHT + (0,))
        light.putalpha(hl)
        img = Image.alpha_composite(img, light)
        d = ImageDraw.Draw(img)
    # The falcon, banking a little.
    s = (n - 2 * inner) / 100 * 1.04
    off = inner + (n - 2 * inner - 100 * s) / 2
    bird = transform(kestrel_outline(), s, off, off - s * 1.5, angle=-14)
    shadow = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    draw_poly(ImageDraw.Draw(shadow), [(x + s * 1.5, y + s * 2) for x, y in bird], (0, 10, 30, 110))
    img = Image.alpha_composite(img, shadow)
    d = ImageDraw.Draw(img)
    draw_poly(d, bird, CREAM + (255,))
    return reduce(img, (px, px))


def exclamation_badge(px, colour):
    """A round badge with an exclamation mark, px x px, RGBA: yellow with a
    dark mark, or red with a white one."""
    n = px * SS
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    if colour == "yellow":
        edge, fill, mark = (120, 84, 0, 255), (255, 212, 0, 255), (40, 30, 0, 255)
        # A rounded triangle.
        tri = [(n / 2, SS * 0.5), (n - SS * 0.5, n - SS * 1.2), (SS * 0.5, n - SS * 1.2)]
        d.polygon([(round(x), round(y)) for x, y in tri], fill=edge)
        k = SS * 1.6
        inner = [(n / 2, k * 1.5), (n - k * 1.25, n - SS * 1.2 - k * 0.7),
                 (k * 1.25, n - SS * 1.2 - k * 0.7)]
        d.polygon([(round(x), round(y)) for x, y in inner], fill=fill)
        top, bottom = n * 0.36, n * 0.68
        dot = n * 0.78
    else:
        edge, fill, mark = (110, 0, 0, 255), (226, 28, 28, 255), (255, 255, 255, 255)
        d.ellipse((0, 0, n - 1, n - 1), fill=edge)
        k = SS * 1.1
        d.ellipse((k, k, n - 1 - k, n - 1 - k), fill=fill)
        top, bottom = n * 0.2, n * 0.6
        dot = n * 0.74
    w = max(SS * 1.6, n * 0.14)
    d.rounded_rectangle((n / 2 - w / 2, top, n / 2 + w / 2, bottom), radius=w / 2, fill=mark)
    dw = w * 1.05
    d.ellipse((n / 2 - dw / 2, dot - dw / 2, n / 2 + dw / 2, dot + dw / 2), fill=mark)
    return reduce(img, (px, px))


def icon_image(px, badge):
    img = emblem(px, plain_rim=px < 24)
    if badge:
        b = round(px * 0.56)
        mark = exclamation_badge(b, badge)
        layer = Image.new("RGBA", (px, px), (0, 0, 0, 0))
        layer.paste(mark, (px - b, px - b))
        img = Image.alpha_composite(img, layer)
    return img


def write_ico(path_out, images):
    """An icon file of 32-bit DIB images with AND masks."""
    entries, blobs = [], []
    for img in images:
        w, h = img.size
        rgba = img.convert("RGBA")
        px = rgba.load()
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = px[x, y]
                xor += bytes((b, g, r, a))
        stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0,
                             len(xor) + len(mask), 0, 0, 0, 0)
        blobs.append(header + bytes(xor) + bytes(mask))
        entries.append((w, h))
    offset = 6 + 16 * len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    for (w, h), blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path_out, "wb") as f:
        f.write(out)


def write_bmp(path_out, img):
    """A 24-bit bottom-up BMP with a BITMAPINFOHEADER, 96 dpi."""
    img = img.convert("RGB")
    w, h = img.size
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    raw = img.tobytes()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        line = raw[y * w * 3:(y + 1) * w * 3]
        row[0:w * 3:3] = line[2::3]
        row[1:w * 3:3] = line[1::3]
        row[2:w * 3:3] = line[0::3]
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path_out, "wb") as f:
        f.write(head + info + bytes(pixels))


# ---------------------------------------------------------------- title

def platter_watermark(size, centre, radius):
    """A disk platter's faint rings with its spindle and an arm."""
    w, h = size
    n = (w * SS, h * SS)
    layer = Image.new("RGBA", n, (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    cx, cy, r = centre[0] * SS, centre[1] * SS, radius * SS
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(255, 255, 255, 14))
    for k in range(6, 100, 9):
        rr = r * k / 100
        d.ellipse((cx - rr, cy - rr, cx + rr, cy + rr), outline=(255, 255, 255, 18), width=SS)
    d.ellipse((cx - r, cy - r, cx + r, cy + r), outline=(255, 255, 255, 40), width=2 * SS)
    hub = r * 0.16
    d.ellipse((cx - hub, cy - hub, cx + hub, cy + hub), outline=(255, 255, 255, 40), width=2 * SS)
    # The head arm, from a pivot outside the platter towards its middle.
    px_, py_ = cx - r * 0.95, cy + r * 0.7
    tx, ty = cx - r * 0.28, cy - r * 0.36
    d.line((px_, py_, tx, ty), fill=(255, 255, 255, 36), width=round(r * 0.06))
    pr = r * 0.11
    d.ellipse((px_ - pr, py_ - pr, px_ + pr, py_ + pr), fill=(255, 255, 255, 34))
    return reduce(layer, size)


def title_background():
    """The title picture without the buttons."""
    w, h = TITLE_SIZE
    img = vertical_gradient(TITLE_SIZE, NAVY_TOP, NAVY_BOTTOM).convert("RGBA")
    # A soft glow behind the emblem and the name.
    glow = Image.new("RGBA", TITLE_SIZE, (0, 0, 0, 0))
    ImageDraw.Draw(glow).ellipse((-60, -70, 230, 150), fill=(120, 180, 255, 60))
    img = Image.alpha_composite(img, glow.filter(ImageFilter.GaussianBlur(40)))
    img = Image.alpha_composite(img, platter_watermark(TITLE_SIZE, (318, 176), 118))

    # The footer band with its hairline.
    footer = Image.new("RGBA", TITLE_SIZE, (0, 0, 0, 0))
    fd = ImageDraw.Draw(footer)
    fd.rectangle((0, 240, w, h), fill=FOOTER + (235,))
    fd.line((0, 240, w, 240), fill=(255, 255, 255, 50))
    img = Image.alpha_composite(img, footer)

    # The emblem.
    em = emblem(76)
    layer = Image.new("RGBA", TITLE_SIZE, (0, 0, 0, 0))
    layer.paste(em, (16, 18))
    img = Image.alpha_composite(img, shadow_of(layer, (2, 3), 3, 120))
    img = Image.alpha_composite(img, layer)

    # The name, slanted, with a shadow.
    name_font = font(FONT_SANS_BOLD, 44)
    name = text_layer(TITLE_SIZE, (104, 20), "Kestrel", name_font, (255, 255, 255, 255))
    name = name.transform(TITLE_SIZE, Image.AFFINE, (1, 0.18, -0.18 * 52, 0, 1, 0), BICUBIC)
    img = Image.alpha_composite(img, shadow_of(name, (2, 2), 2, 150))
    img = Image.alpha_composite(img, name)
    sub = text_layer(TITLE_SIZE, (106, 74), "ハードディスク故障診断プログラム",
                     font(FONT_JP_P, 15), (214, 230, 247, 255))
    img = Image.alpha_composite(img, shadow_of(sub, (1, 1), 0, 140))
    img = Image.alpha_composite(img, sub)

    # A rufous rule fading out to the right.
    rule = Image.new("RGBA", TITLE_SIZE, (0, 0, 0, 0))
    rp = rule.load()
    for x in range(106, 336):
        a = round(255 * (1 - (x - 106) / 230) ** 1.3)
        rp[x, 99] = ACCENT + (a,)
        rp[x, 100] = ACCENT + (a * 2 // 3,)
    img = Image.alpha_composite(img, rule)

    jp12 = font(FONT_JP_P, 12)
    hint = text_layer(TITLE_SIZE, (w // 2, 130), "ボタンを押すと、診断結果をブラウザで表示します。",
                      jp12, (232, 240, 250, 255), anchor="mm")
    img = Image.alpha_composite(img, shadow_of(hint, (1, 1), 0, 140))
    img = Image.alpha_composite(img, hint)
    note = text_layer(TITLE_SIZE, (w // 2, 224), "S.M.A.R.T.情報にもとづく故障予測と健康診断",
                      jp12, (170, 198, 228, 255), anchor="mm")
    img = Image.alpha_composite(img, note)

    club = text_layer(TITLE_SIZE, (163, 258), "Corvidクラブ", jp12, (170, 198, 228, 255), anchor="rm")
    img = Image.alpha_composite(img, club)
    copy = text_layer(TITLE_SIZE, (10, 258), "© Corvid", font(FONT_SANS, 10),
                      (120, 150, 185, 255), anchor="lm")
    img = Image.alpha_composite(img, copy)
    return img.convert("RGB")


# ---------------------------------------------------------------- buttons

def crop(bg, button):
    x, y = button["pos"]
    w, h = button["size"]
    return bg.crop((x, y, x + w, y + h))


def pulse_icon(n, colour):
    """A heartbeat line in a white disc, n x n at SS scale, RGBA."""
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse((0, 0, n - 1, n - 1), fill=(255, 255, 255, 255))
    k = n / 100
    pts = [(14, 54), (34, 54), (42, 36), (52, 74), (60, 26), (68, 54), (86, 54)]
    d.line([(x * k, y * k) for x, y in pts], fill=colour, width=round(8 * k), joint="curve")
    return img


def diagnose_button(bg, state):
    w, h = DIAGNOSE["size"]
    base = crop(bg, DIAGNOSE).convert("RGBA")
    n = (w * SS, h * SS)
    press = state == "pressed"
    dx, dy = (SS, 2 * SS) if press else (0, 0)
    box = (4 * SS + dx, 4 * SS + dy, (w - 5) * SS + dx, (h - 6) * SS + dy)
    radius = 13 * SS

    layer = Image.new("RGBA", n, (0, 0, 0, 0))
    # The drop shadow under the button (less when pressed).
    sh = Image.new("RGBA", n, (0, 0, 0, 0))
    off = (SS, SS) if press else (2 * SS, 3 * SS)
    ImageDraw.Draw(sh).rounded_rectangle(
        (box[0] + off[0], box[1] + off[1], box[2] + off[0], box[3] + off[1]),
        radius=radius, fill=(0, 8, 24, 150))
    layer = Image.alpha_composite(layer, sh.filter(ImageFilter.GaussianBlur(3 * SS)))

    if state == "focused":
        ring = Image.new("RGBA", n, (0, 0, 0, 0))
        grow = 3 * SS
        ImageDraw.Draw(ring).rounded_rectangle(
            (box[0] - grow, box[1] - grow, box[2] + grow, box[3] + grow),
            radius=radius + grow, fill=(255, 236, 140, 255))
        layer = Image.alpha_composite(layer, ring.filter(ImageFilter.GaussianBlur(SS)))

    # The body: a dark edge, then the rufous face.
    edge = rounded_mask(n, box, radius)
    layer = Image.alpha_composite(layer, gradient_mask_fill(n, (130, 52, 6), (96, 34, 4), edge))
    face_box = (box[0] + SS, box[1] + SS, box[2] - SS, box[3] - SS)
    face = rounded_mask(n, face_box, radius - SS)
    if press:
        top, bottom = (196, 84, 14), (222, 120, 36)
    elif state == "focused":
        top, bottom = (255, 190, 92), (222, 106, 26)
    else:
        top, bottom = RUFOUS_LIGHT, RUFOUS_DARK
    layer = Image.alpha_composite(layer, gradient_mask_fill(n, top, bottom, face))
    # The gloss on the upper half (a dimmer one when pressed).
    gloss_box = (face_box[0] + 2 * SS, face_box[1] + SS, face_box[2] - 2 * SS,
                 face_box[1] + (face_box[3] - face_box[1]) * 0.48)
    gm = rounded_mask(n, gloss_box, radius - 3 * SS)
    gloss = gradient_mask_fill(n, (255, 255, 255), (255, 255, 255), gm)
    ga = gm.point(lambda v: v * (40 if press else 90) // 255)
    gloss.putalpha(ga)
    layer = Image.alpha_composite(layer, gloss)
    if press:
        # An inner shadow along the top edge.
        inner = Image.new("RGBA", n, (0, 0, 0, 0))
        ImageDraw.Draw(inner).rounded_rectangle(face_box, radius=radius - SS,
                                                outline=(90, 30, 0, 160), width=3 * SS)
        inner = inner.filter(ImageFilter.GaussianBlur(2 * SS))
        inner.putalpha(ImageChops.multiply(inner.getchannel("A"), face))
        layer = Image.alpha_composite(layer, inner)

    # The pulse icon on the left.
    icon_n = 36 * SS
    icon = pulse_icon(icon_n, (214, 96, 22, 255) if not press else (190, 80, 16, 255))
    iy = (box[1] + box[3]) // 2 - icon_n // 2
    ix = box[0] + 16 * SS
    ring = Image.new("RGBA", n, (0, 0, 0, 0))
    ImageDraw.Draw(ring).ellipse((ix - 2 * SS, iy - 2 * SS, ix + icon_n + 2 * SS, iy + icon_n + 2 * SS),
                                 fill=(120, 46, 4, 110))
    layer = Image.alpha_composite(layer, ring)
    layer.alpha_composite(icon, (ix, iy))

    out = Image.alpha_composite(base, reduce(layer, (w, h)))

    # The label, drawn at its own size for crisp strokes.
    label_font = font(FONT_JP, 32)
    cx = (box[0] + box[2]) / 2 / SS + 22
    cy = (box[1] + box[3]) / 2 / SS
    label = text_layer((w, h), (cx, cy), "診断", label_font, (255, 255, 255, 255),
                       anchor="mm", stroke=1)
    out = Image.alpha_composite(out, shadow_of(label, (1, 2), 1, 170 if not press else 110))
    out = Image.alpha_composite(out, label)
    return out.convert("RGB")


def service_button(bg, state):
    """The maker's emblem on a white tab hanging from the top edge."""
    w, h = SERVICE["size"]
    base = crop(bg, SERVICE).convert("RGBA")
    n = (w * SS, h * SS)
    press = state == "pressed"
    dy = SS if press else 0
    layer = Image.new("RGBA", n, (0, 0, 0, 0))
    box = (2 * SS, -10 * SS, (w - 2) * SS, (h - 3) * SS + dy)
    sh = Image.new("RGBA", n, (0, 0, 0, 0))
    ImageDraw.Draw(sh).rounded_rectangle((box[0] + SS, box[1], box[2] + SS, box[3] + 2 * SS),
                                         radius=6 * SS, fill=(0, 8, 24, 150))
    layer = Image.alpha_composite(layer, sh.filter(ImageFilter.GaussianBlur(2 * SS)))
    if state == "focused":
        ImageDraw.Draw(layer).rounded_rectangle(
            (box[0] - SS, box[1], box[2] + SS, box[3] + SS), radius=7 * SS, fill=ACCENT + (255,))
    plate = rounded_mask(n, box, 6 * SS)
    top, bottom = ((226, 230, 236), (206, 212, 222)) if press else ((255, 255, 255), (226, 232, 240))
    layer = Image.alpha_composite(layer, gradient_mask_fill(n, top, bottom, plate))
    # The raven.
    ink = (16, 18, 24, 255)
    s = 0.21 * SS
    ox, oy = 3 * SS, -2 * SS + dy
    ld = ImageDraw.Draw(layer)
    draw_poly(ld, transform(raven_outline(), s, ox, oy), ink)
    for a, b in raven_legs():
        ld.line((a[0] * s + ox, a[1] * s + oy, b[0] * s + ox, b[1] * s + oy), fill=ink,
                width=round(3.5 * s))
    out = Image.alpha_composite(base, reduce(layer, (w, h)))
    label = text_layer((w, h), (24, 13 + dy // SS), "Corvid", font(FONT_SANS_BOLD, 9),
                       ink, anchor="lm")
    out = Image.alpha_composite(out, label)
    return out.convert("RGB")


def club_button(bg, state):
    """The club's address as a link."""
    w, h = CLUB["size"]
    base = crop(bg, CLUB).convert("RGBA")
    press = state == "pressed"
    focused = state == "focused"
    dx = 1 if press else 0
    colour = {"normal": (150, 206, 255, 255), "focused": (255, 222, 120, 255),
              "pressed": (210, 160, 70, 255)}[state]
    layer = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    if focused:
        d.rounded_rectangle((0, 0, w - 1, h - 1), radius=4, fill=(255, 255, 255, 28),
                            outline=(255, 222, 120, 120))
    # A small arrow mark before the address.
    ax, ay = 6 + dx, h // 2 + dx
    d.polygon([(ax, ay - 4), (ax + 5, ay), (ax, ay + 4)], fill=colour)
    f = font(FONT_SANS, 11)
    d.text((14 + dx, h // 2 + dx), CLUB_TEXT, font=f, fill=colour, anchor="lm")
    if focused or press:
        tw = d.textlength(CLUB_TEXT, font=f)
        d.line((14 + dx, h - 3 + dx, 14 + dx + tw, h - 3 + dx), fill=colour)
    return Image.alpha_composite(base, layer).convert("RGB")


STATES = ("normal", "focused", "pressed")


def build(outdir):
    os.makedirs(outdir, exist_ok=True)
    bg = title_background()

    strip = Image.new("RGB", STRIP_SIZE, (0, 0, 0))
    title = bg.copy()
    for button, draw in ((DIAGNOSE, diagnose_button), (SERVICE, service_button), (CLUB, club_button)):
        w, h = button["size"]
        for row, state in enumerate(STATES):
            pic = draw(bg, state)
            assert pic.size == (w, h)
            strip.paste(pic, (button["strip_x"], row * h))
            if state == "normal":
                # The title shows each button as it looks at rest, so the
                # picture is whole even before the panel is drawn over it.
                title.paste(pic, button["pos"])

    write_bmp(os.path.join(outdir, "title.bmp"), title)
    write_bmp(os.path.join(outdir, "buttons.bmp"), strip)
    sizes = (16, 24, 32, 48)
    write_ico(os.path.join(outdir, "kestrel.ico"), [icon_image(s, None) for s in sizes])
    write_ico(os.path.join(outdir, "kestrel-warning.ico"), [icon_image(s, "yellow") for s in sizes])
    write_ico(os.path.join(outdir, "kestrel-error.ico"), [icon_image(s, "red") for s in sizes])


def main(argv):
    if len(argv) != 2:
        sys.exit("usage: gen_artwork.py OUTDIR")
    build(argv[1])


if __name__ == "__main__":
    main(sys.argv)
