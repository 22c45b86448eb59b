#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a stereo pair of camera size for the full alignment's benchmark:
#   make_tilted_pair.py FOLDER [WIDTH HEIGHT]      (default 4000 x 3000)
# FOLDER/l.jpg and FOLDER/r.jpg are quality-90 4:2:0 JPEGs of a scene of random shapes over fine
# grain (a photograph's detail, so that the codecs do a photograph's work); the right eye is
# turned by 0.8 degrees, scaled by 1.004, 3 pixels lower and 40 pixels to the left.
# FOLDER/pair.mpo is the two files back to back. Needs python3-opencv.
import sys

import cv2
import numpy as np

folder = sys.argv[1]
width, height = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) == 4 else (4000, 3000)
rng = np.random.default_rng(7)
margin = 200
scene = np.zeros((height + 2 * margin, width + 2 * margin, 3), np.uint8)
scene[:] = (110, 120, 130)
for _ in range(6000):
    colour = tuple(int(c) for c in rng.integers(0, 256, 3))
    x, y = int(rng.integers(0, scene.shape[1])), int(rng.integers(0, scene.shape[0]))
    size = int(rng.integers(4, 160))
    if rng.random() < 0.5:
        cv2.circle(scene, (x, y), size, colour, -1, cv2.LINE_AA)
    else:
        cv2.rectangle(scene, (x, y), (x + size, y + int(rng.integers(4, 160))), colour, -1, cv2.LINE_AA)
scene = cv2.GaussianBlur(scene, (0, 0), 1.2)
scene = cv2.add(scene, rng.normal(0, 6, scene.shape).astype(np.int16), dtype=cv2.CV_8U)


def eye(angle, scale, down, across):
    # Pixel p of the eye shows the scene at R(-angle) (p - c) / scale + c + (across, -down).
    a = np.deg2rad(angle)
    m = np.array([[np.cos(a), np.sin(a)], [-np.sin(a), np.cos(a)]]) / scale
    c = np.array([(width - 1) / 2, (height - 1) / 2])
    t = c - m @ c + np.array([across + margin, -down + margin])
    return cv2.warpAffine(scene, np.hstack([m, t[:, None]]), (width, height),
                          flags=cv2.INTER_CUBIC | cv2.WARP_INVERSE_MAP)


jpeg = [cv2.IMWRITE_JPEG_QUALITY, 90]  # 4:2:0, the library's default
files = []
for name, view in (("l.jpg", eye(0, 1, 0, 0)), ("r.jpg", eye(0.8, 1.004, 3, 40))):
    ok, data = cv2.imencode(".jpg", view, jpeg)
    open(f"{folder}/{name}", "wb").write(data.tobytes())
    files.append(data.tobytes())
open(f"{folder}/pair.mpo", "wb").write(files[0] + files[1])
