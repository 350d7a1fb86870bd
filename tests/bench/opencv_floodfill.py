#!/usr/bin/python3
# OpenCV's flood fill, timed one fill at a time for magicwand_bench: it loads the image given as the
# only argument, answers "ready", and then answers each "x y tolerance connectivity" line with the
# seconds cv2.floodFill took by the clock and in CPU time (fixed range, mask only, lo = up = tolerance - 1, into a mask cleared
# beforehand) and the number of pixels it filled.
import sys
import time

import cv2
import numpy as np


def main():
    image = cv2.imread(sys.argv[1], cv2.IMREAD_COLOR)
    if image is None:
        sys.exit("cannot read " + sys.argv[1])
    h, w = image.shape[:2]
    mask = np.zeros((h + 2, w + 2), np.uint8)
    print("ready", flush=True)
    for line in sys.stdin:
        x, y, tol, conn = (int(v) for v in line.split())
        mask[:] = 0
        diff = (tol - 1,) * 3
        flags = conn | cv2.FLOODFILL_FIXED_RANGE | cv2.FLOODFILL_MASK_ONLY | (1 << 8)
        t0, c0 = time.perf_counter(), time.process_time()
        cv2.floodFill(image, mask, (x, y), 0, diff, diff, flags)
        elapsed, cpu = time.perf_counter() - t0, time.process_time() - c0
        # OpenCV marks the mask's one-pixel frame too: only the inside is the region.
        print("%.9f %.9f %d" % (elapsed, cpu, int(np.count_nonzero(mask[1:-1, 1:-1]))), flush=True)


if __name__ == "__main__":
    main()
