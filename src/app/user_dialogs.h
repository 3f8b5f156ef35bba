#pragma once

#include <QString>
#include <array>
#include <optional>

class QFileDialog;
class QWidget;

namespace ostravex::app {

// What a file dialog is for: each kind starts where the last one of its kind left off,
// and pictures are shown in a preview.
enum class FileKind { Text, Picture };

// The modal questions and notices the window puts to its user. Tests replace the asking.
class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // The folder browser, titled `title`. When `start` names an existing folder, the
    // browser opens in its parent with it selected, else at the home folder. Nothing when
    // cancelled.
    virtual std::optional<QString> pickFolder(QWidget* parent, const QString& title,
                                              const QString& start);
    // A notice with one OK button.
    virtual void message(QWidget* parent, const QString& text);
    // The central error notice: what an operation could not do.
    virtual void error(QWidget* parent, const QString& text);
    // A file name to save to; empty when cancelled. The dialog starts in the folder of the
    // last file of this kind chosen in this session, else in the home folder.
    QString saveFileName(QWidget* parent, const QString& filter, const QString& suffix,
                         FileKind kind);
    // A file to open; empty when cancelled. Starts like `saveFileName`.
    QString openFileName(QWidget* parent, const QString& filter, FileKind kind);
    // Opens a web address in the user's browser.
    virtual void openUrl(const QString& address);

    // The folder of the last file of a kind chosen; kept with the settings from one start
    // to the next.
    QString lastFolder(FileKind kind) const;
    void setLastFolder(FileKind kind, const QString& folder);

  protected:
    virtual QString askSaveFileName(QWidget* parent, const QString& filter, const QString& suffix,
                                    const QString& startFolder, FileKind kind);
    virtual QString askOpenFileName(QWidget* parent, const QString& filter,
                                    const QString& startFolder, FileKind kind);

  private:
    QString startFolder(FileKind kind) const;
    void remember(FileKind kind, const QString& chosen);

    std::array<QString, 2> m_lastFolders;  // by FileKind
};

// Makes `dialog` a folder picker that opens at `start` (see PreselectFolder), or at the
// home folder when `start` names no folder, with its path field taking the keys typed.
void PrepareFolderPicker(QFileDialog& dialog, const QString& start);

// Opens `dialog` in the parent of `folder` with `folder` selected; a folder that does not
// exist leaves the dialog as it is, a root folder opens the root.
void PreselectFolder(QFileDialog& dialog, const QString& folder);

}  // namespace ostravex::app
