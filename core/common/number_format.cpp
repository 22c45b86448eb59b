// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/number_format.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <string_view>

#ifndef _WIN32
#include <langinfo.h>
#include <locale.h>
#endif

namespace veltrane {
namespace {

// snprintf in the "C" numeric locale gives '.'; a program that changed LC_NUMERIC gets its own
// point, which is replaced just the same.
std::string Localise(const NumberFormat& format, std::string text) {
    const char sep = format.decimalSeparator;
    const char* lp = std::localeconv()->decimal_point;
    const char point = (lp && lp[0]) ? lp[0] : '.';
    if (sep != point)
        for (char& c : text)
            if (c == point) c = sep;
    return text;
}

template <typename... Args>
std::string Format(const NumberFormat& format, const char* pattern, Args... args) {
    char small[128];
    int n = std::snprintf(small, sizeof small, pattern, args...);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof small) return Localise(format, std::string(small, n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), pattern, args...);
    big.resize(static_cast<std::size_t>(n));
    return Localise(format, std::move(big));
}

}  // namespace

NumberFormat NumberFormatOfUserLocale() {
    NumberFormat format;
    const char* name = nullptr;
    for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            name = v;
            break;
        }
    }
    // The C locale in any of its encodings writes '.'; nothing needs loading to know that.
    const std::string_view given = name != nullptr ? name : "C";
    if (given == "C" || given == "POSIX" || given.substr(0, 2) == "C.") return format;
#ifdef _WIN32
    try {
        const std::locale loc(name);
        format.decimalSeparator = std::use_facet<std::numpunct<char>>(loc).decimal_point();
    } catch (...) {
        format.decimalSeparator = '.';  // unknown or unsupported locale name
    }
#else
    // Only the numeric part of the locale is loaded (the process locale stays as it is).
    if (const locale_t numeric = ::newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr))) {
        const char* point = ::nl_langinfo_l(RADIXCHAR, numeric);
        if (point != nullptr && point[0] != '\0') format.decimalSeparator = point[0];
        ::freelocale(numeric);
    }
#endif
    return format;
}

std::string FormatFloat(const NumberFormat& format, const char* pattern, double value) {
    return Format(format, pattern, value);
}
std::string FormatFloats(const NumberFormat& format, const char* pattern, double a, double b, double c) {
    return Format(format, pattern, a, b, c);
}
std::string FormatFloats(const NumberFormat& format, const char* pattern, double a, double b, double c,
                         double d) {
    return Format(format, pattern, a, b, c, d);
}

}  // namespace veltrane
