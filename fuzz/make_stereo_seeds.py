#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed files of the stereo fuzz target into fuzz/corpus/stereo_fuzz/.

    python3 fuzz/make_stereo_seeds.py

Each seed frames two JPEG images as stereo_fuzz.cpp reads them: one options byte (layout in
bits 0-2, alignment in bit 3), the left image's length as four little-endian bytes, the left
image, the right image; or one JPS image, whose length field reaches past the end. The images are the two of the bundled samples/sample.mpo. The output is
the same on every run.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIGNATURE = b"\xff\xd8\xff\xe1"


def frame(options, left, right):
    return bytes([options]) + struct.pack("<I", len(left)) + left + right


def jps(options, image, descriptor):
    """One image framed as a JPS file (a left length past the end), with an APP3 JPS descriptor
    (separation, flags, layout, type) after its start of image."""
    app3 = b"_JPSJPS_" + struct.pack(">H", 4) + bytes(descriptor) + b"\x00\x00"
    segment = b"\xff\xe3" + struct.pack(">H", len(app3) + 2) + app3
    return bytes([options]) + struct.pack("<I", 0xFFFFFFFF) + image[:2] + segment + image[2:]


def main():
    with open(os.path.join(HERE, "..", "samples", "sample.mpo"), "rb") as f:
        mpo = f.read()
    second = mpo.index(SIGNATURE, 1)
    left, right = mpo[:second], mpo[second:]
    seeds = {
        # The valid pair in each layout, plain and aligned.
        "cross.bin": frame(0, left, right),
        "parallel_aligned.bin": frame(5, left, right),
        "anaglyph_aligned.bin": frame(6, left, right),
        # The right image cut in the middle of its entropy-coded data.
        "truncated_right.bin": frame(1, left, right[: len(right) // 2]),
        # Both eyes the same image, one of them with its height bytes in the frame header zeroed.
        "zero_height.bin": frame(2, left, right.replace(b"\xff\xc0\x00\x11\x08\x00\xf0", b"\xff\xc0\x00\x11\x08\x00\x00", 1)),
        # The left image as a JPS file, side by side, left field first: aligned into the MPO
        # layout (7), and over/under, right field first, into the cross layout.
        "jps_to_mpo_aligned.bin": jps(7 | 8, left, [0, 4, 2, 1]),
        "jps_over_under.bin": jps(0, left, [0, 0, 3, 1]),
    }
    folder = os.path.join(HERE, "corpus", "stereo_fuzz")
    os.makedirs(folder, exist_ok=True)
    for name, content in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content)


if __name__ == "__main__":
    main()
