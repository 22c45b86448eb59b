// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small reader of the XMP that phones write, without an XML parser: it finds a namespace's
// prefix, a property's value (written as an attribute, prefix:Name="value", or as a simple
// element, <prefix:Name>value</prefix:Name>), an element's body and the items of an rdf:Seq.
// It reads what the makers' writers produce and never reads outside the text it is given; a
// packet it cannot make sense of gives no value rather than a wrong one.
//
// Also the base64 decoder for the data that depth photos carry inside XMP.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::parts {

// The prefix that the packet binds to the namespace uri (xmlns:PREFIX="uri"), or "" when it
// binds none.
std::string XmpPrefixOf(std::string_view xmp, std::string_view uri);

// The value of the property qualifiedName ("GCamera:MicroVideoOffset") of the first place that
// holds it, its character references decoded; none when the text holds no such attribute or
// simple element.
std::optional<std::string> XmpPropertyValue(std::string_view xmp, std::string_view qualifiedName);

// Where a property stands in the text: the whole attribute (name="value") or element
// (<name>value</name>), and its value as written (character references not decoded).
struct XmpSpan {
    std::size_t begin = 0, end = 0;            // [begin, end) of the whole
    std::size_t valueBegin = 0, valueEnd = 0;  // [valueBegin, valueEnd)
};
std::optional<XmpSpan> XmpPropertySpan(std::string_view xmp, std::string_view qualifiedName);

// What lies between <qualifiedName ...> and its </qualifiedName> at the first element of that
// name; for an empty element (<name .../>) its attributes. None when there is no such element
// or it is not closed.
std::optional<std::string_view> XmpElementBody(std::string_view xmp, std::string_view qualifiedName);

// The items of an rdf:Seq or rdf:Bag in body: each <rdf:li ...> with its attributes and its
// content, in order (whatever prefix the packet binds to the RDF namespace).
std::vector<std::string_view> XmpListItems(std::string_view body, std::string_view rdfPrefix = "rdf");

// A decimal count of bytes ("1286512"), or none for anything else (a sign, a fraction, more
// than 18 digits).
std::optional<std::int64_t> ParseXmpCount(std::string_view text);

// Decodes base64 (RFC 4648, standard alphabet; white space between the characters is skipped).
// On a character outside the alphabet, or text cut short (a last group of fewer than four
// characters without its '=' padding), it returns none and sets problem.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text, std::string& problem);
// The length that DecodeBase64 would give, or none as it would, without decoding.
std::optional<std::int64_t> Base64DecodedLength(std::string_view text, std::string& problem);

}  // namespace veltrane::parts
