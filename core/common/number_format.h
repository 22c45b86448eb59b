// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// printf-style number formatting with a given decimal separator.
//
// The core never depends on the C library's current locale: patterns are formatted in the "C"
// locale and the decimal point is then replaced by the separator of the NumberFormat given.
// The program asks for the user's format once at start (NumberFormatOfUserLocale) and passes it
// down, as an option value, to whatever shows numbers.
#include <string>

namespace veltrane {

struct NumberFormat {
    char decimalSeparator = '.';
};

// The number format of the locale the environment names (LC_ALL, LC_NUMERIC, LANG: the first
// that is set and not empty), without changing the process locale. '.' for no name, or a name
// the system does not know.
NumberFormat NumberFormatOfUserLocale();

// Formats one double through a printf pattern ("%5.2f", "F%0.1f", "%4.4f sec", ...).
std::string FormatFloat(const NumberFormat& format, const char* pattern, double value);
// Formats several doubles through one pattern ("%0.0f:%0.0f:%0.0f").
std::string FormatFloats(const NumberFormat& format, const char* pattern, double a, double b, double c);
std::string FormatFloats(const NumberFormat& format, const char* pattern, double a, double b, double c,
                         double d);

}  // namespace veltrane
