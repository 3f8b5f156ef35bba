#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ostravex {

// One value of the settings store: a text (REG_SZ), a 32-bit number (REG_DWORD), or a value
// of another type, kept but not read.
struct RegValue {
    enum class Type { String, Dword, Other };
    Type type = Type::String;
    std::string text;         // String: the text; Other: the raw data as it stood
    std::uint32_t dword = 0;  // Dword

    static RegValue String(std::string text) { return {Type::String, std::move(text), 0}; }
    static RegValue Dword(std::uint32_t value) { return {Type::Dword, {}, value}; }

    bool operator==(const RegValue&) const = default;
};

// The settings store as a text file in the export format of the Windows registry editor:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Ostravex]
//   "Edit1_Text"="/home/me/roms/"
//   "BlendTrackBar_Position"=dword:000000ff
//
// Texts are escaped as the registry editor escapes them (\\ and \"); a text holding line
// breaks or other control characters is written as hex(1) (UTF-16LE bytes), as it does too;
// so is a text that is not well-formed UTF-8 (a path may hold any bytes), its stray bytes
// kept as lone surrogates. Every value read is written back as it was read.
// Written with CR LF line ends; LF alone and a byte-order mark are accepted on reading.
// Reading takes time in proportion to the file's size: keys and values are found through
// hash indexes, whatever their number.
class RegFile {
  public:
    static RegFile Parse(std::string_view content);
    std::string Serialize() const;

    const RegValue* find(std::string_view key, std::string_view name) const;
    // Sets a value, adding the key and the value at the end when they are new.
    void set(std::string_view key, std::string_view name, RegValue value);
    // Removes a value; the other values keep their order. False when there was none.
    bool remove(std::string_view key, std::string_view name);
    bool hasKey(std::string_view key) const;

    // Same keys, values and order.
    bool operator==(const RegFile& other) const;

  private:
    // Finds texts by a string_view without making a string of it.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    using PositionIndex = std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>>;

    struct Key {
        std::string path;
        std::vector<std::pair<std::string, RegValue>> values;
        PositionIndex valueIndex;  // value name -> position in `values`
    };
    Key* findKey(std::string_view key);
    const Key* findKey(std::string_view key) const;
    // The key, added at the end when it is new.
    Key& keyFor(std::string_view key);
    static void SetValue(Key& key, std::string name, RegValue value);

    std::vector<Key> m_keys;
    PositionIndex m_keyIndex;  // key path -> position in `m_keys`
};

}  // namespace ostravex
