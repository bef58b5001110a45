#include "base/Convert.h"

#include "base/Errors.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <limits>
#include <system_error>

namespace sorvelin {
namespace {

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The number part of a text: blanks around it and one leading '+' taken
// away; false when nothing is left or a sign follows the '+'.
bool NumberPart(std::string_view& text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return false;
        }
    }
    return !text.empty();
}

bool ParseInt(std::string_view text, int& value) {
    if (!NumberPart(text)) {
        return false;
    }
    int result = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result, 10);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return false;
    }
    value = result;
    return true;
}

bool ParseFloat(std::string_view text, double& value) {
    if (!NumberPart(text)) {
        return false;
    }
    // Only the plain decimal forms: from_chars would also take "inf" and "nan".
    bool digit = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c != '.' && c != 'e' && c != 'E' && c != '-' && c != '+') {
            return false;
        }
    }
    if (!digit) {
        return false;
    }
    double result = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), result, std::chars_format::general);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return false;
    }
    value = result;
    return true;
}

std::string Named(std::string_view field) {
    return field.empty() ? std::string() : std::string(field) + ": ";
}

} // namespace

bool TryStrToInt(std::string_view text, int& value) {
    return ParseInt(text, value);
}

bool TryStrToFloat(std::string_view text, double& value) {
    return ParseFloat(text, value);
}

int StrToInt(std::string_view text, std::string_view field) {
    int value = 0;
    if (!ParseInt(text, value)) {
        throw ConvertError(Named(field) + "'" + Excerpt(text) + "' is not a valid integer value");
    }
    return value;
}

double StrToFloat(std::string_view text, std::string_view field) {
    double value = 0.0;
    if (!ParseFloat(text, value)) {
        throw ConvertError(Named(field) + "'" + Excerpt(text) +
                           "' is not a valid floating point value");
    }
    return value;
}

int StrToInt(std::string_view text) {
    return StrToInt(text, {});
}

double StrToFloat(std::string_view text) {
    return StrToFloat(text, {});
}

std::string FloatToStr(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

std::string IntToStr(long long value) {
    return std::to_string(value);
}

} // namespace sorvelin
