#pragma once

#include <cstddef>
#include <string_view>

namespace ostravex {

// The one reading of UTF-8 text in the program. A character is well-formed when it is the
// shortest form of a code point up to U+10FFFF that is not a surrogate (U+D800 to U+DFFF),
// with all its bytes there. Any other byte at a character's start is an invalid byte: a
// stray continuation byte (0x80 to 0xBF), a lead byte no character has (0xC0, 0xC1, 0xF5 and
// up), the first byte of an overlong form, of a surrogate, of a value past U+10FFFF, or of a
// sequence cut short or broken by a byte that does not continue it. Reading goes on at the
// byte after an invalid byte, so the bytes after it are read as they are, and every caller
// finds the same bytes invalid; each shows them its own way (U+FFFD, an escape, a byte
// kept aside).
struct Utf8Character {
    std::size_t length = 1;  // bytes taken: 1 to 4 for a character, 1 for an invalid byte
    char32_t codePoint = 0;  // the character's code point; 0 for an invalid byte
    bool valid = false;      // false: the byte at the position is an invalid byte
};

// The character, or the invalid byte, at `at` in `text` (at < text.size()).
Utf8Character DecodeUtf8(std::string_view text, std::size_t at);

// True when every byte of `text` belongs to a well-formed character.
bool IsWellFormedUtf8(std::string_view text);

// Calls onCharacter(bytes, codePoint) for each well-formed character of `text`, in order,
// with the character's bytes, and onInvalidByte(byte) for each invalid byte.
template <typename OnCharacter, typename OnInvalidByte>
void ForEachUtf8(std::string_view text, OnCharacter&& onCharacter, OnInvalidByte&& onInvalidByte) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Character character = DecodeUtf8(text, at);
        if (character.valid) {
            onCharacter(text.substr(at, character.length), character.codePoint);
        } else {
            onInvalidByte(static_cast<unsigned char>(text[at]));
        }
        at += character.length;
    }
}

}  // namespace ostravex
