#pragma once

#include <QDialog>

#include "settings/dat_settings.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace ostravex::app {

class UserDialogs;

// "DATs and Checks": the DAT files and folders every run identifies roms against (a zip of
// DATs as downloaded is a DAT file here), the padding check, and what the DATs set gave
// when they were loaded. A change applies at once: the window is told and saves it.
class DatsDialog : public QDialog {
    Q_OBJECT
  public:
    DatsDialog(const DatSettings& settings, UserDialogs& dialogs, QWidget* parent = nullptr);

    QListWidget* datList;
    QPushButton* addFileButton;
    QPushButton* addFolderButton;
    QPushButton* removeButton;
    QCheckBox* checkPaddingBox;
    QLabel* loadedLabel;  // what the DATs set gave, or why they could not be loaded
    QPushButton* closeButton;

    DatSettings settings() const;
    // Shows what loading the DATs gave (or that they are being loaded).
    void showLoaded(const QString& text);

    void addFileClick();
    void addFolderClick();
    void removeClick();

  signals:
    void settingsChanged(const DatSettings& settings);

  private:
    // Adds a source unless it is listed already; false when it was.
    bool addSource(const QString& path);
    void announceChange();

    UserDialogs& m_dialogs;
};

}  // namespace ostravex::app
