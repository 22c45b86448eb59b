#include "core/common/number_format.h"

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <string_view>

namespace veltrane {
namespace {

std::atomic<char> gSeparator{'.'};

// snprintf in the "C" numeric locale gives '.'; a program that changed LC_NUMERIC gets its own
// point, which is replaced just the same.
std::string Localise(std::string text) {
    const char sep = gSeparator.load();
    const char* lp = std::localeconv()->decimal_point;
    const char point = (lp && lp[0]) ? lp[0] : '.';
    if (sep != point)
        for (char& c : text)
            if (c == point) c = sep;
    return text;
}

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
    char small[128];
    int n = std::snprintf(small, sizeof small, pattern, args...);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof small) return Localise(std::string(small, n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), pattern, args...);
    big.resize(static_cast<std::size_t>(n));
    return Localise(std::move(big));
}

}  // namespace

void SetDecimalSeparator(char separator) { gSeparator.store(separator); }
char DecimalSeparator() { return gSeparator.load(); }

char UseDecimalSeparatorOfUserLocale() {
    char sep = '.';
    try {
        const char* name = nullptr;
        for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
            const char* v = std::getenv(var);
            if (v && *v) { name = v; break; }
        }
        if (name) {
            std::locale loc(name);
            sep = std::use_facet<std::numpunct<char>>(loc).decimal_point();
        }
    } catch (...) {
        sep = '.';  // unknown or unsupported locale name
    }
    SetDecimalSeparator(sep);
    return sep;
}

std::string FormatFloat(const char* pattern, double value) { return Format(pattern, value); }
std::string FormatFloats(const char* pattern, double a, double b, double c) {
    return Format(pattern, a, b, c);
}
std::string FormatFloats(const char* pattern, double a, double b, double c, double d) {
    return Format(pattern, a, b, c, d);
}

}  // namespace veltrane
