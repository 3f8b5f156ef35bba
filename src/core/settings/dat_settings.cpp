#include "settings/dat_settings.h"

#include <algorithm>

#include "settings/settings_groups.h"

namespace ostravex {

std::string DatSourceName(std::size_t index) {
    return "Dat" + std::to_string(index + 1);
}

DatSettings ReadDatSettings(const RegFile& file) {
    const SettingValues values = ReadGroup(file, kDatSettingsGroup);
    DatSettings settings;
    settings.checkPadding = values.get(settings::kCheckPadding);
    const int count = std::clamp(values.get(settings::kDatCount), 0, kMostDatSources);
    for (int i = 0; i < count; ++i) {
        const RegValue* stored =
            file.find(kDatSettingsKey, DatSourceName(static_cast<std::size_t>(i)));
        if (!stored) {
            continue;
        }
        const std::optional<std::string> source = ReadText(*stored);
        if (source && !source->empty()) {
            settings.sources.push_back(*source);
        }
    }
    return settings;
}

void SaveDatSettings(RegFile& file, const DatSettings& settings) {
    SettingValues values(kDatSettingsGroup);
    values.set(settings::kCheckPadding, settings.checkPadding);
    const RegValue* before = file.find(kDatSettingsKey, settings::kDatCount.name);
    const std::int32_t storedBefore =
        before ? std::clamp(ReadNumber(*before).value_or(0), 0, kMostDatSources) : 0;
    values.set(settings::kDatCount, static_cast<std::int32_t>(settings.sources.size()));
    SaveGroup(file, values);
    for (std::size_t i = 0; i < settings.sources.size(); ++i) {
        file.set(kDatSettingsKey, DatSourceName(i), RegValue::String(settings.sources[i]));
    }
    for (auto i = static_cast<std::int32_t>(settings.sources.size()); i < storedBefore; ++i) {
        file.remove(kDatSettingsKey, DatSourceName(static_cast<std::size_t>(i)));
    }
}

}  // namespace ostravex
