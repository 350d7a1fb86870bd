#!/usr/bin/env python3
# Regenerates the ImageMagick references of the separable resampling filters.
#
# Our filters map output pixel i to source position i * (S - 1) / (D - 1) (end pixels on end
# pixels); ImageMagick maps pixel centres, (i + 0.5) * S / D - 0.5. With odd factors k the two
# grids meet: enlarging S -> (S - 1) * k + 1 equals ImageMagick's S -> S * k cropped by
# (k - 1) / 2, and reducing (D - 1) * k + 1 -> D equals ImageMagick's reduction of the same
# source padded by (k - 1) / 2 on each side. The tests compare pixels whose window lies inside
# the image, where edge handling plays no part.
import random, subprocess, sys, os

HERE = os.path.dirname(os.path.abspath(__file__))
K = 3
ENLARGE_SRC = (15, 13)
REDUCE_DST = (12, 10)
PAD = (K - 1) // 2
FILTERS = {
    "triangle": ["-filter", "Triangle"],
    "hermite": ["-filter", "Hermite"],
    "bell": ["-filter", "Quadratic"],
    "bspline": ["-filter", "Spline"],
    "lanczos3": ["-define", "filter:filter=Sinc", "-define", "filter:window=Sinc", "-define", "filter:lobes=3"],
    "mitchell": ["-filter", "Mitchell"],
}


def write_ppm(path, w, h, data):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(bytes(data))


# Noise kept away from 0 and 255: Lanczos overshoots, and where the two programs clamp between
# their passes differs (they do not pass in the same order).
def noise(w, h, seed):
    rnd = random.Random(seed)
    return [rnd.randrange(48, 208) for _ in range(w * h * 3)]


def convert(src, dst, args, size):
    subprocess.run(["convert", src] + args + ["-resize", "%dx%d!" % size, "-depth", "8", dst], check=True)


def main():
    ew, eh = ENLARGE_SRC
    write_ppm(os.path.join(HERE, "enlarge_src.ppm"), ew, eh, noise(ew, eh, 1))
    rw, rh = (REDUCE_DST[0] - 1) * K + 1 + 2 * PAD, (REDUCE_DST[1] - 1) * K + 1 + 2 * PAD
    write_ppm(os.path.join(HERE, "reduce_src_padded.ppm"), rw, rh, noise(rw, rh, 2))
    for name, args in FILTERS.items():
        # Enlarged by K, before the crop of PAD pixels the test applies.
        convert(os.path.join(HERE, "enlarge_src.ppm"), os.path.join(HERE, "enlarge_%s.ppm" % name), args, (ew * K, eh * K))
        convert(os.path.join(HERE, "reduce_src_padded.ppm"), os.path.join(HERE, "reduce_%s.ppm" % name), args, REDUCE_DST)
    version = subprocess.run(["convert", "-version"], check=True, capture_output=True, text=True).stdout.split("\n")[0]
    with open(os.path.join(HERE, "GENERATED_WITH.txt"), "w") as f:
        f.write(" ".join(version.split()[1:5]) + "\n")


if __name__ == "__main__":
    sys.exit(main())
