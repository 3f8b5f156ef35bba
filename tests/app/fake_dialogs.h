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
    QString saveFileName(QWidget*, const QString&, const QString&) override { return saveAnswer; }
    QString openFileName(QWidget*, const QString&) override { return openAnswer; }
    void openUrl(const QString& address) override { openedUrls << address; }
};

}  // namespace ostravex::testing
