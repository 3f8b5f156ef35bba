#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace ostravex {

// The default of a setting, as it can be written in a constant expression.
template <typename T>
struct SettingDefault {
    using type = T;
};
template <>
struct SettingDefault<std::string> {
    using type = std::string_view;
};

// One stored value, declared once: its name in the store, its type (a text, an on/off or a
// whole number) and its default, the state its control has when its window is made. Windows
// bind their controls to the declaration, the groups read and write it, and the values a
// run reads take their defaults from it.
template <typename T>
struct Setting {
    std::string_view name;  // the control's name, "_", the property's name
    typename SettingDefault<T>::type defaultValue;
    // Radio buttons of one set share a number other than 0: checking one unchecks the others.
    int radioSet = 0;
};

using TextSetting = Setting<std::string>;
using BooleanSetting = Setting<bool>;
using NumberSetting = Setting<std::int32_t>;

// A setting of any type, as a group lists them.
using AnySetting = std::variant<const TextSetting*, const BooleanSetting*, const NumberSetting*>;

// A value of any setting type.
using SettingValue = std::variant<std::string, bool, std::int32_t>;

// The values a window stores under one key, in the order they are read and written. Each
// group also holds the value FormVersion.
struct SettingsGroup {
    std::string_view key;
    std::span<const AnySetting> settings;
};

constexpr std::string_view NameOf(const AnySetting& setting) {
    return std::visit([](const auto* declared) { return declared->name; }, setting);
}

}  // namespace ostravex
