#!/usr/bin/python3
# Pillow's two-pass resampling filters, timed one resize at a time for resample_bench: it reads
# "filter image width height" lines and answers each with the seconds that resize took by the clock
# and in CPU time, so that the benchmark can interleave these runs with its own; "filter image width
# height path" also writes the result there as a binary PPM, for the benchmark to compare with its
# own. Images are binary PPM paths given as name=path arguments.
import sys
import time

from PIL import Image

FILTERS = {"lanczos3": Image.LANCZOS, "triangle": Image.BILINEAR}


def main():
    images = {}
    for arg in sys.argv[1:]:
        name, path = arg.split("=", 1)
        images[name] = Image.open(path).convert("RGB")
        images[name].load()
    print("ready", flush=True)
    for line in sys.stdin:
        kind, name, w, h, *path = line.split()
        image, size, flt = images[name], (int(w), int(h)), FILTERS[kind]
        t0, c0 = time.perf_counter(), time.process_time()
        result = image.resize(size, flt)
        t1, c1 = time.perf_counter(), time.process_time()
        if path:
            result.save(path[0], "PPM")
        print("%.9f %.9f" % (t1 - t0, c1 - c0), flush=True)


if __name__ == "__main__":
    main()
