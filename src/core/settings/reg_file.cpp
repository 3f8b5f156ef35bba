#include "settings/reg_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "io/utf8.h"

namespace ostravex {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// Reads a quoted, escaped text starting at text[i] == '"'; i ends after the closing quote.
// Without `out`, the text is only passed over.
bool ReadQuoted(std::string_view text, std::size_t& i, std::string* out) {
    if (i >= text.size() || text[i] != '"') {
        return false;
    }
    for (++i; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            c = text[++i];
        } else if (c == '"') {
            ++i;
            return true;
        }
        if (out) {
            *out += c;
        }
    }
    return false;
}

// True for a value line whose data is hex bytes: only those continue on the next line
// after a trailing "\". The data decides, not the name, so that a name written back
// with other escapes is read the same way. Decided once per logical line, from its first
// physical line: the name and the data's type stand there, and continuations do not change
// them.
bool IsHexValueLine(std::string_view line) {
    std::size_t i = 0;
    return ReadQuoted(line, i, nullptr) && line.substr(i).starts_with("=hex");
}

// Calls `visit` with each of the file's lines, a hex value's continuation lines (ending in
// "\") joined to it.
template <typename Visit>
void ForEachLogicalLine(std::string_view content, Visit visit) {
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3);
    }
    std::string pending;      // a continued line, so far
    bool continuing = false;  // `pending` is a hex value line whose last line ended in "\"
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        std::string_view line = content.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (continuing) {
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
                line.remove_prefix(1);
            }
        }
        const bool hexValue = continuing || IsHexValueLine(line);
        // Whether the joined line ends in "\" (an empty continuation line leaves the end of
        // what came before).
        const bool continues =
            hexValue && (continuing && line.empty() ? pending : line).ends_with('\\');
        if (!continuing && !continues) {
            visit(line);
            continue;
        }
        pending += line;
        continuing = continues;
        if (continuing) {
            pending.pop_back();
            continue;
        }
        visit(std::string_view(pending));
        pending.clear();
    }
    if (continuing) {
        // The file ends inside a continued value: its continuation marks end nothing. Left
        // in, they would be taken for one more continuation when the value is written back.
        while (pending.ends_with('\\')) {
            pending.pop_back();
        }
        visit(std::string_view(pending));
    }
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

// A text goes into quotes only when it is plain UTF-8 without control characters; any
// other is written as hex(1), so that the file stays UTF-8 text with one value per line.
bool NeedsHexForm(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Character character = DecodeUtf8(text, i);
        if (!character.valid || character.codePoint < 0x20) {
            return true;
        }
        i += character.length;
    }
    return false;
}

// A byte that is not part of well-formed UTF-8 (0x80 and up) is stored as the lone
// surrogate U+DC00 + byte, which no well-formed text holds: every byte string comes back
// as it was. NULs inside the text are kept; only the final one ends it.
constexpr std::uint32_t kEscapedByteBase = 0xDC00;

// UTF-8 to UTF-16LE bytes and back, for hex(1) values.
std::vector<std::uint8_t> Utf16Bytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    const auto put = [&](std::uint32_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Character character = DecodeUtf8(text, i);
        std::uint32_t code = character.valid
                                 ? character.codePoint
                                 : kEscapedByteBase + static_cast<unsigned char>(text[i]);
        i += character.length;
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
    }
    put(0);  // the terminating NUL the registry stores
    return bytes;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string TextFromUtf16(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint32_t> units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(bytes[i] | bytes[i + 1] << 8);
    }
    if (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    constexpr std::uint32_t kReplacementCharacter = 0xFFFD;
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else if (unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF) {
            text += static_cast<char>(unit - kEscapedByteBase);
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(text, kReplacementCharacter);  // a surrogate no text can hold
        } else {
            AppendUtf8(text, unit);
        }
    }
    return text;
}

bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>& bytes) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ',' || text[i] == ' ')) {
            ++i;
        }
        if (i >= text.size()) {
            break;
        }
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(text.data() + i, text.data() + std::min(text.size(), i + 2), value, 16);
        if (error != std::errc() || end == text.data() + i) {
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
        i = static_cast<std::size_t>(end - text.data());
    }
    return true;
}

std::string HexLine(const std::string& prefix, const std::vector<std::uint8_t>& bytes) {
    std::string line = prefix;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        line += hex;
        if (i + 1 < bytes.size()) {
            line += ',';
        }
    }
    return line;
}

RegValue ParseData(std::string_view data) {
    std::size_t i = 0;
    std::string text;
    if (ReadQuoted(data, i, &text)) {
        return RegValue::String(std::move(text));
    }
    if (data.starts_with("dword:")) {
        std::uint32_t value = 0;
        const std::string_view digits = data.substr(6);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty()) {
            return RegValue::Dword(value);
        }
    }
    if (data.starts_with("hex(1):")) {
        std::vector<std::uint8_t> bytes;
        if (ParseHexBytes(data.substr(7), bytes)) {
            return RegValue::String(TextFromUtf16(bytes));
        }
    }
    return {RegValue::Type::Other, std::string(data), 0};
}

}  // namespace

RegFile RegFile::Parse(std::string_view content) {
    RegFile file;
    Key* key = nullptr;
    ForEachLogicalLine(content, [&](std::string_view line) {
        if (line.empty() || line == kHeader || line.front() == ';') {
            return;
        }
        if (line.front() == '[' && line.back() == ']') {
            key = &file.keyFor(line.substr(1, line.size() - 2));
            return;
        }
        std::size_t i = 0;
        std::string name;
        if (!key || !ReadQuoted(line, i, &name) || i >= line.size() || line[i] != '=') {
            return;  // not a value line: passed over
        }
        SetValue(*key, std::move(name), ParseData(line.substr(i + 1)));
    });
    return file;
}

std::string RegFile::Serialize() const {
    std::string out(kHeader);
    out += "\r\n";
    for (const Key& key : m_keys) {
        out += "\r\n[" + key.path + "]\r\n";
        for (const auto& [name, value] : key.values) {
            std::string line = Quoted(name) + "=";
            switch (value.type) {
                case RegValue::Type::String:
                    line = NeedsHexForm(value.text)
                               ? HexLine(line + "hex(1):", Utf16Bytes(value.text))
                               : line + Quoted(value.text);
                    break;
                case RegValue::Type::Dword: {
                    char hex[16];
                    std::snprintf(hex, sizeof hex, "%08x", value.dword);
                    line += std::string("dword:") + hex;
                    break;
                }
                case RegValue::Type::Other:
                    line += value.text;
                    break;
            }
            out += line + "\r\n";
        }
    }
    return out;
}

RegFile::Key* RegFile::findKey(std::string_view key) {
    const auto found = m_keyIndex.find(key);
    return found == m_keyIndex.end() ? nullptr : &m_keys[found->second];
}

const RegFile::Key* RegFile::findKey(std::string_view key) const {
    return const_cast<RegFile*>(this)->findKey(key);
}

RegFile::Key& RegFile::keyFor(std::string_view key) {
    if (Key* existing = findKey(key)) {
        return *existing;
    }
    m_keyIndex.emplace(std::string(key), m_keys.size());
    m_keys.push_back({std::string(key), {}, {}});
    return m_keys.back();
}

bool RegFile::hasKey(std::string_view key) const {
    return findKey(key) != nullptr;
}

const RegValue* RegFile::find(std::string_view key, std::string_view name) const {
    const Key* k = findKey(key);
    if (!k) {
        return nullptr;
    }
    const auto found = k->valueIndex.find(name);
    return found == k->valueIndex.end() ? nullptr : &k->values[found->second].second;
}

void RegFile::set(std::string_view key, std::string_view name, RegValue value) {
    SetValue(keyFor(key), std::string(name), std::move(value));
}

bool RegFile::remove(std::string_view key, std::string_view name) {
    Key* k = findKey(key);
    if (!k) {
        return false;
    }
    const auto found = k->valueIndex.find(name);
    if (found == k->valueIndex.end()) {
        return false;
    }
    const std::size_t position = found->second;
    k->values.erase(k->values.begin() + static_cast<std::ptrdiff_t>(position));
    k->valueIndex.erase(found);
    // The values after it moved up by one.
    for (auto& [valueName, index] : k->valueIndex) {
        if (index > position) {
            --index;
        }
    }
    return true;
}

void RegFile::SetValue(Key& key, std::string name, RegValue value) {
    if (const auto found = key.valueIndex.find(name); found != key.valueIndex.end()) {
        key.values[found->second].second = std::move(value);
        return;
    }
    key.valueIndex.emplace(name, key.values.size());
    key.values.emplace_back(std::move(name), std::move(value));
}

bool RegFile::operator==(const RegFile& other) const {
    // The indexes follow from the keys and values.
    return std::equal(
        m_keys.begin(), m_keys.end(), other.m_keys.begin(), other.m_keys.end(),
        [](const Key& a, const Key& b) { return a.path == b.path && a.values == b.values; });
}

}  // namespace ostravex
