#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QWidget;

namespace ostravex::app {

// Takes files and folders dropped from the shell on the widgets it watches, while
// `accepting` says so, and hands their local paths on from the event loop, so that the
// drop itself ends at once.
class FileDropTarget : public QObject {
    Q_OBJECT
  public:
    FileDropTarget(QObject* parent, std::function<bool()> accepting,
                   std::function<void(const QStringList&)> dropped);

    void watch(QWidget* target);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<bool()> m_accepting;
    std::function<void(const QStringList&)> m_dropped;
};

}  // namespace ostravex::app
