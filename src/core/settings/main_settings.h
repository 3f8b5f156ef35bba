#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "settings/run_options.h"
#include "settings/setting.h"

namespace ostravex {

inline constexpr std::string_view kMainSettingsKey = "HKEY_CURRENT_USER\\Ostravex";

namespace settings {

// The radio buttons of the three file options.
inline constexpr int kFileOptions = 1;

inline constexpr std::int32_t kMinOpacity = 100;
inline constexpr std::int32_t kMaxOpacity = 255;

}  // namespace settings

// A stored option that only the window reads (its looks, its lists, its own state).
struct WindowOnly {};
inline constexpr WindowOnly kWindowOnly;

// Where a scan or a run reads a stored option of the main window: nowhere, the radio button
// of one file option, an on/off member of RunOptions, or a folder member of RunOptions
// (read with a "/" at its end).
using RunTarget = std::variant<WindowOnly, FileMode, bool RunOptions::*, std::string RunOptions::*>;

// The declaration of one stored option of the main window, any of the three setting types.
using MainSettingDeclaration = std::variant<TextSetting, BooleanSetting, NumberSetting>;

// One row of the main window's table: the stored option and where a run reads it. Only the
// pairs below can be written, so that a row cannot leave out where a run reads it nor give
// an option to a member of another type.
struct MainOption {
    constexpr MainOption(TextSetting declared, std::string RunOptions::*folder)
        : setting(declared), run(folder) {}
    constexpr MainOption(BooleanSetting declared, bool RunOptions::*on)
        : setting(declared), run(on) {}
    constexpr MainOption(BooleanSetting declared, FileMode mode) : setting(declared), run(mode) {}
    template <typename T>
    constexpr MainOption(Setting<T> declared, WindowOnly) : setting(declared), run(kWindowOnly) {}

    MainSettingDeclaration setting;
    RunTarget run;
};

// The main window's stored options, each declared once: its name in the store, its type,
// its default and where a run reads it. The names follow the controls of the window the
// program began as; the defaults are the states the controls have when the window is made.
// The order is the order the values are read and written in.
inline constexpr MainOption kMainOptions[] = {
    // "Use a different output folder".
    {TextSetting{"Edit1_Text", ""}, &RunOptions::outputFolder},
    {BooleanSetting{"ModeOverwrite_Checked", true, settings::kFileOptions}, FileMode::Overwrite},
    {BooleanSetting{"ModeBackup_Checked", false, settings::kFileOptions}, FileMode::Backup},
    {BooleanSetting{"ModeFolder_Checked", false, settings::kFileOptions}, FileMode::Folder},
    {BooleanSetting{"RecurseScan_Checked", true}, &RunOptions::recursiveScan},
    {BooleanSetting{"ZipSupport_Checked", true}, &RunOptions::scanArchives},
    {BooleanSetting{"ProcessSelect_Checked", false}, kWindowOnly},
    // The last scanned folder, where the scan's folder picker starts.
    {TextSetting{"inputfold_Caption", "/"}, kWindowOnly},
    {BooleanSetting{"TopWind_Down", false}, kWindowOnly},
    {BooleanSetting{"TopMostWindow1_AlwaysOnTop", false}, kWindowOnly},
    {BooleanSetting{"UseBackgrounds_Checked", false}, kWindowOnly},
    {BooleanSetting{"CheckNewVer_Checked", true}, kWindowOnly},
    {BooleanSetting{"RemoveNames_Checked", false}, &RunOptions::removeSceneNumbers},
    {BooleanSetting{"DisableBackground_Checked", false}, kWindowOnly},
    {NumberSetting{"BlendTrackBar_Position", 255}, kWindowOnly},  // 255 is opaque
    {BooleanSetting{"SramP_Checked", false}, &RunOptions::sramPatch},
    {BooleanSetting{"OnlyPatch_Checked", false}, &RunOptions::onlyPatch},
    {BooleanSetting{"notoverwrite_Checked", false}, &RunOptions::dontOverwrite},
    {BooleanSetting{"UseListView_Checked", false}, kWindowOnly},
    {BooleanSetting{"SkipDSi_Checked", false}, &RunOptions::skipDsi},
};

inline constexpr std::size_t kMainOptionCount = std::size(kMainOptions);

// The declaration of the main window's option stored under `name`; a name that is not in
// the table, or an option of another type, does not compile.
template <typename T>
consteval const Setting<T>& MainSetting(std::string_view name) {
    // By the alternative's index, not by get_if: a compiler that checks pointers for
    // undefined behaviour (the sanitizer builds) takes no address test as a constant.
    for (const MainOption& option : kMainOptions) {
        if (std::holds_alternative<Setting<T>>(option.setting) &&
            std::get<Setting<T>>(option.setting).name == name) {
            return std::get<Setting<T>>(option.setting);
        }
    }
    throw "no stored option of the main window of this name and type";
}

// Names for the options the code reads or binds one by one.
namespace settings {

inline constexpr const TextSetting& kOutputFolder = MainSetting<std::string>("Edit1_Text");
inline constexpr const BooleanSetting& kModeOverwrite = MainSetting<bool>("ModeOverwrite_Checked");
inline constexpr const BooleanSetting& kModeBackup = MainSetting<bool>("ModeBackup_Checked");
inline constexpr const BooleanSetting& kModeFolder = MainSetting<bool>("ModeFolder_Checked");
inline constexpr const BooleanSetting& kRecursiveScan = MainSetting<bool>("RecurseScan_Checked");
inline constexpr const BooleanSetting& kScanArchives = MainSetting<bool>("ZipSupport_Checked");
inline constexpr const BooleanSetting& kProcessSelected =
    MainSetting<bool>("ProcessSelect_Checked");
inline constexpr const TextSetting& kLastScannedFolder =
    MainSetting<std::string>("inputfold_Caption");
inline constexpr const BooleanSetting& kAlwaysOnTopButton = MainSetting<bool>("TopWind_Down");
inline constexpr const BooleanSetting& kAlwaysOnTop =
    MainSetting<bool>("TopMostWindow1_AlwaysOnTop");
inline constexpr const BooleanSetting& kAlternateBackgrounds =
    MainSetting<bool>("UseBackgrounds_Checked");
inline constexpr const BooleanSetting& kCheckNewVersion = MainSetting<bool>("CheckNewVer_Checked");
inline constexpr const BooleanSetting& kRemoveSceneNumbers =
    MainSetting<bool>("RemoveNames_Checked");
inline constexpr const BooleanSetting& kDisableBackground =
    MainSetting<bool>("DisableBackground_Checked");
inline constexpr const NumberSetting& kOpacity =
    MainSetting<std::int32_t>("BlendTrackBar_Position");
inline constexpr const BooleanSetting& kSramPatch = MainSetting<bool>("SramP_Checked");
inline constexpr const BooleanSetting& kOnlyPatch = MainSetting<bool>("OnlyPatch_Checked");
inline constexpr const BooleanSetting& kDontOverwrite = MainSetting<bool>("notoverwrite_Checked");
inline constexpr const BooleanSetting& kUseListView = MainSetting<bool>("UseListView_Checked");
inline constexpr const BooleanSetting& kSkipDsi = MainSetting<bool>("SkipDSi_Checked");

}  // namespace settings

// The table's declarations as a group lists them, in the table's order.
consteval std::array<AnySetting, kMainOptionCount> MainGroupSettings() {
    std::array<AnySetting, kMainOptionCount> listed{};
    for (std::size_t i = 0; i < kMainOptionCount; ++i) {
        listed[i] = std::visit([](const auto& declared) -> AnySetting { return &declared; },
                               kMainOptions[i].setting);
    }
    return listed;
}

inline constexpr std::array<AnySetting, kMainOptionCount> kMainSettings = MainGroupSettings();

inline constexpr SettingsGroup kMainGroup{kMainSettingsKey, kMainSettings};

// ---- what the table must hold, checked as it compiles --------------------------------------

namespace main_options_checks {

consteval bool NamesAreUnique() {
    for (std::size_t i = 0; i < kMainOptionCount; ++i) {
        for (std::size_t j = i + 1; j < kMainOptionCount; ++j) {
            if (NameOf(kMainSettings[i]) == NameOf(kMainSettings[j])) {
                return false;
            }
        }
    }
    return true;
}

template <typename Target>
consteval int RowsReadInto(Target target) {
    int rows = 0;
    for (const MainOption& option : kMainOptions) {
        rows += std::holds_alternative<Target>(option.run) && std::get<Target>(option.run) == target
                    ? 1
                    : 0;
    }
    return rows;
}

// The file options are one set of radio buttons, one per file mode, exactly one of them
// checked at the start; no other option is of their set.
consteval bool FileOptionsAreOneRadioSet() {
    int checkedAtStart = 0;
    for (const MainOption& option : kMainOptions) {
        const bool boolean = std::holds_alternative<BooleanSetting>(option.setting);
        const bool isFileOption = std::holds_alternative<FileMode>(option.run);
        const bool inSet =
            boolean && std::get<BooleanSetting>(option.setting).radioSet == settings::kFileOptions;
        if (isFileOption != inSet) {
            return false;
        }
        checkedAtStart +=
            isFileOption && std::get<BooleanSetting>(option.setting).defaultValue ? 1 : 0;
    }
    return checkedAtStart == 1;
}

}  // namespace main_options_checks

static_assert(main_options_checks::NamesAreUnique(), "two options stored under one name");
static_assert(main_options_checks::FileOptionsAreOneRadioSet(),
              "the file options must be one radio set, one checked at the start");
static_assert(main_options_checks::RowsReadInto(FileMode::Overwrite) == 1 &&
                  main_options_checks::RowsReadInto(FileMode::Backup) == 1 &&
                  main_options_checks::RowsReadInto(FileMode::Folder) == 1,
              "each file mode needs its one radio button");
// Every member of RunOptions that the window's options give, read from exactly one row.
static_assert(main_options_checks::RowsReadInto(&RunOptions::outputFolder) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::dontOverwrite) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::sramPatch) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::onlyPatch) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::skipDsi) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::removeSceneNumbers) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::recursiveScan) == 1 &&
                  main_options_checks::RowsReadInto(&RunOptions::scanArchives) == 1,
              "a member of RunOptions the window gives has no row, or more than one");
// Only those: a member the command line alone sets is never read from a stored option.
static_assert(main_options_checks::RowsReadInto(&RunOptions::dryRun) == 0 &&
                  main_options_checks::RowsReadInto(&RunOptions::restore) == 0 &&
                  main_options_checks::RowsReadInto(&RunOptions::checkPadding) == 0 &&
                  main_options_checks::RowsReadInto(&RunOptions::headerCheck) == 0,
              "a member of RunOptions the command line alone sets is read from the store");

}  // namespace ostravex
