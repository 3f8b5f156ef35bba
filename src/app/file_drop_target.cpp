#include "file_drop_target.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace ostravex::app {

FileDropTarget::FileDropTarget(QObject* parent, std::function<bool()> accepting,
                               std::function<void(const QStringList&)> dropped)
    : QObject(parent), m_accepting(std::move(accepting)), m_dropped(std::move(dropped)) {}

void FileDropTarget::watch(QWidget* target) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter: {
            auto* enter = static_cast<QDragEnterEvent*>(event);
            if (enter->mimeData()->hasUrls() && m_accepting()) {
                enter->acceptProposedAction();
            }
            return true;
        }
        case QEvent::DragMove:
            static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList paths;
            for (const QUrl& url : drop->mimeData()->urls()) {
                if (url.isLocalFile()) {
                    paths << QDir::cleanPath(url.toLocalFile());
                }
            }
            drop->acceptProposedAction();
            QTimer::singleShot(0, this, [this, paths] { m_dropped(paths); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

}  // namespace ostravex::app
