// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/samples/heif_builder.h"

#include <algorithm>

#include "tools/samples/jpeg_writer.h"

namespace veltrane::samples {

namespace {

void Put(Bytes& out, std::uint64_t value, int size) {
    for (int i = size; i-- > 0;) out.push_back(static_cast<std::uint8_t>(i >= 8 ? 0 : value >> (8 * i)));
}

void PutType(Bytes& out, const std::string& type) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(i < static_cast<int>(type.size()) ? type[static_cast<std::size_t>(i)] : ' '));
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// The meta box for data whose 'mdat' payload starts at file position mdatStart.
Bytes Meta(const HeifSample& s, std::uint64_t mdatStart) {
    const auto& L = s.layout;
    Bytes hdlr;
    Put(hdlr, 0, 4);
    PutType(hdlr, "pict");
    Put(hdlr, 0, 12);
    hdlr.push_back(0);
    Bytes pitm;
    Put(pitm, s.primary, 2);

    Bytes infes;
    for (const auto& item : s.items) {
        Bytes infe;
        if (L.infeVersion >= 2) {
            Put(infe, item.id, L.infeVersion == 2 ? 2 : 4);
            Put(infe, 0, 2);
            PutType(infe, item.type);
            infe.push_back(0);
            if (item.type == "mime") {
                Append(infe, Bytes(item.contentType.begin(), item.contentType.end()));
                infe.push_back(0);
            }
        } else {
            Put(infe, item.id, 2);
            Put(infe, 0, 2);
            infe.push_back(0);
            infe.push_back(0);
        }
        Append(infes, HeifFullBox("infe", static_cast<std::uint8_t>(L.infeVersion), item.hidden ? 1 : 0, infe));
    }
    Bytes iinf;
    Put(iinf, s.items.size(), L.iinfVersion == 0 ? 2 : 4);
    Append(iinf, infes);

    // iloc, with the item data laid out in mdat and idat in item order.
    Bytes iloc, idat;
    iloc.push_back(static_cast<std::uint8_t>(L.offsetSize << 4 | L.lengthSize));
    iloc.push_back(static_cast<std::uint8_t>(L.baseOffsetSize << 4 | (L.ilocVersion >= 1 ? L.indexSize : 0)));
    Put(iloc, s.items.size(), L.ilocVersion < 2 ? 2 : 4);
    std::uint64_t mdatAt = mdatStart;
    for (const auto& item : s.items) {
        Put(iloc, item.id, L.ilocVersion < 2 ? 2 : 4);
        if (L.ilocVersion >= 1) Put(iloc, item.constructionMethod, 2);
        Put(iloc, 0, 2);
        std::uint64_t start = item.constructionMethod == 1 ? idat.size() : mdatAt;
        std::uint64_t base = 0;
        if (L.baseOffsetSize != 0) base = start, start = 0;
        Put(iloc, base, L.baseOffsetSize);
        const int n = std::max(1, item.extents);
        Put(iloc, static_cast<std::uint64_t>(n), 2);
        std::uint64_t done = 0;
        for (int e = 0; e < n; ++e) {
            const std::uint64_t length = e + 1 == n ? item.data.size() - done : item.data.size() / static_cast<std::uint64_t>(n);
            if (L.ilocVersion >= 1) Put(iloc, 0, L.indexSize);
            Put(iloc, start + done, L.offsetSize);
            Put(iloc, length, L.lengthSize);
            done += length;
        }
        if (item.constructionMethod == 1) Append(idat, item.data);
        else mdatAt += item.data.size();
    }

    Bytes iref;
    for (const auto& r : s.references) {
        Bytes ref;
        const int idSize = L.irefVersion == 0 ? 2 : 4;
        Put(ref, r.from, idSize);
        Put(ref, r.to.size(), 2);
        for (const auto to : r.to) Put(ref, to, idSize);
        Append(iref, HeifBox(r.type, ref));
    }

    // Properties: one hvcC shared by the images, then per item its ispe and colr.
    Bytes ipco = HeifBox("hvcC", Bytes(23, 0));
    Bytes ipma;
    int properties = 1;
    std::uint32_t entries = 0;
    Bytes associations;
    for (const auto& item : s.items) {
        std::vector<int> indices;
        if (item.type == "hvc1" && item.hvcC.empty()) indices.push_back(1);
        if (!item.hvcC.empty()) {
            Append(ipco, HeifBox("hvcC", item.hvcC));
            indices.push_back(++properties);
        }
        if (item.width != 0) {
            Bytes ispe;
            Put(ispe, item.width, 4);
            Put(ispe, item.height, 4);
            Append(ipco, HeifFullBox("ispe", 0, 0, ispe));
            indices.push_back(++properties);
        }
        if (!item.icc.empty()) {
            Bytes colr;
            PutType(colr, "prof");
            Append(colr, item.icc);
            Append(ipco, HeifBox("colr", colr));
            indices.push_back(++properties);
        }
        for (const Bytes& property : item.properties) {
            Append(ipco, property);
            indices.push_back(++properties);
        }
        if (indices.empty()) continue;
        ++entries;
        Put(associations, item.id, L.ipmaVersion < 1 ? 2 : 4);
        associations.push_back(static_cast<std::uint8_t>(indices.size()));
        for (const int i : indices) {
            const bool essential = i <= properties - static_cast<int>(item.properties.size());
            const std::uint64_t flag = essential ? ((L.ipmaFlags & 1) ? 0x8000 : 0x80) : 0;
            Put(associations, static_cast<std::uint64_t>(i) | flag, (L.ipmaFlags & 1) ? 2 : 1);
        }
    }
    Put(ipma, entries, 4);
    Append(ipma, associations);
    Bytes iprp = HeifBox("ipco", ipco);
    Append(iprp, HeifFullBox("ipma", static_cast<std::uint8_t>(L.ipmaVersion), static_cast<std::uint32_t>(L.ipmaFlags), ipma));

    Bytes grpl;
    for (const auto& g : s.groups) {
        Bytes group;
        Put(group, g.id, 4);
        Put(group, g.entities.size(), 4);
        for (const auto e : g.entities) Put(group, e, 4);
        Append(grpl, HeifFullBox(g.type, 0, 0, group));
    }

    Bytes meta;
    Append(meta, HeifFullBox("hdlr", 0, 0, hdlr));
    Append(meta, HeifFullBox("pitm", 0, 0, pitm));
    Append(meta, HeifFullBox("iinf", static_cast<std::uint8_t>(L.iinfVersion), 0, iinf));
    Append(meta, HeifFullBox("iloc", static_cast<std::uint8_t>(L.ilocVersion), 0, iloc));
    if (!s.references.empty()) Append(meta, HeifFullBox("iref", static_cast<std::uint8_t>(L.irefVersion), 0, iref));
    Append(meta, HeifBox("iprp", iprp));
    if (!idat.empty()) Append(meta, HeifBox("idat", idat));
    if (!s.groups.empty()) Append(meta, HeifBox("grpl", grpl));
    Bytes full;
    Put(full, 0, 4);  // version and flags
    Append(full, meta);
    return HeifBox("meta", full, L.metaLargeSize);
}

}  // namespace

Bytes HeifBox(const std::string& type, const Bytes& payload, bool largeSize) {
    Bytes box;
    if (largeSize) {
        Put(box, 1, 4);
        PutType(box, type);
        Put(box, payload.size() + 16, 8);
    } else {
        Put(box, payload.size() + 8, 4);
        PutType(box, type);
    }
    Append(box, payload);
    return box;
}

Bytes HeifFullBox(const std::string& type, std::uint8_t version, std::uint32_t flags, const Bytes& payload) {
    Bytes full(4 + payload.size());
    full[0] = version;
    full[1] = static_cast<std::uint8_t>(flags >> 16);
    full[2] = static_cast<std::uint8_t>(flags >> 8);
    full[3] = static_cast<std::uint8_t>(flags);
    std::copy(payload.begin(), payload.end(), full.begin() + 4);
    return HeifBox(type, full);
}

Bytes BuildHeif(const HeifSample& s) {
    Bytes ftyp;
    PutType(ftyp, "heic");
    Put(ftyp, 0, 4);
    for (const char* brand : {"mif1", "heic"}) PutType(ftyp, brand);
    Bytes file = HeifBox("ftyp", ftyp);
    // The meta box does not change size with the offsets it holds: build it once to learn that.
    const std::uint64_t mdatStart = file.size() + Meta(s, 0).size() + 8;
    Append(file, Meta(s, mdatStart));
    Bytes mdat;
    for (const auto& item : s.items)
        if (item.constructionMethod == 0) Append(mdat, item.data);
    Append(file, HeifBox("mdat", mdat));
    return file;
}

Bytes ExifItemPayload(const Bytes& tiff, const Bytes& prefix) {
    Bytes out(4 + prefix.size() + tiff.size());
    out[3] = static_cast<std::uint8_t>(prefix.size());  // prefixes are short
    std::copy(prefix.begin(), prefix.end(), out.begin() + 4);
    std::copy(tiff.begin(), tiff.end(), out.begin() + 4 + static_cast<std::ptrdiff_t>(prefix.size()));
    return out;
}

Bytes SmallMp4(std::size_t mediaBytes) {
    Bytes mp4 = HeifBox("ftyp", {'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm', 'm', 'p', '4', '1'});
    Append(mp4, HeifBox("moov", HeifBox("free", Bytes(20, 0))));
    Bytes media(mediaBytes);
    for (std::size_t i = 0; i < media.size(); ++i) media[i] = static_cast<std::uint8_t>(i * 7);
    Append(mp4, HeifBox("mdat", media));
    return mp4;
}

Bytes SamsungTrailer(const std::vector<SamsungRecord>& records) {
    const auto little32 = [](Bytes& out, std::uint64_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    Bytes out, directory = {'S', 'E', 'F', 'H'};
    little32(directory, 107);
    little32(directory, records.size());
    std::vector<std::size_t> starts;
    for (const auto& r : records) {
        starts.push_back(out.size());
        Append(out, {0, 0, static_cast<std::uint8_t>(r.type), static_cast<std::uint8_t>(r.type >> 8)});
        little32(out, r.name.size());
        Append(out, Bytes(r.name.begin(), r.name.end()));
        Append(out, r.data);
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::size_t end = i + 1 < records.size() ? starts[i + 1] : out.size();
        Append(directory, {0, 0, static_cast<std::uint8_t>(records[i].type), static_cast<std::uint8_t>(records[i].type >> 8)});
        little32(directory, out.size() - starts[i]);
        little32(directory, end - starts[i]);
    }
    Append(out, directory);
    little32(out, directory.size());
    Append(out, {'S', 'E', 'F', 'T'});
    return out;
}

HeifSample SampleSpatialHeif(bool withGroup) {
    HeifSample s;
    SampleExif right;
    right.model = "Sample Stereo Camera (right)";
    const Bytes leftIcc = {0, 0, 1, 0, 'l', 'e', 'f', 't', 'a', 'c', 's', 'p'};
    const Bytes rightIcc = {0, 0, 1, 0, 'r', 'i', 'g', 'h', 't', 'a', 'c', 's', 'p'};
    s.items = {
        {1, "hvc1", Bytes(300, 0x11), false, 0, 1, 64, 48, leftIcc, {}, {}, {}},
        {2, "Exif", ExifItemPayload(SampleExifTiff({}, ByteOrder::Little)), true, 0, 1, 0, 0, {}, {}, {}, {}},
        {3, "hvc1", Bytes(280, 0x33), false, 0, 1, 64, 48, rightIcc, {}, {}, {}},
        {4, "Exif", ExifItemPayload(SampleExifTiff(right, ByteOrder::Big)), true, 0, 1, 0, 0, {}, {}, {}, {}},
    };
    s.references = {{"cdsc", 2, {1}}, {"cdsc", 4, {3}}};
    if (withGroup) s.groups = {{"ster", 5, {1, 3}}};
    return s;
}

}  // namespace veltrane::samples
