#include "app/CloseGuard.h"

#include <QEvent>
#include <QWidget>

CloseGuard::CloseGuard(QWidget* window)
    : QObject(window)
{
    window->installEventFilter(this);
}

bool CloseGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (held_ && event->type() == QEvent::Close) {
        // A close event starts out accepted; only an ignored one keeps the
        // window open.
        event->ignore();
        if (onRefused) {
            onRefused();
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}
