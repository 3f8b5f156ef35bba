#include "line_stream.h"

#include <cerrno>
#include <cstring>

#include "io/utf8.h"

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

}  // namespace

std::string EscapeControlCharacters(std::string_view line) {
    std::string shown;
    shown.reserve(line.size());
    ForEachUtf8(
        line,
        [&](std::string_view character, char32_t codePoint) {
            if (codePoint < 0x20 || codePoint == 0x7F) {
                AppendEscapedControl(shown, static_cast<unsigned char>(codePoint));
            } else if (codePoint == '\\') {
                shown += "\\\\";
            } else if (codePoint >= 0x80 && codePoint <= 0x9F) {
                // U+0080 to U+009F are the C1 controls; some terminals act on them (U+009B
                // starts a control sequence as ESC [ does).
                for (const char byte : character) {
                    AppendOctal(shown, static_cast<unsigned char>(byte));
                }
            } else {
                shown += character;
            }
        },
        [&](unsigned char byte) { AppendOctal(shown, byte); });
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
