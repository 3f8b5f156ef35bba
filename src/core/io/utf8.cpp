#include "io/utf8.h"

#include <cstdint>

namespace ostravex {
namespace {

// What a lead byte allows: the length of its character and the range of the byte after it.
// Narrowing the second byte's range is what refuses overlong forms (after 0xE0 and 0xF0),
// surrogates (after 0xED) and values past U+10FFFF (after 0xF4).
struct LeadByte {
    std::size_t length;
    unsigned char secondLow;
    unsigned char secondHigh;
    char32_t payloadMask;
};

bool ReadLeadByte(unsigned char lead, LeadByte& rule) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        rule = {2, 0x80, 0xBF, 0x1F};
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        rule = {3, lead == 0xE0 ? std::uint8_t{0xA0} : std::uint8_t{0x80},
                lead == 0xED ? std::uint8_t{0x9F} : std::uint8_t{0xBF}, 0x0F};
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        rule = {4, lead == 0xF0 ? std::uint8_t{0x90} : std::uint8_t{0x80},
                lead == 0xF4 ? std::uint8_t{0x8F} : std::uint8_t{0xBF}, 0x07};
    } else {
        return false;
    }
    return true;
}

}  // namespace

Utf8Character DecodeUtf8(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {1, lead, true};
    }
    const Utf8Character invalid{1, 0, false};
    LeadByte rule{};
    if (!ReadLeadByte(lead, rule) || text.size() - at < rule.length || byte(1) < rule.secondLow ||
        byte(1) > rule.secondHigh) {
        return invalid;
    }
    char32_t codePoint = lead & rule.payloadMask;
    for (std::size_t k = 1; k < rule.length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) {
            return invalid;
        }
        codePoint = codePoint << 6 | (byte(k) & 0x3F);
    }
    return {rule.length, codePoint, true};
}

bool IsWellFormedUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character character = DecodeUtf8(text, at);
        if (!character.valid) {
            return false;
        }
        at += character.length;
    }
    return true;
}

}  // namespace ostravex
