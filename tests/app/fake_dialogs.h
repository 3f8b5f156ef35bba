#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "user_dialogs.h"

namespace ostravex::testing {

// Answers the window's questions from a script and records its notices.
class FakeDialogs : public app::UserDialogs {
  public:
    std::deque<QString> folderAnswers;  // next answers of the folder picker; a null one cancels
    QStringList pickerTitles;
    QStringList pickerStarts;
    QStringList messages;
    QStringList errors;
    QString saveAnswer;
    QString openAnswer;
    QStringList fileDialogStarts;  // the folder each file dialog started in
    QStringList openedUrls;
    std::function<void()> onMessage;

    std::optional<QString> pickFolder(QWidget*, const QString& title,
                                      const QString& start) override {
        pickerTitles << title;
        pickerStarts << start;
        if (folderAnswers.empty()) {
            return std::nullopt;
        }
        const QString answer = folderAnswers.front();
        folderAnswers.pop_front();
        if (answer.isNull()) {
            return std::nullopt;
        }
        return answer;
    }
    void message(QWidget*, const QString& text) override {
        messages << text;
        if (onMessage) {
            onMessage();
        }
    }
    void error(QWidget*, const QString& text) override { errors << text; }
    QString askSaveFileName(QWidget*, const QString&, const QString&, const QString& start,
                            app::FileKind) override {
        fileDialogStarts << start;
        return saveAnswer;
    }
    QString askOpenFileName(QWidget*, const QString&, const QString& start,
                            app::FileKind) override {
        fileDialogStarts << start;
        return openAnswer;
    }
    void openUrl(const QString& address) override { openedUrls << address; }
};

}  // namespace ostravex::testing
