#!/usr/bin/env python3
"""Reads the BMP files the graphics test saved with ImageMagick and checks every pixel."""
import subprocess
import sys

PATTERN = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0),
           (0, 0, 255), (255, 255, 0), (0, 255, 255), (255, 0, 255)]
# Pixel format ordinals of the files: pf1bit .. pf32bit.
FORMATS = {1: 1, 2: 4, 3: 8, 4: 16, 5: 16, 6: 24, 7: 32}


def expected(ordinal, x, y):
    if ordinal == 1:
        return (255, 255, 255) if (x * y + x) % 2 else (0, 0, 0)
    return PATTERN[(x + 2 * y) % 8]


def pixels(convert, path):
    # "x,y: (r,g,b)" lines at 8 bits per channel.
    out = subprocess.run([convert, path, "-depth", "8", "-alpha", "off", "txt:-"],
                         check=True, capture_output=True, text=True).stdout
    result = {}
    for line in out.splitlines():
        if line.startswith("#"):
            continue
        coords, rest = line.split(":", 1)
        x, y = (int(v) for v in coords.split(","))
        values = rest.strip().split(")")[0].lstrip("(").split(",")
        result[(x, y)] = tuple(int(float(v)) for v in values[:3])
    return result


def main():
    convert, folder = sys.argv[1], sys.argv[2]
    failures = 0
    for ordinal, bits in FORMATS.items():
        path = f"{folder}/graphics_out_pf{ordinal}.bmp"
        got = pixels(convert, path)
        if len(got) != 35:
            print(f"{path}: {len(got)} pixels, expected 7x5")
            failures += 1
            continue
        for y in range(5):
            for x in range(7):
                if got[(x, y)] != expected(ordinal, x, y):
                    print(f"{path} ({bits} bits): pixel {x},{y} is {got[(x, y)]}, "
                          f"expected {expected(ordinal, x, y)}")
                    failures += 1
    if failures:
        sys.exit(1)
    print("all saved bitmaps decode as drawn")


if __name__ == "__main__":
    main()
