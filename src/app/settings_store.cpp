#include "settings_store.h"

#include <utility>

#include "settings/dialog_folders.h"
#include "settings/settings_file.h"
#include "settings/settings_groups.h"
#include "text_conversion.h"
#include "user_dialogs.h"

namespace ostravex::app {
namespace {

const std::pair<FileKind, const TextSetting*> kDialogFolders[] = {
    {FileKind::Text, &settings::kLogFolder},
    {FileKind::Picture, &settings::kPictureFolder},
};

}  // namespace

RegFile LoadStore() {
    RegFile file;
    (void)LoadSettingsFile(SettingsFilePath(), file);  // unreadable: the defaults stay
    return file;
}

RegFile SettingsStore::load() {
    RegFile file;
    if (Status status = LoadSettingsFile(SettingsFilePath(), file); !status) {
        m_unreadable = status.reason();
    }
    return file;
}

void SettingsStore::save(const std::function<void(RegFile&)>& write, UserDialogs& dialogs,
                         QWidget* parent) {
    const std::string path = SettingsFilePath();
    RegFile file;
    if (Status status = LoadSettingsFile(path, file); !status && !m_unreadable) {
        m_unreadable = status.reason();
    }
    if (m_unreadable) {
        report("Cannot save the settings to " + FromPath(path) + ": the file could not be read (" +
                   FromUtf8(*m_unreadable) + "), so it is left as it is",
               dialogs, parent);
        return;
    }
    write(file);
    if (Status status = SaveSettingsFile(path, file); !status) {
        report("Cannot save the settings to " + FromPath(path) + ": " + FromUtf8(status.reason()),
               dialogs, parent);
        return;
    }
    m_lastReported.reset();
}

void SettingsStore::report(const QString& text, UserDialogs& dialogs, QWidget* parent) {
    if (m_lastReported == text) {
        return;
    }
    m_lastReported = text;
    dialogs.error(parent, text);
}

void RestoreDialogFolders(const RegFile& file, UserDialogs& dialogs) {
    const SettingValues folders = ReadGroup(file, kDialogFoldersGroup);
    for (const auto& [kind, setting] : kDialogFolders) {
        dialogs.setLastFolder(kind, FromPath(folders.get(*setting)));
    }
}

void SaveDialogFolders(RegFile& file, const UserDialogs& dialogs) {
    SettingValues folders(kDialogFoldersGroup);
    for (const auto& [kind, setting] : kDialogFolders) {
        folders.set(*setting, ToPath(dialogs.lastFolder(kind)));
    }
    SaveGroup(file, folders);
}

}  // namespace ostravex::app
