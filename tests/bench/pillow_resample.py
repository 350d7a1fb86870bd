#!/usr/bin/python3
# Pillow's two-pass resampling filters, timed one resize at a time for resample_bench: it reads
# "filter image width height" lines and answers each with the seconds that resize took, so that
# the benchmark can interleave these runs with its own. Images are binary PPM paths given as
# name=path arguments.
import sys
import time

from PIL import Image

FILTERS = {"lanczos3": Image.LANCZOS, "triangle": Image.BILINEAR, "mitchell": Image.BICUBIC}


def main():
    images = {}
    for arg in sys.argv[1:]:
        name, path = arg.split("=", 1)
        images[name] = Image.open(path).convert("RGB")
        images[name].load()
    print("ready", flush=True)
    for line in sys.stdin:
        kind, name, w, h = line.split()
        image, size, flt = images[name], (int(w), int(h)), FILTERS[kind]
        t0 = time.perf_counter()
        image.resize(size, flt)
        print("%.9f" % (time.perf_counter() - t0), flush=True)


if __name__ == "__main__":
    main()
