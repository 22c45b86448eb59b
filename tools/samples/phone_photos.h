// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Phone photos built from the published layouts (for the tests, the fuzz corpus and the benchmarks): a primary JPEG with the makers' container
// directory and an MP4 after it (with and without an MPF gain map), the older MicroVideo form,
// Samsung's trailer, and a depth photo with its data in extended XMP.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/samples/jpeg_writer.h"
#include "tools/samples/mpf_writer.h"

namespace veltrane::samples {


// (Through resize and memcpy: GCC 12 warns falsely about insert after push_back.)
inline void AppendRaw(Bytes& to, const void* data, std::size_t n) {
    if (n == 0) return;
    const std::size_t old = to.size();
    to.resize(old + n);
    std::memcpy(to.data() + old, data, n);
}
inline void Append(Bytes& to, const Bytes& bytes) { AppendRaw(to, bytes.data(), bytes.size()); }
inline void Append(Bytes& to, const std::string& text) { AppendRaw(to, text.data(), text.size()); }
inline void PutBe(Bytes& to, std::uint32_t v, int bytes) {
    std::uint8_t b[4];
    for (int i = 0; i < bytes; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * (bytes - 1 - i)));
    AppendRaw(to, b, static_cast<std::size_t>(bytes));
}
inline void PutLe(Bytes& to, std::uint32_t v, int bytes) {
    std::uint8_t b[4];
    for (int i = 0; i < bytes; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    AppendRaw(to, b, static_cast<std::size_t>(bytes));
}

// Bytes that look like nothing in particular (no FF D8 FF in them).
inline Bytes Noise(std::size_t size, std::uint32_t seed) {
    Bytes b(size);
    for (auto& x : b) {
        seed = seed * 1103515245u + 12345u;
        x = static_cast<std::uint8_t>((seed >> 16) & 0x7F);
    }
    return b;
}

// An MP4 file: 'ftyp' then 'mdat' with size bytes in all.
inline Bytes Mp4(std::size_t size, std::uint32_t seed = 7) {
    Bytes b;
    PutBe(b, 24, 4);
    Append(b, std::string("ftypisom"));
    PutBe(b, 0x200, 4);
    Append(b, std::string("isommp41"));
    const std::size_t rest = size > 32 ? size - 24 : 8;
    PutBe(b, static_cast<std::uint32_t>(rest), 4);
    Append(b, std::string("mdat"));
    Append(b, Noise(rest - 8, seed));
    return b;
}

// A PNG signature and bytes (only its bytes matter here).
inline Bytes PngLike(std::size_t size, std::uint32_t seed = 11) {
    Bytes b;
    PutBe(b, 0x89504E47, 4);
    PutBe(b, 0x0D0A1A0A, 4);
    Append(b, Noise(size - 8, seed));
    return b;
}

inline Bytes App1(const std::string& signature, const Bytes& payload) {
    Bytes b;
    PutBe(b, 0xFFE1, 2);
    PutBe(b, static_cast<std::uint32_t>(2 + signature.size() + payload.size()), 2);
    Append(b, signature);
    Append(b, payload);
    return b;
}

inline Bytes XmpSegment(const std::string& xmp) {
    return App1(std::string("http://ns.adobe.com/xap/1.0/\0", 29), Bytes(xmp.begin(), xmp.end()));
}

inline std::string XmpPacket(const std::string& namespaces, const std::string& attributes, const std::string& body = "") {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "  <rdf:Description rdf:about=\"\"" + namespaces + attributes + ">\n" + body +
           "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n" + std::string(200, ' ') + "\n<?xpacket end=\"w\"?>";
}

struct Item {
    std::string semantic, mime;
    std::size_t length = 0, padding = 0;
};

// The Container:Directory of the items, with GCamera:MotionPhoto when one is a motion photo.
inline std::string ContainerXmp(const std::vector<Item>& items) {
    std::string body = "   <Container:Directory>\n    <rdf:Seq>\n";
    bool motion = false;
    for (const Item& item : items) {
        body += "     <rdf:li rdf:parseType=\"Resource\">\n      <Container:Item Item:Semantic=\"" + item.semantic +
                "\" Item:Mime=\"" + item.mime + "\"";
        if (item.length > 0) body += " Item:Length=\"" + std::to_string(item.length) + "\"";
        if (item.padding > 0) body += " Item:Padding=\"" + std::to_string(item.padding) + "\"";
        body += "/>\n     </rdf:li>\n";
        motion = motion || item.semantic == "MotionPhoto";
    }
    body += "    </rdf:Seq>\n   </Container:Directory>\n";
    return XmpPacket(
        "\n    xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\""
        "\n    xmlns:Container=\"http://ns.google.com/photos/1.0/container/\""
        "\n    xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\"",
        motion ? "\n   GCamera:MotionPhoto=\"1\" GCamera:MotionPhotoVersion=\"1\"" : "", body);
}

inline BlockPainter Flat(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return [=](int bx, int by) { return Rgb{static_cast<std::uint8_t>(r + bx * 9), static_cast<std::uint8_t>(g + by * 7), b}; };
}

// A primary photo whose header holds these segments (it begins FF D8 FF E1 when the first is APP1).
inline Bytes Primary(const Bytes& segments, int width = 64, int height = 48) {
    return BaselineJpeg(width, height, Flat(40, 90, 160), segments);
}

// A gain map image, its own XMP saying so.
inline Bytes GainMapImage() {
    const std::string xmp = XmpPacket("\n    xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\"",
                                      " hdrgm:Version=\"1.0\" hdrgm:GainMapMax=\"2.0\"");
    return BaselineJpeg(32, 24, Flat(120, 120, 120), XmpSegment(xmp));
}

struct MotionPhoto {
    Bytes file;
    Bytes primary, gainMap, video;  // gainMap empty without one
    std::size_t videoStart = 0;
};

// Primary (+ gain map through the MPF index) + MP4, tied by the container directory; the gain
// map's Item:Length is gainMapLengthError bytes off.
inline MotionPhoto ContainerMotionPhoto(bool withGainMap, std::size_t videoSize = 40000, std::size_t primaryPadding = 0,
                                        int gainMapLengthError = 0) {
    MotionPhoto m;
    m.video = Mp4(videoSize);
    std::vector<Item> items = {{"Primary", "image/jpeg", 0, primaryPadding}};
    if (withGainMap) {
        m.gainMap = GainMapImage();
        items.push_back({"GainMap", "image/jpeg", static_cast<std::size_t>(static_cast<int>(m.gainMap.size()) + gainMapLengthError), 0});
    }
    items.push_back({"MotionPhoto", "video/mp4", m.video.size(), 0});
    m.primary = Primary(XmpSegment(ContainerXmp(items)));
    if (withGainMap) {
        MpfOptions options;
        options.edit = [](std::vector<MpEntry>& entries, std::uint32_t&) { entries[1].attribute = 0; };
        m.file = IndexedMpo({m.primary, m.gainMap}, options);
    } else {
        m.file = m.primary;
    }
    Append(m.file, Bytes(primaryPadding, 0));
    m.videoStart = m.file.size();
    Append(m.file, m.video);
    return m;
}

// The older form: GCamera:MicroVideo="1" and MicroVideoOffset.
inline MotionPhoto MicroVideoPhoto(std::size_t videoSize = 30000, std::int64_t offsetDelta = 0) {
    MotionPhoto m;
    m.video = Mp4(videoSize, 3);
    const std::string xmp = XmpPacket("\n    xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\"",
                                      "\n   GCamera:MicroVideo=\"1\" GCamera:MicroVideoVersion=\"1\""
                                      " GCamera:MicroVideoOffset=\"" +
                                          std::to_string(static_cast<std::int64_t>(videoSize) + offsetDelta) +
                                          "\" GCamera:MicroVideoPresentationTimestampUs=\"966000\"");
    m.primary = Primary(XmpSegment(xmp));
    m.file = m.primary;
    m.videoStart = m.file.size();
    Append(m.file, m.video);
    return m;
}

struct SamsungRecordBytes {
    std::uint16_t type;
    std::string name;
    Bytes data;
};

// A Samsung trailer of the records: each record, then SEFH, its entries, the length, SEFT.
// offsetShift is added to every entry's offset (to point records outside the file).
inline Bytes SamsungTrailerBytes(const std::vector<SamsungRecordBytes>& records, std::uint32_t offsetShift = 0) {
    Bytes b;
    std::vector<std::pair<std::size_t, std::size_t>> placed;  // start, size
    for (const SamsungRecordBytes& r : records) {
        const std::size_t start = b.size();
        PutLe(b, 0, 2);
        PutLe(b, r.type, 2);
        PutLe(b, static_cast<std::uint32_t>(r.name.size()), 4);
        Append(b, r.name);
        Append(b, r.data);
        placed.push_back({start, b.size() - start});
    }
    const std::size_t dirStart = b.size();
    Append(b, std::string("SEFH"));
    PutLe(b, 107, 4);
    PutLe(b, static_cast<std::uint32_t>(records.size()), 4);
    for (std::size_t i = 0; i < records.size(); ++i) {
        PutLe(b, 0, 2);
        PutLe(b, records[i].type, 2);
        PutLe(b, static_cast<std::uint32_t>(dirStart - placed[i].first) + offsetShift, 4);
        PutLe(b, static_cast<std::uint32_t>(placed[i].second), 4);
    }
    PutLe(b, static_cast<std::uint32_t>(b.size() - dirStart), 4);
    Append(b, std::string("SEFT"));
    return b;
}

// Samsung's trailer with the video record; withContainer adds the container directory that
// newer phones write beside it (its video item Item:Length bytes long).
inline MotionPhoto SamsungMotionPhoto(std::size_t videoSize = 35000, std::uint32_t offsetShift = 0,
                                      bool withContainer = false) {
    MotionPhoto m;
    m.video = Mp4(videoSize, 5);
    std::string xmp;
    if (withContainer) {
        std::vector<Item> items(2);
        items[0] = {"Primary", "image/jpeg", 0, 0};
        items[1] = {"MotionPhoto", "video/mp4", videoSize, 0};
        xmp = ContainerXmp(items);
    } else {
        xmp = XmpPacket("\n    xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\"", " GCamera:MotionPhoto=\"1\"");
    }
    m.primary = Primary(XmpSegment(xmp));
    m.file = m.primary;
    const std::string utc = "1765190000000";
    m.videoStart = m.file.size() + 8 + 14 + utc.size() + 8 + 16;
    Append(m.file, SamsungTrailerBytes({{0x0a01, "Image_UTC_Data", Bytes(utc.begin(), utc.end())},
                                        {0x0a30, "MotionPhoto_Data", m.video}},
                                       offsetShift));
    return m;
}

struct DynamicDepth {
    Bytes file;
    Bytes primary, depth, confidence;
};

// A Dynamic Depth photo: Device:Container lists the primary, a depth map and a confidence map,
// both JPEG images after the primary (beginning FF D8 FF DB: no signature the scan takes).
inline DynamicDepth DynamicDepthPhoto() {
    DynamicDepth d;
    d.depth = BaselineJpeg(32, 24, Flat(90, 90, 90), {});
    d.confidence = BaselineJpeg(16, 16, Flat(250, 250, 250), {});
    auto li = [](const char* mime, const char* uri, std::size_t length) {
        std::string item = "       <rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Mime=\"";
        item += mime;
        item += "\" Item:DataURI=\"";
        item += uri;
        item += "\"";
        if (length > 0) item += " Item:Length=\"" + std::to_string(length) + "\"";
        return item + "/></rdf:li>\n";
    };
    const std::string body = "   <Device:Container>\n    <Container:Directory>\n     <rdf:Seq>\n" +
                             li("image/jpeg", "primary_image", 0) + li("image/jpeg", "android/depthmap", d.depth.size()) +
                             li("image/jpeg", "android/confidencemap", d.confidence.size()) +
                             "     </rdf:Seq>\n    </Container:Directory>\n   </Device:Container>\n";
    const std::string xmp = XmpPacket("\n    xmlns:Device=\"http://ns.google.com/photos/dd/1.0/device/\""
                                      "\n    xmlns:Container=\"http://ns.google.com/photos/dd/1.0/container/\""
                                      "\n    xmlns:Item=\"http://ns.google.com/photos/dd/1.0/item/\"",
                                      "", body);
    d.primary = Primary(XmpSegment(xmp));
    d.file = d.primary;
    Append(d.file, d.depth);
    Append(d.file, d.confidence);
    return d;
}

inline std::string Base64(const Bytes& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int k = 18; k >= 0; k -= 6) out += alphabet[(v >> k) & 63];
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t v = bytes[i] << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t v = bytes[i] << 16 | bytes[i + 1] << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

struct DepthPhoto {
    Bytes file;
    Bytes depth, original;
};

// GDepth/GImage with the data in extended XMP, split into chunks of at most 65000 bytes.
// cutBase64 drops the depth data's last character.
inline DepthPhoto GDepthPhoto(std::size_t depthSize = 150000, bool cutBase64 = false) {
    DepthPhoto d;
    d.depth = PngLike(depthSize);
    d.original = BaselineJpeg(32, 24, Flat(200, 30, 30), {});
    const std::string guid = "0123456789ABCDEF0123456789ABCDEF";
    std::string depth64 = Base64(d.depth);
    if (cutBase64) depth64.pop_back();
    const std::string extended =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:GDepth=\"http://ns.google.com/photos/1.0/depthmap/\""
        " xmlns:GImage=\"http://ns.google.com/photos/1.0/image/\" GDepth:Data=\"" + depth64 +
        "\" GImage:Data=\"" + Base64(d.original) + "\"/></rdf:RDF></x:xmpmeta>";
    const std::string standard = XmpPacket(
        "\n    xmlns:GDepth=\"http://ns.google.com/photos/1.0/depthmap/\""
        "\n    xmlns:GImage=\"http://ns.google.com/photos/1.0/image/\""
        "\n    xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\"",
        "\n   GDepth:Format=\"RangeInverse\" GDepth:Near=\"1\" GDepth:Far=\"10\" GDepth:Mime=\"image/png\""
        " GImage:Mime=\"image/jpeg\" xmpNote:HasExtendedXMP=\"" + guid + "\"");
    Bytes segments = XmpSegment(standard);
    constexpr std::size_t kChunk = 65000;
    for (std::size_t at = 0; at < extended.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, extended.size() - at);
        Bytes payload;
        Append(payload, guid);
        PutBe(payload, static_cast<std::uint32_t>(extended.size()), 4);
        PutBe(payload, static_cast<std::uint32_t>(at), 4);
        AppendRaw(payload, extended.data() + at, n);
        Append(segments, App1(std::string("http://ns.adobe.com/xmp/extension/\0", 35), payload));
    }
    d.file = Primary(segments);
    return d;
}

}  // namespace veltrane::samples
