// Field texts typed by the user: the strict conversions either give a number
// that reads back the same or refuse the text, never anything in between.
#include "base/Convert.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int i = 0;
    if (sorvelin::TryStrToInt(text, i)) {
        if (sorvelin::StrToInt(sorvelin::IntToStr(i)) != i) {
            std::abort();
        }
    }
    double d = 0.0;
    if (sorvelin::TryStrToFloat(text, d)) {
        if (!std::isfinite(d)) {
            std::abort();
        }
        // The shortest 15-digit text of a number converts again and is stable.
        const std::string once = sorvelin::FloatToStr(d);
        const std::string twice = sorvelin::FloatToStr(sorvelin::StrToFloat(once));
        if (once != twice) {
            std::abort();
        }
    }
    return 0;
}
