#include "base/Errors.h"

namespace sorvelin {

IndexError::IndexError(long long index, long long length)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + "), length " +
                        std::to_string(length)),
      index_(index), length_(length) {}

std::string Excerpt(std::string_view text) {
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation && characters++ == MaxQuotedCharacters) {
            shown += "\u2026";
            break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            // U+2400 + code, or U+2421 for DEL: three bytes E2 90 xx.
            shown += "\xE2\x90";
            shown += static_cast<char>(byte == 0x7F ? 0xA1 : 0x80 + byte);
        } else {
            shown += text[i];
        }
    }
    return shown;
}

} // namespace sorvelin
