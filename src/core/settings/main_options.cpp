#include "settings/main_options.h"

#include <algorithm>
#include <array>

#include "io/paths.h"

namespace ostravex {
namespace {

// The marks of the three file options' radio buttons, indexed by FileMode.
using FileOptionMarks = std::array<bool, 3>;

std::size_t MarkOf(FileMode mode) {
    return static_cast<std::size_t>(mode);
}

// Gives one stored value to its field, or to the radio buttons' marks.
class AssignStored {
  public:
    AssignStored(MainOptions& options, FileOptionMarks& marks, const SettingValue& value)
        : m_options(options), m_marks(marks), m_value(value) {}

    void operator()(std::string MainOptions::*field) const {
        m_options.*field = std::get<std::string>(m_value);
    }
    void operator()(bool MainOptions::*field) const { m_options.*field = std::get<bool>(m_value); }
    void operator()(std::int32_t MainOptions::*field) const {
        m_options.*field = std::get<std::int32_t>(m_value);
    }
    void operator()(FileMode mode) const {
        if (std::get<bool>(m_value)) {
            m_marks.fill(false);  // checking one radio button unchecks the others
        }
        m_marks[MarkOf(mode)] = std::get<bool>(m_value);  // unchecking clears only its own
    }

  private:
    MainOptions& m_options;
    FileOptionMarks& m_marks;
    const SettingValue& m_value;
};

class CurrentValue {
  public:
    explicit CurrentValue(const MainOptions& options) : m_options(options) {}

    SettingValue operator()(std::string MainOptions::*field) const { return m_options.*field; }
    SettingValue operator()(bool MainOptions::*field) const { return m_options.*field; }
    SettingValue operator()(std::int32_t MainOptions::*field) const { return m_options.*field; }
    SettingValue operator()(FileMode mode) const { return m_options.fileMode == mode; }

  private:
    const MainOptions& m_options;
};

}  // namespace

MainOptions RestoreMainOptions(const RegFile& file, const AskFolder& askOutputFolder) {
    MainOptions options;
    if (!FormVersionAllowsRestore(file, kMainSettingsKey)) {
        return options;
    }
    FileOptionMarks marks{};
    marks[MarkOf(options.fileMode)] = true;
    for (std::size_t i = 0; i < std::size(kMainOptionRows); ++i) {
        if (const auto value = ReadStoredSetting(file, kMainSettingsKey, kMainSettings[i])) {
            std::visit(AssignStored(options, marks, *value), kMainOptionRows[i].field);
        }
    }
    options.opacity = std::clamp(options.opacity, kMinOpacity, kMaxOpacity);
    // Every option stored as off leaves none checked: back to the default.
    options.fileMode = marks[MarkOf(FileMode::Backup)]   ? FileMode::Backup
                       : marks[MarkOf(FileMode::Folder)] ? FileMode::Folder
                                                         : FileMode::Overwrite;

    if (options.fileMode == FileMode::Folder && options.outputFolder.empty() && askOutputFolder) {
        if (auto folder = askOutputFolder()) {
            options.outputFolder = std::move(*folder);
        }
    }
    if (options.fileMode == FileMode::Folder &&
        (options.outputFolder.empty() || !DirectoryExists(options.outputFolder))) {
        options.fileMode = FileMode::Overwrite;
        options.outputFolder.clear();
    }
    return options;
}

void SaveMainOptions(RegFile& file, const MainOptions& options) {
    file.set(kMainSettingsKey, kFormVersion, RegValue::Dword(0));
    for (const MainOptionRow& row : kMainOptionRows) {
        WriteStoredSetting(file, kMainSettingsKey, row.name,
                           std::visit(CurrentValue(options), row.field));
    }
}

}  // namespace ostravex
