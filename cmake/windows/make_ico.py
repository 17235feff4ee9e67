#!/usr/bin/env python3
"""Writes a Windows icon (.ico) holding the given PNG pictures as they are (Windows Vista and
later read PNG entries): make_ico.py OUT.ico IN-16.png IN-32.png ..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("not a PNG picture")
    return struct.unpack(">II", data[16:24])


def main():
    out, pictures = sys.argv[1], sys.argv[2:]
    images = []
    for path in pictures:
        with open(path, "rb") as f:
            data = f.read()
        w, h = png_size(data)
        if w > 256 or h > 256:
            raise SystemExit(f"{path}: an icon picture is at most 256 x 256")
        images.append((w, h, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for w, h, data in images:
        # 256 is written as 0; colour count 0, reserved 0, one plane, 32 bits a pixel.
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    main()
