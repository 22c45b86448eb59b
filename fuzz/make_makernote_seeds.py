#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the maker-note and IPTC seed files of the fuzz corpus.

    python3 fuzz/make_makernote_seeds.py [--jpeg-target NAME] [--tiff-target NAME]

Every seed is one function below whose docstring says what the file holds and, for the
malformed ones, what it breaks. The maker-note seeds go to fuzz/corpus/<jpeg target>/ as
JPEG files and to fuzz/corpus/<tiff target>/ as TIFF files, all named makernote_*; the IPTC
seeds (APP13 section bytes as the section reader stores them) go to fuzz/corpus/iptc_fuzz/.
The output is the same on every run.
"""
import argparse
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------
# TIFF and JPEG framing


class Order:
    def __init__(self, big):
        self.big = big
        self.mark = b"MM\x00\x2a" if big else b"II\x2a\x00"

    def u16(self, v):
        return struct.pack(">H" if self.big else "<H", v & 0xFFFF)

    def u32(self, v):
        return struct.pack(">I" if self.big else "<I", v & 0xFFFFFFFF)


LE, BE = Order(False), Order(True)

BYTE, ASCII, SHORT, LONG, RATIONAL, UNDEFINED = 1, 2, 3, 4, 5, 7


def entry_short(o, tag, *values):
    return (tag, SHORT, len(values), b"".join(o.u16(v) for v in values))


def entry_long(o, tag, *values):
    return (tag, LONG, len(values), b"".join(o.u32(v) for v in values))


def entry_rational(o, tag, *pairs):
    return (tag, RATIONAL, len(pairs), b"".join(o.u32(n) + o.u32(d) for n, d in pairs))


def entry_ascii(tag, text):
    return (tag, ASCII, len(text), text)


def entry_undefined(tag, data):
    return (tag, UNDEFINED, len(data), data)


def directory(o, entries, start, delta, raw_offsets=None):
    """A directory at note byte `start`: count, entries, zero link, then the values that take
    more than 4 bytes; a value at note byte p is stored as offset p + delta. raw_offsets maps
    an entry index to an offset written as is."""
    out = o.u16(len(entries))
    data = b""
    data_pos = start + 2 + 12 * len(entries) + 4
    for i, (tag, typ, count, value) in enumerate(entries):
        out += o.u16(tag) + o.u16(typ) + o.u32(count)
        if raw_offsets and i in raw_offsets:
            out += o.u32(raw_offsets[i])
        elif len(value) <= 4:
            out += value.ljust(4, b"\x00")
        else:
            out += o.u32(data_pos + len(data) + delta)
            data += value
            if len(data) % 2:
                data += b"\x00"
    return out + o.u32(0) + data


def note(o, prefix, directory_start, entries, delta, raw_offsets=None):
    """prefix padded with zeros to directory_start, then the directory."""
    return prefix.ljust(directory_start, b"\x00") + directory(o, entries, directory_start, delta,
                                                               raw_offsets)


def exif_tiff(o, make, model, version, make_note, after=()):
    """IFD0 (Make, Model, ExifOffset) at 8, the EXIF directory (ExifVersion, MakerNote, then
    `after`) right behind it, its values after it. make_note(offset) returns the note for the
    TIFF offset it will have; its length must not depend on the offset."""
    make_b, model_b = make.encode("latin-1") + b"\x00", model.encode("latin-1") + b"\x00"
    ifd0_entries = 3
    ifd0_size = 2 + 12 * ifd0_entries + 4
    ifd0_values = b""
    make_off = 8 + ifd0_size
    ifd0_values += make_b + (b"\x00" if len(make_b) % 2 else b"")
    model_off = 8 + ifd0_size + len(ifd0_values)
    ifd0_values += model_b + (b"\x00" if len(model_b) % 2 else b"")
    exif_off = 8 + ifd0_size + len(ifd0_values)
    ifd0 = o.u16(ifd0_entries)
    ifd0 += o.u16(0x010F) + o.u16(ASCII) + o.u32(len(make_b)) + (
        make_b.ljust(4, b"\x00") if len(make_b) <= 4 else o.u32(make_off))
    ifd0 += o.u16(0x0110) + o.u16(ASCII) + o.u32(len(model_b)) + (
        model_b.ljust(4, b"\x00") if len(model_b) <= 4 else o.u32(model_off))
    ifd0 += o.u16(0x8769) + o.u16(LONG) + o.u32(1) + o.u32(exif_off)
    ifd0 += o.u32(0)

    exif_entries = (1 if version else 0) + 1 + len(after)
    exif_size = 2 + 12 * exif_entries + 4
    note_off = exif_off + exif_size
    nb = make_note(note_off)
    exif = o.u16(exif_entries)
    if version:
        exif += o.u16(0x9000) + o.u16(UNDEFINED) + o.u32(4) + version
    exif += o.u16(0x927C) + o.u16(UNDEFINED) + o.u32(len(nb)) + o.u32(note_off)
    for tag, typ, count, value in after:
        assert len(value) <= 4
        exif += o.u16(tag) + o.u16(typ) + o.u32(count) + value.ljust(4, b"\x00")
    exif += o.u32(0)
    return o.mark + o.u32(8) + ifd0 + ifd0_values + exif + nb


def jpeg(tiff):
    """FF D8, the APP1 EXIF segment, an empty start of scan and FF D9: enough for the section
    reader, which stops at the start of scan."""
    payload = b"Exif\x00\x00" + tiff
    assert len(payload) + 2 <= 0xFFFF
    return b"\xff\xd8\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + b"\xff\xda\x00\x02\xff\xd9"


# ---------------------------------------------------------------------------------------------
# Maker notes: one valid note per layout, then malformed ones


def canon_settings():
    v = [0] * 33
    v[0], v[1], v[3], v[5], v[7], v[10], v[11] = 66, 2, 1, 1, 3, 1, 10
    v[13], v[15], v[16], v[23], v[24], v[25], v[28], v[32] = 65535, 1, 17, 21, 7, 1000, 8, 65535
    return v


def canon_entries(o):
    shot = [0] * 19
    shot[0], shot[7], shot[8], shot[13], shot[15], shot[18] = 38, 4, 3, 16388, 65524, 250
    return [entry_short(o, 0x0001, *canon_settings()), entry_short(o, 0x0004, *shot),
            entry_ascii(0x0006, b"IMG:PowerShot S40 JPEG\x00"), entry_long(o, 0x0008, 1001234),
            entry_short(o, 0x000F, 10, 257, 512, 1794, 3841), entry_long(o, 0x0010, 1)]


NIKON3_PREFIX = b"Nikon\x00\x02\x10\x00\x00MM\x00\x2a\x00\x00\x00\x08"


def layouts():
    """(name, byte order, make, model, version, prefix, D, offsets-from, entries)"""
    return [
        ("nikon_type3", BE, "NIKON CORPORATION", "NIKON D70", b"0220", NIKON3_PREFIX, 18, "note10",
         lambda o: [entry_undefined(0x0001, b"0210"), entry_short(o, 0x0002, 0, 200),
                    entry_rational(o, 0x0084, (180, 10), (700, 10), (35, 10), (45, 10)),
                    entry_ascii(0x008D, b"MODE2\x00"), entry_short(o, 0x00AA, 7)]),
        ("nikon_type1", LE, "NIKON", "E990", b"0210", b"Nikon\x00\x01\x00", 8, "tiff",
         lambda o: [entry_short(o, 0x0003, 12), entry_short(o, 0x0004, 1),
                    entry_short(o, 0x0009, 1), entry_rational(o, 0x000A, (150, 100))]),
        ("nikon_bare", BE, "NIKON", "E700", b"0200", b"", 0, "tiff",
         lambda o: [entry_ascii(0x0004, b"FINE  \x00"), entry_rational(o, 0x0085, (0, 1))]),
        ("olympus", LE, "OLYMPUS OPTICAL CO.,LTD", "C3030Z", b"0210", b"OLYMP\x00\x01\x00", 8,
         "tiff",
         lambda o: [entry_long(o, 0x0200, 0, 1, 0), entry_short(o, 0x0201, 2),
                    entry_short(o, 0x0202, 1), entry_rational(o, 0x0204, (100, 100)),
                    entry_ascii(0x0207, b"OK\x00"), entry_undefined(0x0F00, b"abcdefgh")]),
        ("casio_qvc", BE, "CASIO COMPUTER CO.,LTD", "EX-Z3", b"0220", b"QVC\x00\x00\x00", 6,
         "tiff",
         lambda o: [entry_short(o, 0x0002, 640, 480), entry_short(o, 0x0008, 2),
                    entry_undefined(0x0E00, b"PrintIM\x00"), entry_short(o, 0x3000, 2)]),
        ("casio", LE, "CASIO", "QV-3000EX", b"0210", b"", 0, "tiff",
         lambda o: [entry_short(o, 0x0001, 5), entry_long(o, 0x0006, 1500),
                    entry_long(o, 0x000A, 65537), entry_short(o, 0x0014, 64)]),
        ("fujifilm", BE, "FUJIFILM", "FinePix S2Pro", b"0220", b"FUJIFILM\x0c\x00\x00\x00", 12,
         "note",
         lambda o: [entry_undefined(0x0000, b"0130"), entry_ascii(0x1000, b"NORMAL \x00"),
                    entry_short(o, 0x1001, 3), entry_short(o, 0x1031, 512)]),
        ("canon", LE, "Canon", "Canon PowerShot S40", b"0220", b"", 0, "tiff", canon_entries),
        ("seiko", LE, "SEIKO EPSON CORP.", "PhotoPC 3000Z", b"0210", b"SEIKO\x00\x01\x00", 8,
         "tiff",
         lambda o: [entry_long(o, 0x0200, 0, 0, 0), entry_long(o, 0x020B, 1600),
                    entry_short(o, 0x0300, 1)]),
        ("sanyo", BE, "SANYO Electric Co.,Ltd.", "SR6", b"0210", b"SANYO\x00\x01\x00", 8, "tiff",
         lambda o: [entry_short(o, 0x0201, 0x0201),
                    entry_undefined(0x0F00, b"\x01\x02dump\x00\x1f")]),
        ("minolta", LE, "Minolta Co., Ltd.", "DiMAGE 7", b"0220", b"", 0, "tiff",
         lambda o: [entry_undefined(0x0000, b"MLY0"),
                    entry_undefined(0x0E00, b"PIM\x00\x01AB\x1f")]),
    ]


def layout_tiff(layout, make=None, note_bytes=None, after=()):
    name, o, mk, model, version, prefix, d, offsets, entries = layout
    note_order = LE if name == "fujifilm" else o

    def make_note(note_off):
        if note_bytes is not None:
            return note_bytes
        delta = {"tiff": note_off, "note10": -10, "note": 0}[offsets]
        return note(note_order, prefix, d, entries(note_order), delta)

    return exif_tiff(o, make or mk, model, version, make_note, after)


def maker_note_seeds():
    """(file name, bytes of the TIFF structure, sentence)"""
    seeds = []
    all_layouts = {l[0]: l for l in layouts()}
    for name, layout in all_layouts.items():
        after = ()
        if name == "fujifilm":
            after = (entry_long(BE, 0xA002, 640),)
        seeds.append((f"makernote_{name}", layout_tiff(layout, after=after),
                      f"A valid {name} maker note that decodes cleanly: entries of its table,"
                      f" values inside the entries and behind the directory."))

    canon = all_layouts["canon"]
    o = LE
    count_ffff = bytearray(note(o, b"", 0, [entry_long(o, 0x0008, 77)], 0))
    count_ffff[0:2] = b"\xff\xff"
    seeds.append(("makernote_canon_count_ffff", layout_tiff(canon, note_bytes=bytes(count_ffff)),
                  "Entry count 0xFFFF in a 18-byte note: the walk must stop at the note's end."))

    olympus = all_layouts["olympus"]
    for extra in (0, 1, 3, 7):
        cut = b"OLYMP\x00\x01\x00" + b"\x02\x00\x01\x02\x03\x04\x05\x06"[:extra]
        seeds.append((f"makernote_olympus_cut_{extra}", layout_tiff(olympus, note_bytes=cut),
                      f"An Olympus note of its 8-byte prefix and {extra} more bytes: the count or"
                      f" the first entry lies past the note."))
    seeds.append(("makernote_casio_qvc_only", layout_tiff(all_layouts["casio_qvc"],
                                                          note_bytes=b"QVC"),
                  "A Casio note of the three bytes QVC: the directory start 6 lies past its end."))

    nikon3 = all_layouts["nikon_type3"]
    nikon_note = note(BE, NIKON3_PREFIX, 18, nikon3[8](BE), -10)
    for make in ("Canon", "FUJIFILM", "OLYMPUS", "MINOLTA"):
        seeds.append((f"makernote_nikon3_in_{make.lower()}_file",
                      layout_tiff(canon if make == "Canon" else all_layouts[
                          {"FUJIFILM": "fujifilm", "OLYMPUS": "olympus",
                           "MINOLTA": "minolta"}[make]], make=make, note_bytes=nikon_note),
                      f"A Nikon type 3 note in a file whose make is {make}: read with that maker's"
                      f" layout, its prefix is taken for an entry count and its header for"
                      f" entries."))

    anywhere = [(0x0006, ASCII, 0xFFFFFFFF, b""), (0x0007, UNDEFINED, 16, b""),
                (0x0008, 12, 0xFFFFFFFF, b""), (0x0009, RATIONAL, 0x20000000, b""),
                (0x000C, BYTE, 200, b""), (0x0070, UNDEFINED, 5, b"")]
    offs = {0: 0xFFFFFFF0, 1: 0, 2: 0x7FFFFFFF, 3: 20, 4: 30, 5: 0xFFFFFFFF}
    seeds.append(("makernote_canon_offsets_anywhere",
                  layout_tiff(canon, note_bytes=note(o, b"", 0, anywhere, 0, offs)),
                  "Value offsets 0, 0x7FFFFFFF and 0xFFFFFFFF with counts up to 0xFFFFFFFF: every"
                  " value lies outside the note and is clipped to the EXIF bytes or empty."))

    many = [(0x0009, UNDEFINED, 60000, b"")] * 3000
    seeds.append(("makernote_canon_overlapping_values",
                  layout_tiff(canon, note_bytes=note(o, b"", 0, many, 0,
                                                     {i: 0 for i in range(3000)})),
                  "3000 entries that all point at the same 60000-byte block: the values taken"
                  " together are bounded, so the walk ends with an error instead of copying"
                  " 180 MB."))

    fuji = all_layouts["fujifilm"]
    fuji_full = note(LE, b"FUJIFILM\x0c\x00\x00\x00", 12, fuji[8](LE), 0)
    seeds.append(("makernote_fujifilm_cut_mid_entry",
                  layout_tiff(fuji, note_bytes=fuji_full[:20], after=(entry_long(BE, 0xA002, 640),)),
                  "A Fujifilm note cut inside its first entry in a big-endian file: the walk ends"
                  " with an error and the file's byte order must be back for ExifImageWidth."))

    lens = note(BE, NIKON3_PREFIX, 18, [entry_rational(BE, 0x0084, (180, 0)),
                                        entry_ascii(0x008D, b"MODE"),
                                        entry_ascii(0x008D, b"")], -10)
    seeds.append(("makernote_nikon_short_values", layout_tiff(nikon3, note_bytes=lens),
                  "A Nikon lens of one rational with a zero denominator and colour modes of 4 and"
                  " 0 characters: the decoders get fewer pieces than they read."))

    functions = note(o, b"", 0, [entry_short(o, 0x000F, *range(0, 65536, 257)),
                                 entry_short(o, 0x0001, 1), entry_short(o, 0x0004)], 0)
    seeds.append(("makernote_canon_short_arrays", layout_tiff(canon, note_bytes=functions),
                  "Canon arrays of 256, 1 and 0 items: custom functions above 15 and sub-fields"
                  " whose items are missing."))

    unknown_types = note(o, b"", 0, [(0x0006, 0, 5, b"\x01\x02\x03\x04"),
                                     (0x0007, 13, 0xFFFF, b"\x01\x02\x03\x04"),
                                     (0x0008, 0xFFFF, 1, b"\x01\x02\x03\x04")], 0)
    seeds.append(("makernote_canon_unknown_types", layout_tiff(canon, note_bytes=unknown_types),
                  "Field types 0, 13 and 0xFFFF: size 0, rendered as 0."))
    return seeds


# ---------------------------------------------------------------------------------------------
# IPTC


def dataset(record, number, value):
    return b"\x1c" + bytes([record, number]) + struct.pack(">H", len(value)) + value


def app13(datasets, length_field=None):
    body = b"Photoshop 3.0\x00" + b"8BIM\x04\x04\x00\x00" + struct.pack(">I", len(datasets)) + datasets
    return struct.pack(">H", (length_field if length_field is not None else len(body) + 2) & 0xFFFF) + body


def iptc_seeds():
    return [
        ("iptc_valid", app13(dataset(2, 0, b"\x00\x04") + dataset(2, 5, b"Frozen pond") +
                             dataset(2, 25, b"ice") + dataset(2, 25, b"winter") +
                             dataset(2, 25, b"ICE") + dataset(2, 90, b"Z\xfcrich") +
                             dataset(2, 120, b"A caption\r\non two lines") +
                             dataset(8, 10, b"01")),
         "Typical datasets: record version, name, three keywords (one a repeat), city, caption"
         " and the record-8 subfile."),
        ("iptc_length_past_end", app13(dataset(2, 5, b"Pond")) + b"\x1c\x02\x78\xff\xffshort",
         "A caption whose length 0xFFFF runs past the data: the value is cut, the parse ends."),
        ("iptc_marker_last_byte", app13(b"") + b"\x1c",
         "A 0x1C marker in the last byte: no record byte follows it."),
        ("iptc_header_at_end", app13(b"") + b"\x1c\x02\x5a\x00",
         "A dataset header that ends at the last byte: the value is empty."),
        ("iptc_no_photoshop_header", b"\x00\x20" + b"\x00" * 10 + dataset(2, 90, b"Oslo"),
         "No \"Photoshop 3.0\": the scan starts at position 13."),
        ("iptc_other_records", app13(dataset(2, 221, b"x") + dataset(1, 90, b"skipped") +
                                     dataset(8, 5, b"y") + dataset(8, 20, b"refused") +
                                     dataset(8, 25, b"refused")),
         "Unknown datasets (Custom_221, Custom_5), a record-1 dataset that is skipped, and"
         " record-8 datasets 20 and 25 that are multi-valued but have no table name."),
        ("iptc_quoted_keywords", app13(dataset(2, 25, b'"New York", Oslo') +
                                       dataset(2, 25, b'"say ""hi""",,') +
                                       dataset(2, 20, b'"unclosed') + dataset(2, 20, b",")),
         "Keywords with quotes, doubled quotes, empty items and an unclosed quote for the"
         " comma-list merge."),
        ("iptc_empty", b"", "No bytes at all."),
        ("iptc_many_datasets", app13(b"".join(dataset(2, 5 + (i % 4), bytes([65 + i % 26]))
                                              for i in range(400))),
         "400 small datasets: the list grows past 25 slots many times."),
        ("iptc_many_keywords", app13(b"".join(dataset(2, 25, b"%04d" % i) for i in range(1000))),
         "1000 different keywords: merging them one by one into the stored text would take"
         " quadratic time; the parse keeps the list open instead."),
    ]


# ---------------------------------------------------------------------------------------------


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--jpeg-target", default="jpeg_fuzz")
    parser.add_argument("--tiff-target", default="tiff_fuzz")
    parser.add_argument("--list", action="store_true", help="print every seed with its sentence")
    args = parser.parse_args()
    corpus = os.path.join(HERE, "corpus")
    lines = []
    for name, tiff, sentence in maker_note_seeds():
        if len(tiff) + 8 <= 0xFFFF:
            write(os.path.join(corpus, args.jpeg_target), name + ".jpg", jpeg(tiff))
        write(os.path.join(corpus, args.tiff_target), name + ".tif", tiff)
        lines.append(f"- {name}: {sentence}")
    for name, data, sentence in iptc_seeds():
        write(os.path.join(corpus, "iptc_fuzz"), name, data)
        lines.append(f"- {name}: {sentence}")
    update_readme(os.path.join(corpus, "README.md"), lines)
    if args.list:
        print("\n".join(lines))


README_SECTION = "## Maker-note and IPTC seeds (fuzz/make_makernote_seeds.py)"


def update_readme(path, lines):
    """Appends this script's section to the corpus README, in place of its earlier copy; the
    rest of the file is left as it is."""
    if not os.path.exists(path):
        return
    with open(path, encoding="utf-8") as f:
        text = f.read()
    at = text.find(README_SECTION)
    if at >= 0:
        text = text[:at].rstrip("\n") + "\n"
    section = (README_SECTION + "\n\nThe makernote_* files of jpeg_fuzz (.jpg) and tiff_fuzz (.tif)"
               " hold the same\nTIFF structure; iptc_fuzz holds APP13 section bytes.\n\n" +
               "\n".join(lines) + "\n")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text + "\n" + section)


if __name__ == "__main__":
    main()
