#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace ostravex::app {

// The modal questions and notices the window puts to its user. Tests replace them.
class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // The system's folder browser, titled `title`, starting at `start` when it names an
    // existing folder. Nothing when cancelled.
    virtual std::optional<QString> pickFolder(QWidget* parent, const QString& title,
                                              const QString& start);
    // A notice with one OK button.
    virtual void message(QWidget* parent, const QString& text);
    // The central error notice: what an operation could not do.
    virtual void error(QWidget* parent, const QString& text);
    // A file name to save to; empty when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& filter, const QString& suffix);
    // A file to open; empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& filter);
    // Opens a web address in the user's browser.
    virtual void openUrl(const QString& address);
};

}  // namespace ostravex::app
