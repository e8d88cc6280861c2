#!/usr/bin/env python3
"""Writes the generated fuzz seeds into tests/fuzz/corpus/<format>/: one small
file per PNG, BMP and TGA layout our readers take apart by hand or configure
libpng for, and JPEG encodings made with ImageMagick's convert when present.

Existing files are never replaced; run it again after adding a layout here.
convert cannot write arithmetic coding or restart markers: the JPEG seeds named
arithmetic_*, restart_* and progressive_arithmetic_*, progressive_restart_* and
cmyk_progressive_* are lossless re-encodes of the convert seeds through
libjpeg's jpeg_write_coefficients with arith_code, restart_interval or
jpeg_simple_progression set.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(fmt, name, data):
    path = os.path.join(CORPUS, fmt, name)
    if os.path.exists(path):
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print(f"{fmt}/{name}: {len(data)} bytes")


def pattern(w, h, channels, seed=1, levels=256):
    """Deterministic pixels with flat areas and edges, so every filter and
    run kind has something to do."""
    px = []
    s = seed
    for y in range(h):
        row = []
        for x in range(w):
            for c in range(channels):
                if (x // 3 + y // 2) % 3 == 0:
                    v = (x * 17 + y * 31 + c * 71) % levels
                else:
                    s = (s * 214013 + 2531011) & 0xFFFFFFFF
                    v = (s >> 16) % levels if (x + y) % 4 == 0 else (c * 40) % levels
                row.append(v)
        px.append(row)
    return px


# PNG ------------------------------------------------------------------------

def chunk(kind, body):
    crc = zlib.crc32(kind + body) & 0xFFFFFFFF
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)


CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def pack_row(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in samples)
    out, acc, bits = bytearray(), 0, 0
    for v in samples:
        acc = acc << depth | v
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filter_rows(rows, bpp):
    """Each row gets filter type y % 5, so all five unfilters are reached."""
    out = bytearray()
    prev = bytes(len(rows[0])) if rows else b""
    for y, row in enumerate(rows):
        ft = y % 5
        f = bytearray()
        for i, v in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][ft]
            f.append((v - pred) & 0xFF)
        out += bytes([ft]) + f
        prev = row
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def png(w, h, colour, depth, px, interlace=False, extra=b""):
    ch = CHANNELS[colour]
    bpp = max(1, ch * depth // 8)
    raw = b""
    if interlace:
        for x0, y0, dx, dy in ADAM7:
            sub = []
            for y in range(y0, h, dy):
                xs = range(x0, w, dx)
                if not xs:
                    continue
                sub.append(pack_row([v for x in xs for v in px[y][x * ch:(x + 1) * ch]], depth))
            if sub and sub[0]:
                raw += filter_rows(sub, bpp)
    else:
        raw = filter_rows([pack_row(r, depth) for r in px], bpp)
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, 1 if interlace else 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def plte(n):
    return chunk(b"PLTE", bytes((k * 37 % 256, k * 91 % 256, 255 - k) [c] for k in range(n)
                                for c in range(3)))


def make_png():
    for depth in (1, 2, 4, 8):
        n = 1 << depth
        write("png", f"palette{depth}_13x7", png(13, 7, 3, depth, pattern(13, 7, 1, 3, n),
                                                  extra=plte(n)))
    write("png", "palette8_tRNS_partial_16x16",
          png(16, 16, 3, 8, pattern(16, 16, 1, 5), extra=plte(256) +
              chunk(b"tRNS", bytes(range(0, 256, 8)))))
    write("png", "palette4_tRNS_interlaced_11x9",
          png(11, 9, 3, 4, pattern(11, 9, 1, 7, 16), True,
              plte(16) + chunk(b"tRNS", bytes([0, 128, 255, 64]))))
    for depth in (1, 2, 4, 8, 16):
        write("png", f"grey{depth}_19x5", png(19, 5, 0, depth,
                                              pattern(19, 5, 1, 11, 1 << min(depth, 16))))
    write("png", "grey8_tRNS_12x6", png(12, 6, 0, 8, pattern(12, 6, 1, 13),
                                        extra=chunk(b"tRNS", struct.pack(">H", 40))))
    write("png", "grey2_tRNS_interlaced_9x9",
          png(9, 9, 0, 2, pattern(9, 9, 1, 17, 4), True, chunk(b"tRNS", struct.pack(">H", 1))))
    write("png", "grey_alpha8_interlaced_10x10",
          png(10, 10, 4, 8, pattern(10, 10, 2, 19), True))
    write("png", "grey_alpha16_7x6", png(7, 6, 4, 16, pattern(7, 6, 2, 23, 65536)))
    write("png", "rgb16_interlaced_9x8", png(9, 8, 2, 16, pattern(9, 8, 3, 29, 65536), True))
    write("png", "rgba16_6x5", png(6, 5, 6, 16, pattern(6, 5, 4, 31, 65536)))
    write("png", "rgb8_tRNS_14x4",
          png(14, 4, 2, 8, pattern(14, 4, 3, 37), extra=chunk(b"tRNS", struct.pack(">HHH", 0, 40, 80))))
    write("png", "rgb16_tRNS_5x5",
          png(5, 5, 2, 16, pattern(5, 5, 3, 41, 65536),
              extra=chunk(b"tRNS", struct.pack(">HHH", 1, 2, 3))))
    write("png", "rgba8_interlaced_1x17", png(1, 17, 6, 8, pattern(1, 17, 4, 43), True))
    # Ancillary chunks the wrapper lets libpng parse and ignore, gamma included.
    write("png", "rgb8_gAMA_pHYs_tEXt_8x8",
          png(8, 8, 2, 8, pattern(8, 8, 3, 47),
              extra=chunk(b"gAMA", struct.pack(">I", 45455)) +
              chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1)) +
              chunk(b"tEXt", b"Comment\0seed")))
    # Image data split over several IDAT chunks.
    whole = png(20, 20, 6, 8, pattern(20, 20, 4, 53))
    head, rest = whole[:33], whole[33:]
    n = struct.unpack(">I", rest[:4])[0]
    z = rest[8:8 + n]
    parts = b"".join(chunk(b"IDAT", z[k:k + 64]) for k in range(0, len(z), 64))
    write("png", "rgba8_split_idat_20x20", head + parts + chunk(b"IEND", b""))


# BMP ------------------------------------------------------------------------

def bmp(w, h, bpp, rows, palette=b"", info=40, compression=0, top_down=False, masks=b"",
        colours=0, pixel_data=None):
    """rows are packed rows top first; pixel_data, if given, replaces them."""
    if pixel_data is None:
        stride = (w * bpp + 31) // 32 * 4
        order = rows if top_down else rows[::-1]
        pixel_data = b"".join(r.ljust(stride, b"\0") for r in order)
    if info == 12:
        hdr = struct.pack("<IHHHH", 12, w, h, 1, bpp)
    else:
        hdr = struct.pack("<IiiHHIIiiII", info, w, -h if top_down else h, 1, bpp, compression,
                          len(pixel_data), 2835, 2835, colours, 0)
        hdr += masks if info > 40 else b""
        hdr = hdr.ljust(info, b"\0")
        if info == 40:
            hdr += masks
    off = 14 + len(hdr) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(pixel_data), 0, 0, off) + hdr + palette + pixel_data


def bmp_palette(n, entry=4):
    return b"".join(bytes([255 - k * 7 % 256, k * 53 % 256, k * 29 % 256, 0][:entry]) for k in range(n))


def index_rows(w, h, bpp, seed, levels=None):
    px = pattern(w, h, 1, seed, levels or 1 << bpp)
    return [pack_row(r, bpp) for r in px]


def make_bmp():
    for bpp in (1, 4, 8):
        n = 1 << bpp
        for td in (False, True):
            name = f"{bpp}bit_{'top_down' if td else 'bottom_up'}_13x6"
            write("bmp", name, bmp(13, 6, bpp, index_rows(13, 6, bpp, bpp), bmp_palette(n),
                                   top_down=td, colours=n))
    write("bmp", "8bit_palette_of_5_9x4", bmp(9, 4, 8, index_rows(9, 4, 8, 2, 8), bmp_palette(5),
                                              colours=5))
    for td in (False, True):
        suffix = "top_down" if td else "bottom_up"
        rgb = pattern(7, 5, 3, 61)
        write("bmp", f"24bit_{suffix}_7x5",
              bmp(7, 5, 24, [bytes(r[x * 3 + 2 - c] for x in range(7) for c in range(3))
                             for r in rgb], top_down=td))
        rgba = pattern(6, 4, 4, 67)
        write("bmp", f"32bit_{suffix}_6x4", bmp(6, 4, 32, [bytes(r) for r in rgba], top_down=td))
        write("bmp", f"32bit_no_alpha_{suffix}_5x3",
              bmp(5, 3, 32, [bytes(v if i % 4 != 3 else 0 for i, v in enumerate(r))
                             for r in pattern(5, 3, 4, 71)], top_down=td))
        px16 = pattern(5, 4, 1, 73, 65536)
        write("bmp", f"16bit_555_{suffix}_5x4",
              bmp(5, 4, 16, [b"".join(struct.pack("<H", v & 0x7FFF) for v in r) for r in px16],
                  top_down=td))
        write("bmp", f"bitfields_565_{suffix}_5x4",
              bmp(5, 4, 16, [b"".join(struct.pack("<H", v) for v in r) for r in px16],
                  compression=3, masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F), top_down=td))
        px32 = pattern(4, 3, 1, 79, 1 << 30)
        write("bmp", f"bitfields_32_bgr_{suffix}_4x3",
              bmp(4, 3, 32, [b"".join(struct.pack("<I", v * 3) for v in r) for r in px32],
                  compression=3, masks=struct.pack("<III", 0xFF, 0xFF00, 0xFF0000), top_down=td))
    # Odd masks: 10-bit channels, a mask with a hole, alpha bit fields in a 40-byte header.
    px32 = pattern(3, 3, 1, 83, 1 << 30)
    rows32 = [b"".join(struct.pack("<I", v * 4 + 3) for v in r) for r in px32]
    write("bmp", "bitfields_101010_3x3",
          bmp(3, 3, 32, rows32, compression=3,
              masks=struct.pack("<III", 0x3FF00000, 0x000FFC00, 0x000003FF)))
    write("bmp", "bitfields_mask_with_hole_3x3",
          bmp(3, 3, 32, rows32, compression=3, masks=struct.pack("<III", 0xF0F00000, 0xFF00, 0xFF)))
    write("bmp", "alphabitfields_info40_3x3",
          bmp(3, 3, 32, rows32, compression=6,
              masks=struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000)))
    write("bmp", "bitfields_16_4444_v3_52_4x2",
          bmp(4, 2, 16, [b"".join(struct.pack("<H", v) for v in r)
                         for r in pattern(4, 2, 1, 89, 65536)], info=52, compression=3,
              masks=struct.pack("<III", 0x0F00, 0x00F0, 0x000F)))
    write("bmp", "bitfields_16_4444_v3_56_4x2",
          bmp(4, 2, 16, [b"".join(struct.pack("<H", v) for v in r)
                         for r in pattern(4, 2, 1, 97, 65536)], info=56, compression=3,
              masks=struct.pack("<IIII", 0x0F00, 0x00F0, 0x000F, 0xF000)))
    write("bmp", "v4_24bit_top_down_3x3",
          bmp(3, 3, 24, [bytes(r) for r in pattern(3, 3, 3, 101)], info=108, top_down=True))
    write("bmp", "v5_8bit_4x4", bmp(4, 4, 8, index_rows(4, 4, 8, 103), bmp_palette(256),
                                    info=124))
    write("bmp", "os2v2_64_4bit_5x3", bmp(5, 3, 4, index_rows(5, 3, 4, 107), bmp_palette(16),
                                           info=64))
    for bpp in (1, 4, 24):
        pal = bmp_palette(1 << bpp, 3) if bpp <= 8 else b""
        rows = (index_rows(6, 3, bpp, 109) if bpp <= 8 else
                [bytes(r) for r in pattern(6, 3, 3, 109)])
        write("bmp", f"core_{bpp}bit_6x3", bmp(6, 3, bpp, rows, pal, info=12))
    # Last row without its padding.
    full = bmp(5, 2, 24, [bytes(r) for r in pattern(5, 2, 3, 113)])
    write("bmp", "24bit_last_row_unpadded_5x2", full[:-1])
    # Run-length: runs, literals of odd length, a delta jump, end of line and of image.
    rle8 = bytes([3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 1, 5, 7, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0,
                  0, 1])
    write("bmp", "rle8_delta_literals_8x4",
          bmp(8, 4, 8, [], bmp_palette(8), compression=1, colours=8, pixel_data=rle8))
    rle4 = bytes([7, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 1, 1, 4, 0xAB, 0, 1])
    write("bmp", "rle4_delta_literals_9x3",
          bmp(9, 3, 4, [], bmp_palette(16), compression=2, colours=16, pixel_data=rle4))
    write("bmp", "rle8_no_end_of_image_3x2",
          bmp(3, 2, 8, [], bmp_palette(4), compression=1, colours=4,
              pixel_data=bytes([3, 1, 0, 0, 3, 2, 0, 0])))


# TGA ------------------------------------------------------------------------

def tga(w, h, kind, depth, pixels, descriptor=0, image_id=b"", cmap=None):
    cm_type, cm_first, cm_len, cm_depth, cm_data = 0, 0, 0, 0, b""
    if cmap:
        cm_type, cm_len, cm_depth, cm_data = 1, len(cmap) // 3, 24, cmap
    hdr = struct.pack("<BBBHHBHHHHBB", len(image_id), cm_type, kind, cm_first, cm_len, cm_depth,
                      0, 0, w, h, depth, descriptor)
    return hdr + image_id + cm_data + pixels


def tga_rle(pixels, bpp, w):
    """Greedy packets: runs of 2..128 equal pixels, literals otherwise, across rows."""
    px = [pixels[k:k + bpp] for k in range(0, len(pixels), bpp)]
    out, k = bytearray(), 0
    while k < len(px):
        n = 1
        while k + n < len(px) and n < 128 and px[k + n] == px[k]:
            n += 1
        if n >= 2:
            out += bytes([0x80 | (n - 1)]) + px[k]
            k += n
            continue
        j = k
        while j < len(px) and j - k < 128 and (j + 1 >= len(px) or px[j + 1] != px[j]):
            j += 1
        j = max(j, k + 1)
        out += bytes([j - k - 1]) + b"".join(px[k:j])
        k = j
    return bytes(out)


def flat_pixels(w, h, bpp, seed):
    """Rows with long runs and noisy stretches, in file (B, G, R[, A]) order."""
    out = bytearray()
    for r in pattern(w, h, bpp, seed):
        for x in range(w):
            if x < w // 2:
                out += bytes((x // 4 * 60 + c * 11) % 256 for c in range(bpp))
            else:
                out += bytes(r[x * bpp:(x + 1) * bpp])
    return bytes(out)


def make_tga():
    origins = {"bottom_left": 0x00, "top_left": 0x20}
    for depth in (24, 32):
        bpp = depth // 8
        for origin, bits in origins.items():
            desc = bits | (8 if depth == 32 else 0)
            px = flat_pixels(12, 5, bpp, depth + bits)
            write("tga", f"raw{depth}_{origin}_12x5", tga(12, 5, 2, depth, px, desc))
            write("tga", f"rle{depth}_{origin}_12x5", tga(12, 5, 10, depth, tga_rle(px, bpp, 12),
                                                          desc))
    write("tga", "raw32_no_alpha_bits_right_to_left_4x3",
          tga(4, 3, 2, 32, flat_pixels(4, 3, 4, 7), 0x10))
    write("tga", "rle32_all_alpha_zero_top_right_5x2",
          tga(5, 2, 10, 32, tga_rle(bytes(b if i % 4 != 3 else 0 for i, b in
                                           enumerate(flat_pixels(5, 2, 4, 9))), 4, 5), 0x30))
    write("tga", "raw8_grey_top_left_9x4", tga(9, 4, 3, 8, flat_pixels(9, 4, 1, 11), 0x20))
    write("tga", "rle8_grey_bottom_left_130x2",
          tga(130, 2, 11, 8, tga_rle(flat_pixels(130, 2, 1, 13), 1, 130)))
    write("tga", "rle24_max_run_200x1", tga(200, 1, 10, 24, tga_rle(bytes([1, 2, 3]) * 200, 3,
                                                                   200)))
    write("tga", "rle24_image_id_colour_map_6x3",
          tga(6, 3, 10, 24, tga_rle(flat_pixels(6, 3, 3, 15), 3, 6), 0x20, b"seed id",
              bytes(range(48))))


# JPEG -----------------------------------------------------------------------

def make_jpeg():
    convert = shutil.which("convert")
    if not convert:
        print("convert not found: JPEG seeds skipped", file=sys.stderr)
        return
    variants = {
        "baseline_420_16x16": ["-sampling-factor", "2x2,1x1,1x1"],
        "baseline_444_13x7": ["-sampling-factor", "1x1,1x1,1x1"],
        "baseline_422_odd_21x11": ["-sampling-factor", "2x1,1x1,1x1"],
        "baseline_440_9x17": ["-sampling-factor", "1x2,1x1,1x1"],
        "grey_15x9": ["-colorspace", "Gray"],
        "progressive_420_24x16": ["-interlace", "JPEG"],
        "progressive_grey_17x5": ["-colorspace", "Gray", "-interlace", "JPEG"],
        "optimised_huffman_20x12": ["-define", "jpeg:optimize-coding=true"],
        "cmyk_12x8": ["-colorspace", "CMYK"],
        "quality_100_8x8": ["-quality", "100"],
        "quality_5_40x24": ["-quality", "5"],
        "one_pixel_1x1": [],
    }
    with tempfile.TemporaryDirectory() as tmp:
        for name, opts in variants.items():
            w, h = (int(v) for v in name.rsplit("_", 1)[1].split("x"))
            out = os.path.join(tmp, name + ".jpg")
            subprocess.run([convert, "-seed", "7", "-size", f"{w}x{h}", "plasma:fractal",
                            "-strip", "-quality", "80", *opts, out], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(out, "rb") as f:
                write("jpeg", name, f.read())


if __name__ == "__main__":
    make_png()
    make_bmp()
    make_tga()
    make_jpeg()
