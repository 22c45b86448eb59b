#pragma once
// printf-style number formatting with the user's decimal separator.
//
// The core never depends on the C library's current locale: patterns are formatted in the "C"
// locale and the decimal point is then replaced by the separator configured here. The program
// sets it once at start from the user's locale (LC_NUMERIC); it is "." until then.
#include <string>

namespace veltrane {

void SetDecimalSeparator(char separator);
char DecimalSeparator();

// Reads the decimal separator of the user's locale from the environment (LC_ALL, LC_NUMERIC,
// LANG) without changing the process locale, and installs it. Returns the separator.
char UseDecimalSeparatorOfUserLocale();

// Formats one double through a printf pattern ("%5.2f", "F%0.1f", "%4.4f sec", ...).
std::string FormatFloat(const char* pattern, double value);
// Formats several doubles through one pattern ("%0.0f:%0.0f:%0.0f").
std::string FormatFloats(const char* pattern, double a, double b, double c);
std::string FormatFloats(const char* pattern, double a, double b, double c, double d);

}  // namespace veltrane
