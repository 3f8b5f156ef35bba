#include "settings/settings_groups.h"

#include <charconv>
#include <stdexcept>

#include "io/ascii.h"

namespace ostravex {
namespace {

std::optional<std::int32_t> WholeNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return number;
}

SettingValue DefaultOf(const AnySetting& setting) {
    return std::visit(
        [](const auto* declared) -> SettingValue {
            using Declared = std::remove_cvref_t<decltype(*declared)>;
            if constexpr (std::is_same_v<Declared, TextSetting>) {
                return std::string(declared->defaultValue);
            } else {
                return declared->defaultValue;
            }
        },
        setting);
}

// A stored value read as its setting's type; nothing when it cannot be read so.
struct ReadAs {
    const RegValue& stored;

    std::optional<SettingValue> operator()(const TextSetting*) const { return ReadText(stored); }
    std::optional<SettingValue> operator()(const BooleanSetting*) const {
        return ReadBoolean(stored);
    }
    std::optional<SettingValue> operator()(const NumberSetting*) const {
        return ReadNumber(stored);
    }
};

int RadioSetOf(const AnySetting& setting) {
    const auto* boolean = std::get_if<const BooleanSetting*>(&setting);
    return boolean ? (*boolean)->radioSet : 0;
}

// Checking a radio button unchecks the others of its set.
void UncheckOthersOfSet(SettingValues& values, std::size_t checked) {
    const std::span<const AnySetting> settings = values.group().settings;
    const int set = RadioSetOf(settings[checked]);
    for (std::size_t i = 0; i < settings.size(); ++i) {
        if (i != checked && RadioSetOf(settings[i]) == set) {
            values.set(i, false);
        }
    }
}

}  // namespace

SettingValues::SettingValues(const SettingsGroup& group) : m_group(&group) {
    m_values.reserve(group.settings.size());
    for (const AnySetting& setting : group.settings) {
        m_values.push_back(DefaultOf(setting));
    }
}

void SettingValues::set(std::size_t position, SettingValue value) {
    if (value.index() != m_values.at(position).index()) {
        throw std::logic_error("a value of the wrong type for " +
                               std::string(NameOf(m_group->settings[position])));
    }
    m_values[position] = std::move(value);
}

std::size_t SettingValues::positionOf(std::string_view name) const {
    for (std::size_t i = 0; i < m_group->settings.size(); ++i) {
        if (NameOf(m_group->settings[i]) == name) {
            return i;
        }
    }
    throw std::logic_error(std::string(name) + " is not a value of " + std::string(m_group->key));
}

std::optional<bool> ReadBoolean(const RegValue& value) {
    if (value.type == RegValue::Type::Dword) {
        return value.dword != 0;
    }
    if (value.type != RegValue::Type::String) {
        return std::nullopt;
    }
    const std::string upper = AsciiUpper(value.text);
    if (upper == "TRUE" || upper == "YES" || upper == "Y") {
        return true;
    }
    if (upper == "FALSE" || upper == "NO" || upper == "N") {
        return false;
    }
    if (const auto number = WholeNumber(value.text)) {
        return *number != 0;
    }
    return std::nullopt;
}

std::optional<std::int32_t> ReadNumber(const RegValue& value) {
    if (value.type == RegValue::Type::Dword) {
        return static_cast<std::int32_t>(value.dword);
    }
    if (value.type == RegValue::Type::String) {
        return WholeNumber(value.text);
    }
    return std::nullopt;
}

std::optional<std::string> ReadText(const RegValue& value) {
    if (value.type == RegValue::Type::String) {
        return value.text;
    }
    return std::nullopt;
}

bool FormVersionAllowsRestore(const RegFile& file, std::string_view key) {
    const RegValue* stored = file.find(key, kFormVersion);
    return !stored || ReadNumber(*stored).value_or(0) >= 0;
}

bool RestoreGroup(const RegFile& file, SettingValues& values) {
    const SettingsGroup& group = values.group();
    if (!FormVersionAllowsRestore(file, group.key)) {
        return false;
    }
    for (std::size_t i = 0; i < group.settings.size(); ++i) {
        const RegValue* stored = file.find(group.key, NameOf(group.settings[i]));
        if (!stored) {
            continue;
        }
        std::optional<SettingValue> value = std::visit(ReadAs{*stored}, group.settings[i]);
        if (!value) {
            continue;
        }
        if (RadioSetOf(group.settings[i]) != 0 && std::get<bool>(*value)) {
            UncheckOthersOfSet(values, i);
        }
        values.set(i, std::move(*value));
    }
    return true;
}

SettingValues ReadGroup(const RegFile& file, const SettingsGroup& group) {
    SettingValues values(group);
    RestoreGroup(file, values);
    return values;
}

void SaveGroup(RegFile& file, const SettingValues& values) {
    const SettingsGroup& group = values.group();
    file.set(group.key, kFormVersion, RegValue::Dword(0));
    for (std::size_t i = 0; i < group.settings.size(); ++i) {
        const std::string_view name = NameOf(group.settings[i]);
        const SettingValue& value = values.at(i);
        if (const auto* text = std::get_if<std::string>(&value)) {
            file.set(group.key, name, RegValue::String(*text));
        } else if (const auto* on = std::get_if<bool>(&value)) {
            file.set(group.key, name, RegValue::String(*on ? "TRUE" : "FALSE"));
        } else {
            file.set(group.key, name,
                     RegValue::Dword(static_cast<std::uint32_t>(std::get<std::int32_t>(value))));
        }
    }
}

}  // namespace ostravex
