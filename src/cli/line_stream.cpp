#include "line_stream.h"

#include <cerrno>
#include <cstring>

namespace ostravex::cli {
namespace {

void AppendOctal(std::string& text, unsigned char byte) {
    text += '\\';
    text += static_cast<char>('0' + (byte >> 6));
    text += static_cast<char>('0' + ((byte >> 3) & 7));
    text += static_cast<char>('0' + (byte & 7));
}

void AppendEscapedControl(std::string& text, unsigned char byte) {
    switch (byte) {
        case '\a':
            text += "\\a";
            return;
        case '\b':
            text += "\\b";
            return;
        case '\t':
            text += "\\t";
            return;
        case '\n':
            text += "\\n";
            return;
        case '\v':
            text += "\\v";
            return;
        case '\f':
            text += "\\f";
            return;
        case '\r':
            text += "\\r";
            return;
        default:
            AppendOctal(text, byte);
    }
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when it is not
// one (stray continuation bytes, overlong forms, surrogates, code points past U+10FFFF,
// sequences cut short).
std::size_t Utf8SequenceLength(std::string_view text, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < minimum || codePoint > 0x10FFFF || surrogate) {
        return 0;
    }
    return length;
}

}  // namespace

std::string EscapeControlCharacters(std::string_view line) {
    std::string shown;
    shown.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte < 0x20 || byte == 0x7F) {
            AppendEscapedControl(shown, byte);
            ++i;
        } else if (byte == '\\') {
            shown += "\\\\";
            ++i;
        } else if (byte < 0x80) {
            shown += static_cast<char>(byte);
            ++i;
        } else {
            char32_t codePoint = 0;
            const std::size_t length = Utf8SequenceLength(line.substr(i), codePoint);
            if (length == 0) {
                AppendOctal(shown, byte);
                ++i;
                continue;
            }
            // U+0080 to U+009F are the C1 controls; some terminals act on them (U+009B
            // starts a control sequence as ESC [ does).
            const bool c1Control = codePoint <= 0x9F;
            for (std::size_t k = 0; k < length; ++k) {
                if (c1Control) {
                    AppendOctal(shown, static_cast<unsigned char>(line[i + k]));
                } else {
                    shown += line[i + k];
                }
            }
            i += length;
        }
    }
    return shown;
}

std::string KeepOnOneLine(std::string_view line) {
    std::string shown;
    shown.reserve(line.size());
    for (const char c : line) {
        if (c == '\n') {
            shown += "\\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

void LineStream::writeLine(std::string_view line) {
    errno = 0;
    m_stream << (m_terminal ? EscapeControlCharacters(line) : KeepOnOneLine(line)) << '\n';
    noteFailure();
}

void LineStream::writeRaw(std::string_view text) {
    errno = 0;
    m_stream << text;
    noteFailure();
}

bool LineStream::flush() {
    errno = 0;
    m_stream.flush();
    noteFailure();
    return m_failure.empty();
}

void LineStream::noteFailure() {
    if (m_stream.fail() && m_failure.empty()) {
        // The stream's buffer failed in its last system call, whose errno is still set.
        m_failure = errno != 0 ? std::strerror(errno) : "the output could not be written";
    }
}

}  // namespace ostravex::cli
