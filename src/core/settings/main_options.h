#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "host.h"
#include "settings/reg_file.h"
#include "settings/settings_groups.h"

namespace ostravex {

// The main window's stored options, as the window shows them once they are restored.
// The defaults are the states the controls have when the window is created.
struct MainOptions {
    std::string outputFolder;  // of "Use a different output folder"
    FileMode fileMode = FileMode::Overwrite;
    bool recursiveScan = true;
    bool scanArchives = true;
    bool processSelected = false;
    std::string lastScannedFolder = "/";
    bool alwaysOnTopButtonDown = false;
    bool alwaysOnTop = false;
    bool alternateBackgrounds = false;
    bool checkNewVersion = true;
    bool removeSceneNumbers = false;
    bool disableBackground = false;
    std::int32_t opacity = 255;  // 255 is opaque
    bool sramPatch = false;
    bool onlyPatch = false;
    bool dontOverwrite = false;
    bool useListView = false;
    bool skipDsi = false;

    bool operator==(const MainOptions&) const = default;
};

inline constexpr std::int32_t kMinOpacity = 100;
inline constexpr std::int32_t kMaxOpacity = 255;

// Where a stored value belongs: a field of MainOptions, or, for the three radio buttons of
// the file options, the file mode the button stands for.
using MainOptionField = std::variant<std::string MainOptions::*, bool MainOptions::*,
                                     std::int32_t MainOptions::*, FileMode>;

struct MainOptionRow {
    std::string_view name;  // the control's name, "_", the property's name
    MainOptionField field;
};

// The main group, in the order its values are read and written.
inline constexpr MainOptionRow kMainOptionRows[] = {
    {"Edit1_Text", &MainOptions::outputFolder},
    {"ModeOverwrite_Checked", FileMode::Overwrite},
    {"ModeBackup_Checked", FileMode::Backup},
    {"ModeFolder_Checked", FileMode::Folder},
    {"RecurseScan_Checked", &MainOptions::recursiveScan},
    {"ZipSupport_Checked", &MainOptions::scanArchives},
    {"ProcessSelect_Checked", &MainOptions::processSelected},
    {"inputfold_Caption", &MainOptions::lastScannedFolder},
    {"TopWind_Down", &MainOptions::alwaysOnTopButtonDown},
    {"TopMostWindow1_AlwaysOnTop", &MainOptions::alwaysOnTop},
    {"UseBackgrounds_Checked", &MainOptions::alternateBackgrounds},
    {"CheckNewVer_Checked", &MainOptions::checkNewVersion},
    {"RemoveNames_Checked", &MainOptions::removeSceneNumbers},
    {"DisableBackground_Checked", &MainOptions::disableBackground},
    {"BlendTrackBar_Position", &MainOptions::opacity},
    {"SramP_Checked", &MainOptions::sramPatch},
    {"OnlyPatch_Checked", &MainOptions::onlyPatch},
    {"notoverwrite_Checked", &MainOptions::dontOverwrite},
    {"UseListView_Checked", &MainOptions::useListView},
    {"SkipDSi_Checked", &MainOptions::skipDsi},
};

constexpr SettingKind KindOf(const MainOptionField& field) {
    if (std::holds_alternative<std::string MainOptions::*>(field)) {
        return SettingKind::Text;
    }
    if (std::holds_alternative<std::int32_t MainOptions::*>(field)) {
        return SettingKind::Number;
    }
    return SettingKind::Boolean;
}

// The main group's names and kinds, as the group functions take them.
inline constexpr auto kMainSettings = [] {
    std::array<StoredSetting, std::size(kMainOptionRows)> settings{};
    for (std::size_t i = 0; i < settings.size(); ++i) {
        settings[i] = {kMainOptionRows[i].name, KindOf(kMainOptionRows[i].field)};
    }
    return settings;
}();

// Asks the user for an output folder; nothing when the question is cancelled.
using AskFolder = std::function<std::optional<std::string>()>;

// Reads the main group. A value that is missing or unreadable keeps its default; a stored
// FormVersion below 0 restores nothing. The file options are resolved as their radio
// buttons are when assigned in table order: a value read as true chooses its option, a
// value read as false clears only its own mark, and when no option is left chosen,
// "Overwrite" is. The opacity is clamped to 100..255. Then the output-folder rule:
// "Use a different output folder" with an empty folder asks `askOutputFolder` (when
// given), and with a folder that does not exist falls back to "Overwrite" with an empty
// folder.
MainOptions RestoreMainOptions(const RegFile& file, const AskFolder& askOutputFolder = {});

// Writes FormVersion 0 and every value of the main group, the radio buttons as three
// separate values.
void SaveMainOptions(RegFile& file, const MainOptions& options);

}  // namespace ostravex
