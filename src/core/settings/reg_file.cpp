#include "settings/reg_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace ostravex {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// The file's lines, with a hex value's continuation lines (ending in "\") joined.
std::vector<std::string> LogicalLines(std::string_view content) {
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3);
    }
    std::vector<std::string> lines;
    std::string pending;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        std::string_view line = content.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!pending.empty()) {
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
                line.remove_prefix(1);
            }
        }
        pending += line;
        if (pending.ends_with('\\') && pending.starts_with('"') &&
            pending.find("=hex") != std::string::npos) {
            pending.pop_back();
            continue;
        }
        lines.push_back(std::move(pending));
        pending.clear();
    }
    if (!pending.empty()) {
        lines.push_back(std::move(pending));
    }
    return lines;
}

// Reads a quoted, escaped text starting at text[i] == '"'; i ends after the closing quote.
bool ReadQuoted(std::string_view text, std::size_t& i, std::string& out) {
    if (i >= text.size() || text[i] != '"') {
        return false;
    }
    for (++i; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (c == '"') {
            ++i;
            return true;
        } else {
            out += c;
        }
    }
    return false;
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

bool HasControlCharacters(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return true;
        }
    }
    return false;
}

// UTF-8 to UTF-16LE bytes and back, for hex(1) values.
std::vector<std::uint8_t> Utf16Bytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    const auto put = [&](std::uint32_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::uint32_t code = b;
        std::size_t length = 1;
        if (b >= 0xF0 && i + 3 < text.size()) {
            code = (b & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 |
                   (text[i + 3] & 0x3Fu);
            length = 4;
        } else if (b >= 0xE0 && i + 2 < text.size()) {
            code = (b & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
            length = 3;
        } else if (b >= 0xC0 && i + 1 < text.size()) {
            code = (b & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
            length = 2;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
        i += length;
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
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = bytes[i] | bytes[i + 1] << 8;
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            const std::uint32_t low = bytes[i + 2] | bytes[i + 3] << 8;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(text, unit);
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
    if (ReadQuoted(data, i, text)) {
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
    for (const std::string& line : LogicalLines(content)) {
        if (line.empty() || line == kHeader || line.front() == ';') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            const std::string path = line.substr(1, line.size() - 2);
            key = file.findKey(path);
            if (!key) {
                file.m_keys.push_back({path, {}});
                key = &file.m_keys.back();
            }
            continue;
        }
        std::size_t i = 0;
        std::string name;
        if (!key || !ReadQuoted(line, i, name) || i >= line.size() || line[i] != '=') {
            continue;  // not a value line: passed over
        }
        const RegValue value = ParseData(std::string_view(line).substr(i + 1));
        file.set(key->path, name, value);
        key = file.findKey(key->path);
    }
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
                    line = HasControlCharacters(value.text)
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
    for (Key& k : m_keys) {
        if (k.path == key) {
            return &k;
        }
    }
    return nullptr;
}

const RegFile::Key* RegFile::findKey(std::string_view key) const {
    return const_cast<RegFile*>(this)->findKey(key);
}

bool RegFile::hasKey(std::string_view key) const {
    return findKey(key) != nullptr;
}

const RegValue* RegFile::find(std::string_view key, std::string_view name) const {
    const Key* k = findKey(key);
    if (!k) {
        return nullptr;
    }
    for (const auto& [valueName, value] : k->values) {
        if (valueName == name) {
            return &value;
        }
    }
    return nullptr;
}

void RegFile::set(std::string_view key, std::string_view name, RegValue value) {
    Key* k = findKey(key);
    if (!k) {
        m_keys.push_back({std::string(key), {}});
        k = &m_keys.back();
    }
    for (auto& [valueName, existing] : k->values) {
        if (valueName == name) {
            existing = std::move(value);
            return;
        }
    }
    k->values.emplace_back(std::string(name), std::move(value));
}

}  // namespace ostravex
