// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parts/xmp_text.h"

#include <algorithm>
#include <array>
#include <functional>

#include "core/common/unicode_text.h"

namespace veltrane::parts {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Characters of an XML name (ASCII letters, digits, '_', '-', '.', ':'; bytes of UTF-8
// sequences count too).
bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' || u == '-' ||
           u == '.' || u == ':' || u >= 0x80;
}

// The text with the five named entities and numeric character references decoded; anything
// else after '&' is kept as it stands.
std::string DecodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view name = text.substr(i + 1, semi - i - 1);
        static constexpr std::array<std::pair<std::string_view, char>, 5> kNamed = {
            {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}}};
        bool done = false;
        for (const auto& [entity, c] : kNamed) {
            if (name == entity) {
                out += c;
                done = true;
            }
        }
        if (!done && name.size() >= 2 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            std::uint32_t cp = 0;
            bool ok = name.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; ok && k < name.size(); ++k) {
                const char c = name[k];
                int digit = -1;
                if (c >= '0' && c <= '9') digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
                ok = digit >= 0 && cp < 0x110000;
                cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
            }
            if (ok && cp < 0x110000) {
                AppendUtf8(out, static_cast<char32_t>(cp));
                done = true;
            }
        }
        if (!done) {
            out += '&';
            continue;
        }
        i = semi;
    }
    return out;
}

// The first position of pattern in text at or after from, or npos. Depth photos carry hundreds
// of KiB of base64 in their XMP, in which the first character of a name or namespace comes every
// few dozen bytes. Over long texts a pattern with a colon (a qualified name, a namespace URI) is
// looked for at the colons of the text, which base64 never holds, found by the library's
// character search; any other skips ahead by the pattern's length.
std::size_t Find(std::string_view text, std::string_view pattern, std::size_t from = 0) {
    constexpr std::size_t kLongText = 4096;
    if (from >= text.size() || text.size() - from < kLongText || pattern.size() < 6) return text.find(pattern, from);
    if (const std::size_t colon = pattern.find(':'); colon != std::string_view::npos) {
        for (std::size_t at = text.find(':', from + colon); at != std::string_view::npos; at = text.find(':', at + 1))
            if (text.substr(at - colon, pattern.size()) == pattern) return at - colon;
        return std::string_view::npos;
    }
    const auto begin = text.begin() + static_cast<std::ptrdiff_t>(from);
    const auto at = std::search(begin, text.end(), std::boyer_moore_horspool_searcher(pattern.begin(), pattern.end()));
    return at == text.end() ? std::string_view::npos : static_cast<std::size_t>(at - text.begin());
}

// Whether name occurs at position at of text as a whole name (not part of a longer one).
bool WholeNameAt(std::string_view text, std::size_t at, std::size_t length) {
    if (at > 0 && IsNameChar(text[at - 1])) return false;
    return at + length >= text.size() || !IsNameChar(text[at + length]);
}

}  // namespace

std::string XmpPrefixOf(std::string_view xmp, std::string_view uri) {
    if (uri.empty()) return {};
    for (std::size_t at = Find(xmp, uri); at != std::string_view::npos; at = Find(xmp, uri, at + 1)) {
        //   xmlns:PREFIX = "uri"
        if (at < 1 || (xmp[at - 1] != '"' && xmp[at - 1] != '\'')) continue;
        const char quote = xmp[at - 1];
        if (at + uri.size() >= xmp.size() || xmp[at + uri.size()] != quote) continue;
        std::size_t p = at - 1;
        while (p > 0 && IsSpace(xmp[p - 1])) --p;
        if (p == 0 || xmp[p - 1] != '=') continue;
        --p;
        while (p > 0 && IsSpace(xmp[p - 1])) --p;
        const std::size_t prefixEnd = p;
        while (p > 0 && IsNameChar(xmp[p - 1]) && xmp[p - 1] != ':') --p;
        if (p == prefixEnd || p < 6 || xmp.substr(p - 6, 6) != "xmlns:") continue;
        return std::string(xmp.substr(p, prefixEnd - p));
    }
    return {};
}

std::optional<XmpSpan> XmpPropertySpan(std::string_view xmp, std::string_view qualifiedName) {
    if (qualifiedName.empty()) return std::nullopt;
    for (std::size_t at = Find(xmp, qualifiedName); at != std::string_view::npos;
         at = Find(xmp, qualifiedName, at + 1)) {
        if (!WholeNameAt(xmp, at, qualifiedName.size())) continue;
        std::size_t p = at + qualifiedName.size();
        if (at > 0 && xmp[at - 1] == '<') {
            // <name>value</name>: only a simple element (no attributes, no child elements).
            if (p >= xmp.size() || xmp[p] != '>') continue;
            const std::size_t start = p + 1;
            const std::size_t end = xmp.find('<', start);
            if (end == std::string_view::npos) return std::nullopt;
            const std::string_view close = xmp.substr(end);
            if (close.size() < qualifiedName.size() + 3 || close.substr(0, 2) != "</" ||
                close.substr(2, qualifiedName.size()) != qualifiedName || close[qualifiedName.size() + 2] != '>')
                continue;
            return XmpSpan{at - 1, end + qualifiedName.size() + 3, start, end};
        }
        if (at == 0 || !IsSpace(xmp[at - 1])) continue;
        // name = "value"
        while (p < xmp.size() && IsSpace(xmp[p])) ++p;
        if (p >= xmp.size() || xmp[p] != '=') continue;
        ++p;
        while (p < xmp.size() && IsSpace(xmp[p])) ++p;
        if (p >= xmp.size() || (xmp[p] != '"' && xmp[p] != '\'')) continue;
        const char quote = xmp[p];
        const std::size_t end = xmp.find(quote, p + 1);
        if (end == std::string_view::npos) return std::nullopt;
        return XmpSpan{at, end + 1, p + 1, end};
    }
    return std::nullopt;
}

std::optional<std::string> XmpPropertyValue(std::string_view xmp, std::string_view qualifiedName) {
    const auto span = XmpPropertySpan(xmp, qualifiedName);
    if (!span) return std::nullopt;
    return DecodeEntities(xmp.substr(span->valueBegin, span->valueEnd - span->valueBegin));
}

std::optional<std::string_view> XmpElementBody(std::string_view xmp, std::string_view qualifiedName) {
    if (qualifiedName.empty()) return std::nullopt;
    for (std::size_t at = Find(xmp, qualifiedName); at != std::string_view::npos;
         at = Find(xmp, qualifiedName, at + 1)) {
        if (at == 0 || xmp[at - 1] != '<' || !WholeNameAt(xmp, at, qualifiedName.size())) continue;
        const std::size_t tagEnd = xmp.find('>', at);
        if (tagEnd == std::string_view::npos) return std::nullopt;
        const std::size_t attributes = at + qualifiedName.size();
        if (xmp[tagEnd - 1] == '/') return xmp.substr(attributes, tagEnd - 1 - attributes);
        // The matching close tag, counting elements of the same name nested inside.
        int depth = 1;
        std::size_t p = tagEnd + 1;
        while (p < xmp.size()) {
            const std::size_t lt = xmp.find('<', p);
            if (lt == std::string_view::npos) return std::nullopt;
            const bool closing = lt + 1 < xmp.size() && xmp[lt + 1] == '/';
            const std::size_t nameAt = lt + (closing ? 2 : 1);
            const std::size_t gt = xmp.find('>', lt);
            if (gt == std::string_view::npos) return std::nullopt;
            if (xmp.substr(nameAt, qualifiedName.size()) == qualifiedName &&
                (nameAt + qualifiedName.size() >= xmp.size() || !IsNameChar(xmp[nameAt + qualifiedName.size()]))) {
                if (closing) {
                    if (--depth == 0) return xmp.substr(tagEnd + 1, lt - tagEnd - 1);
                } else if (xmp[gt - 1] != '/') {
                    ++depth;
                }
            }
            p = gt + 1;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string_view> XmpListItems(std::string_view body, std::string_view rdfPrefix) {
    std::vector<std::string_view> items;
    std::string open = "<", close = "</";
    open.append(rdfPrefix).append(":li");
    close.append(rdfPrefix).append(":li>");
    std::size_t p = 0;
    while (p < body.size()) {
        const std::size_t at = body.find(open, p);
        if (at == std::string_view::npos) break;
        const std::size_t afterName = at + open.size();
        if (afterName < body.size() && IsNameChar(body[afterName])) {
            p = afterName;
            continue;
        }
        const std::size_t tagEnd = body.find('>', afterName);
        if (tagEnd == std::string_view::npos) break;
        if (body[tagEnd - 1] == '/') {  // <rdf:li .../>: its attributes
            items.push_back(body.substr(afterName, tagEnd - 1 - afterName));
            p = tagEnd + 1;
            continue;
        }
        const std::size_t end = body.find(close, tagEnd);
        if (end == std::string_view::npos) break;
        items.push_back(body.substr(afterName, end - afterName));
        p = end + close.size();
    }
    return items;
}

std::optional<std::int64_t> ParseXmpCount(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

namespace {

// The value of each character: 0-63 for the alphabet, kSpace for white space, kPad for '=',
// kBad for anything else.
constexpr std::uint8_t kSpace = 64, kPad = 65, kBad = 255;
constexpr auto kBase64Values = [] {
    std::array<std::uint8_t, 256> v{};
    v.fill(kBad);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    for (const char c : {' ', '\t', '\n', '\r'}) v[static_cast<unsigned char>(c)] = kSpace;
    v['='] = kPad;
    return v;
}();

// Runs through base64 text, handing every decoded byte to out (when not null); returns the
// number of bytes, or -1 with problem set.
template <bool kWrite>
std::int64_t WalkBase64(std::string_view text, std::uint8_t* out, std::string& problem) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = p + text.size();
    std::int64_t n = 0;
    std::uint32_t bits = 0;
    int have = 0;  // characters in bits
    bool padded = false;
    while (p < end) {
        // Whole groups of four characters of the alphabet at once; when only the length is wanted,
        // blocks of 64 checked by comparisons the compiler turns into vector instructions.
        if (have == 0 && !padded) {
            if constexpr (!kWrite) {
                while (end - p >= 64) {
                    unsigned bad = 0;
                    for (int i = 0; i < 64; ++i) {
                        const unsigned char c = p[i];
                        const unsigned letter = static_cast<unsigned char>((c | 0x20) - 'a') < 26;
                        const unsigned digit = static_cast<unsigned char>(c - '0') < 10;
                        bad |= (letter | digit | unsigned{c == '+'} | unsigned{c == '/'}) ^ 1u;
                    }
                    if (bad != 0) break;
                    n += 48;
                    p += 64;
                }
            }
            while (end - p >= 4) {
                const std::uint32_t a = kBase64Values[p[0]], b = kBase64Values[p[1]], c = kBase64Values[p[2]],
                                    d = kBase64Values[p[3]];
                if ((a | b | c | d) >= 64) break;
                if constexpr (kWrite) {
                    const std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
                    out[n] = static_cast<std::uint8_t>(v >> 16);
                    out[n + 1] = static_cast<std::uint8_t>(v >> 8);
                    out[n + 2] = static_cast<std::uint8_t>(v);
                }
                n += 3;
                p += 4;
            }
            if (p == end) break;
        }
        const std::uint8_t v = kBase64Values[*p++];
        if (v == kSpace) continue;
        if (v == kPad) {
            padded = true;
            continue;
        }
        if (v == kBad || padded) {
            problem = "the base64 data holds a character outside its alphabet";
            return -1;
        }
        bits = (bits << 6) | v;
        if (++have == 4) {
            if constexpr (kWrite) {
                out[n] = static_cast<std::uint8_t>(bits >> 16);
                out[n + 1] = static_cast<std::uint8_t>(bits >> 8);
                out[n + 2] = static_cast<std::uint8_t>(bits);
            }
            n += 3;
            bits = 0;
            have = 0;
        }
    }
    // A last group short of four characters is complete only with its '=' padding.
    if (have == 1 || (have > 1 && !padded)) {
        problem = "the base64 data is cut short";
        return -1;
    }
    if (have == 2) {
        if constexpr (kWrite) out[n] = static_cast<std::uint8_t>(bits >> 4);
        n += 1;
    } else if (have == 3) {
        if constexpr (kWrite) {
            out[n] = static_cast<std::uint8_t>(bits >> 10);
            out[n + 1] = static_cast<std::uint8_t>(bits >> 2);
        }
        n += 2;
    }
    return n;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text, std::string& problem) {
    // Four characters give at most three bytes.
    std::vector<std::uint8_t> out(text.size() / 4 * 3 + 3);
    const std::int64_t n = WalkBase64<true>(text, out.data(), problem);
    if (n < 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<std::int64_t> Base64DecodedLength(std::string_view text, std::string& problem) {
    const std::int64_t n = WalkBase64<false>(text, nullptr, problem);
    if (n < 0) return std::nullopt;
    return n;
}

}  // namespace veltrane::parts
