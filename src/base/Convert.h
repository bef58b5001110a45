#pragma once
// Strict conversions between field texts and numbers. A text that is not
// wholly a number raises ConvertError; numbers are written back as the
// shortest general text of up to 15 significant digits.
#include <string>
#include <string_view>

namespace sorvelin {

// Decimal 32-bit integer: optional blanks around it, optional sign, digits.
int StrToInt(std::string_view text);
// Decimal floating-point number ("-0.6", "1e-5", ".5", "2."): optional blanks
// around it; no infinities, NaNs or hexadecimal forms.
double StrToFloat(std::string_view text);
// The same for a named field: the error begins with the field's caption
// ("Iteration: '2x' is not a valid integer value").
int StrToInt(std::string_view text, std::string_view field);
double StrToFloat(std::string_view text, std::string_view field);
// Non-throwing forms: false when the text does not convert.
bool TryStrToInt(std::string_view text, int& value);
bool TryStrToFloat(std::string_view text, double& value);

// "%.15g": -0.6, 0, 0.00024, 2.4
std::string FloatToStr(double value);
std::string IntToStr(long long value);

} // namespace sorvelin
