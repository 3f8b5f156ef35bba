#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "settings/reg_file.h"

class QWidget;

namespace ostravex::app {

class UserDialogs;

// The per-user settings store as it stands; empty when missing or unreadable.
RegFile LoadStore();

// The store as one window reads it at its start and writes it as its values change. A store
// that could not be read (no permission, not a regular file, too large) is never written over:
// the window then shows its defaults, not the user's values, and writing them would lose
// what the store holds (the other window's group among it).
class SettingsStore {
  public:
    // The store as it stands; empty when missing or unreadable.
    RegFile load();

    // Rewrites the store with `write` applied to what it holds now, keeping what `write`
    // does not touch (the other window's group). A failure, or a store that this window or
    // this save could not read, is shown as an error notice and leaves the file as it is;
    // the same failure again is not shown again until a save has succeeded.
    void save(const std::function<void(RegFile&)>& write, UserDialogs& dialogs, QWidget* parent);

  private:
    // Shows `text` unless it is the failure shown last.
    void report(const QString& text, UserDialogs& dialogs, QWidget* parent);

    std::optional<std::string> m_unreadable;  // why the store could not be read
    std::optional<QString> m_lastReported;    // the failure shown since the last success
};

// The folders the file dialogs start in, kept in the program's own group.
void RestoreDialogFolders(const RegFile& file, UserDialogs& dialogs);
void SaveDialogFolders(RegFile& file, const UserDialogs& dialogs);

}  // namespace ostravex::app
