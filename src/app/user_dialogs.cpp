#include "user_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include "app_title.h"
#include "picture_preview.h"

namespace ostravex::app {
namespace {

// A dialog for `kind`: pictures need the dialog that can hold a preview.
void PrepareFileDialog(QFileDialog& dialog, const QString& filter, const QString& startFolder,
                       FileKind kind) {
    dialog.setNameFilter(filter);
    dialog.setDirectory(startFolder);
    if (kind == FileKind::Picture) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        AttachPicturePreview(dialog);
    }
}

QString ChosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

}  // namespace

void PreselectFolder(QFileDialog& dialog, const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return;
    }
    const QString absolute = QDir(folder).absolutePath();
    QDir parent(absolute);
    if (!parent.cdUp()) {
        dialog.setDirectory(absolute);  // a root has no parent to show it in
        return;
    }
    dialog.setDirectory(parent.absolutePath());
    dialog.selectFile(absolute);
}

void PrepareFolderPicker(QFileDialog& dialog, const QString& start) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    // Without a folder to show, the home folder: not the current folder of the process,
    // nor the list of drives.
    dialog.setDirectory(QDir::homePath());
    PreselectFolder(dialog, start);
    // A path typed at once goes into the path field.
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (auto* pathField = dialog.findChild<QLineEdit*>("fileNameEdit")) {
            pathField->setFocus(Qt::OtherFocusReason);
        }
    });
}

std::optional<QString> UserDialogs::pickFolder(QWidget* parent, const QString& title,
                                               const QString& start) {
    QFileDialog dialog(parent, title);
    PrepareFolderPicker(dialog, start);
    const QString chosen = ChosenFile(dialog);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

void UserDialogs::message(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, kAppTitle, text);
}

void UserDialogs::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, kAppTitle, text);
}

QString UserDialogs::saveFileName(QWidget* parent, const QString& filter, const QString& suffix,
                                  FileKind kind) {
    const QString chosen = askSaveFileName(parent, filter, suffix, startFolder(kind), kind);
    remember(kind, chosen);
    return chosen;
}

QString UserDialogs::openFileName(QWidget* parent, const QString& filter, FileKind kind) {
    const QString chosen = askOpenFileName(parent, filter, startFolder(kind), kind);
    remember(kind, chosen);
    return chosen;
}

QString UserDialogs::lastFolder(FileKind kind) const {
    return m_lastFolders[static_cast<std::size_t>(kind)];
}

void UserDialogs::setLastFolder(FileKind kind, const QString& folder) {
    m_lastFolders[static_cast<std::size_t>(kind)] = folder;
}

QString UserDialogs::startFolder(FileKind kind) const {
    const QString& last = m_lastFolders[static_cast<std::size_t>(kind)];
    return !last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath();
}

void UserDialogs::remember(FileKind kind, const QString& chosen) {
    if (!chosen.isEmpty()) {
        m_lastFolders[static_cast<std::size_t>(kind)] = QFileInfo(chosen).absolutePath();
    }
}

QString UserDialogs::askSaveFileName(QWidget* parent, const QString& filter, const QString& suffix,
                                     const QString& startFolder, FileKind kind) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    PrepareFileDialog(dialog, filter, startFolder, kind);
    return ChosenFile(dialog);
}

QString UserDialogs::askOpenFileName(QWidget* parent, const QString& filter,
                                     const QString& startFolder, FileKind kind) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    PrepareFileDialog(dialog, filter, startFolder, kind);
    return ChosenFile(dialog);
}

void UserDialogs::openUrl(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

}  // namespace ostravex::app
