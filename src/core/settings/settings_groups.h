#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "settings/reg_file.h"
#include "settings/setting.h"

namespace ostravex {

inline constexpr std::string_view kFormVersion = "FormVersion";

// The values of one group, each found by its declaration. A group's values start at their
// defaults.
class SettingValues {
  public:
    explicit SettingValues(const SettingsGroup& group);

    template <typename T>
    const T& get(const Setting<T>& setting) const {
        return std::get<T>(m_values[positionOf(setting.name)]);
    }
    template <typename T>
    void set(const Setting<T>& setting, std::type_identity_t<T> value) {
        m_values[positionOf(setting.name)] = std::move(value);
    }
    // Sets a setting of the group through its place in the group's list.
    void set(std::size_t position, SettingValue value);
    const SettingValue& at(std::size_t position) const { return m_values[position]; }

    const SettingsGroup& group() const { return *m_group; }

    bool operator==(const SettingValues& other) const { return m_values == other.m_values; }

  private:
    // Throws std::logic_error for a setting that is not of this group.
    std::size_t positionOf(std::string_view name) const;

    const SettingsGroup* m_group;
    std::vector<SettingValue> m_values;  // in the group's order
};

// "TRUE", "YES", "Y" and "FALSE", "NO", "N" in any case, else a whole number (non-zero is
// true); nothing for anything else.
std::optional<bool> ReadBoolean(const RegValue& value);
// A REG_DWORD, or a text holding a whole number.
std::optional<std::int32_t> ReadNumber(const RegValue& value);
std::optional<std::string> ReadText(const RegValue& value);

// False when the group's stored FormVersion is below 0: nothing of it is to be restored.
bool FormVersionAllowsRestore(const RegFile& file, std::string_view key);

// Reads a group into `values`: each stored value that reads as its setting's type is given
// to its setting in the group's order, as the user's change of its control would be (a
// radio button read as on unchecks the others of its set; read as off, it clears only its
// own mark). A value that is missing or unreadable keeps what `values` holds. Returns false,
// reading nothing, when the stored FormVersion is below 0.
bool RestoreGroup(const RegFile& file, SettingValues& values);

// A group's values at their defaults, then read from `file` as RestoreGroup reads them.
SettingValues ReadGroup(const RegFile& file, const SettingsGroup& group);

// Writes FormVersion 0 and every value of the group: texts as REG_SZ, on/off as the texts
// "TRUE" or "FALSE", numbers as REG_DWORD.
void SaveGroup(RegFile& file, const SettingValues& values);

}  // namespace ostravex
