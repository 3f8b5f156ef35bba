#include "user_dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace ostravex::app {

std::optional<QString> UserDialogs::pickFolder(QWidget* parent, const QString& title,
                                               const QString& start) {
    const QString startFolder = !start.isEmpty() && QDir(start).exists() ? start : QString();
    const QString chosen = QFileDialog::getExistingDirectory(
        parent, title, startFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

void UserDialogs::message(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QApplication::applicationDisplayName(), text);
}

void UserDialogs::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

QString UserDialogs::saveFileName(QWidget* parent, const QString& filter, const QString& suffix) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

QString UserDialogs::openFileName(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, {}, {}, filter);
}

void UserDialogs::openUrl(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

}  // namespace ostravex::app
