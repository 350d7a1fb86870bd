#!/usr/bin/python3
# OpenCV's answers for the magic-wand judge. Reads jobs, one a line, from the file given as the only
# argument:
#   image.pnm x y tolerance connectivity out-prefix
# and writes for each:
#   out-prefix.fill.pgm     cv2.floodFill, fixed range, mask only, lo = up = tolerance - 1 (255 = in)
#   out-prefix.all.pgm      every pixel whose channels all differ from the seed's by less than the
#                           tolerance (numpy)
#   out-prefix.outer.pgm    the region's outer contour drawn filled (cv2.drawContours)
#   out-prefix.contour.txt  that contour's points with CHAIN_APPROX_NONE, "x y" a line
import sys

import cv2
import numpy as np


def main():
    with open(sys.argv[1]) as jobs:
        for line in jobs:
            if not line.strip():
                continue
            path, x, y, tol, conn, out = line.split()
            x, y, tol, conn = int(x), int(y), int(tol), int(conn)
            image = cv2.imread(path, cv2.IMREAD_UNCHANGED)
            if image is None:
                sys.exit("cannot read " + path)
            h, w = image.shape[:2]
            mask = np.zeros((h + 2, w + 2), np.uint8)
            diff = (tol - 1,) * 3 if image.ndim == 3 else tol - 1
            flags = conn | cv2.FLOODFILL_FIXED_RANGE | cv2.FLOODFILL_MASK_ONLY | (255 << 8)
            cv2.floodFill(image, mask, (x, y), 0, diff, diff, flags)
            region = mask[1:-1, 1:-1]
            cv2.imwrite(out + ".fill.pgm", region)

            seed = image[y, x].astype(np.int16)
            near = np.abs(image.astype(np.int16) - seed) < tol
            if near.ndim == 3:
                near = near.all(axis=2)
            cv2.imwrite(out + ".all.pgm", near.astype(np.uint8) * 255)

            contours, _ = cv2.findContours(region, cv2.RETR_EXTERNAL, cv2.CHAIN_APPROX_NONE)
            outer = np.zeros_like(region)
            if contours:
                cv2.drawContours(outer, contours, -1, 255, cv2.FILLED)
            cv2.imwrite(out + ".outer.pgm", outer)
            with open(out + ".contour.txt", "w") as f:
                if len(contours) != 1:
                    f.write("contours %d\n" % len(contours))
                for c in contours[:1]:
                    for p in c.reshape(-1, 2):
                        f.write("%d %d\n" % (p[0], p[1]))


if __name__ == "__main__":
    main()
