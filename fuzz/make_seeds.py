#!/usr/bin/env python3
"""Writes the hand-made seeds of the chunk and PNG fuzzers into fuzz/corpus/.

Chunk seeds: saved states as the plug-in writes them (magic, version, two
doubles) and the damaged or odd ones a session file can carry. PNG seeds:
tiny images of every colour type and bit depth, plain and interlaced, with
and without transparency, each behind the fuzzer's first byte (which picks
decoding into a new bitmap or into an existing one), plus the two editor
images. The dispatcher fuzzer's seeds are inputs a run found and kept.
"""
import os
import shutil
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


def chunk_seeds():
    header = struct.pack("<ii", 0x70666674, 0x00010000)
    values = {
        "default": (50.0, 50.0),
        "low": (0.0, 0.0),
        "high": (100.0, 100.0),
        "mixed": (25.0, 75.0),
        "out-of-range": (-40.0, 1e9),
        "nan": (float("nan"), float("inf")),
    }
    for name, (a, b) in values.items():
        write("chunk", name, header + struct.pack("<dd", a, b))
    write("chunk", "header-only", header)
    write("chunk", "one-value", header + struct.pack("<d", 30.0))
    write("chunk", "no-header", struct.pack("<dd", 10.0, 20.0))
    write("chunk", "trailing", header + struct.pack("<dd", 60.0, 40.0) + b"\x01\x02\x03")
    write("chunk", "other-version", struct.pack("<ii", 0x70666674, 0x00020000) +
          struct.pack("<dd", 70.0, 10.0))
    write("chunk", "empty", b"")


def png_chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def adam7_passes(w, h):
    starts = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4),
              (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    for x0, y0, dx, dy in starts:
        cols = range(x0, w, dx)
        rows = range(y0, h, dy)
        if len(cols) and len(rows):
            yield cols, rows


def png(w, h, color_type, depth, interlace=False, trns=None, palette=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    maxval = (1 << depth) - 1

    def sample(x, y, c):
        return (x * 37 + y * 101 + c * 53) % (maxval + 1)

    def row_bytes(cols, y):
        bits = []
        for x in cols:
            for c in range(channels):
                bits.append(sample(x, y, c))
        if depth < 8:
            out, acc, n = bytearray(), 0, 0
            for v in bits:
                acc = (acc << depth) | v
                n += depth
                if n == 8:
                    out.append(acc)
                    acc, n = 0, 0
            if n:
                out.append(acc << (8 - n))
            return bytes(out)
        if depth == 16:
            return b"".join(struct.pack(">H", v) for v in bits)
        return bytes(bits)

    raw = bytearray()
    if interlace:
        for cols, rows in adam7_passes(w, h):
            for y in rows:
                raw += b"\x00" + row_bytes(cols, y)
    else:
        for y in range(h):
            raw += b"\x01" if y % 2 else b"\x00"  # a Sub-filtered row now and then
            line = row_bytes(range(w), y)
            if y % 2:
                bpp = max(1, channels * depth // 8)
                line = bytes((line[i] - (line[i - bpp] if i >= bpp else 0)) & 0xFF
                             for i in range(len(line)))
            raw += line
    out = b"\x89PNG\r\n\x1a\n"
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, color_type, 0, 0,
                                          1 if interlace else 0))
    if palette is not None:
        out += png_chunk(b"PLTE", palette)
    if trns is not None:
        out += png_chunk(b"tRNS", trns)
    out += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    out += png_chunk(b"IEND", b"")
    return out


def png_seeds():
    cases = []
    for depth in (1, 2, 4, 8, 16):
        cases.append((f"gray{depth}", 0, depth, None, None))
    cases.append(("gray8-trns", 0, 8, struct.pack(">H", 5), None))
    for depth in (8, 16):
        cases.append((f"rgb{depth}", 2, depth, None, None))
        cases.append((f"graya{depth}", 4, depth, None, None))
        cases.append((f"rgba{depth}", 6, depth, None, None))
    cases.append(("rgb8-trns", 2, 8, struct.pack(">HHH", 1, 2, 3), None))
    for depth in (1, 2, 4, 8):
        entries = 1 << depth
        palette = bytes((i * 40 + c * 70) % 256 for i in range(entries) for c in range(3))
        cases.append((f"palette{depth}", 3, depth, None, palette))
        cases.append((f"palette{depth}-trns", 3, depth,
                      bytes((i * 90) % 256 for i in range(entries)), palette))
    for name, color_type, depth, trns, palette in cases:
        for interlace in (False, True):
            image = png(7, 5, color_type, depth, interlace, trns, palette)
            suffix = "-adam7" if interlace else ""
            write("png", f"{name}{suffix}-new", b"\x00" + image)
            write("png", f"{name}{suffix}-into", b"\x01" + image)
    write("png", "one-pixel", b"\x00" + png(1, 1, 6, 8))
    for name in ("knob_64x64px_31frames.png", "duskmere_back_404x250px.png"):
        with open(os.path.join(ROOT, "resources", "img", name), "rb") as f:
            write("png", name.replace(".png", ""), b"\x00" + f.read())


if __name__ == "__main__":
    for folder in ("chunk", "png"):
        shutil.rmtree(os.path.join(HERE, "corpus", folder), ignore_errors=True)
    chunk_seeds()
    png_seeds()
