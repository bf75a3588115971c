#include "support/MessageBoxCatcher.h"

#include "log/Settings.h"

#include <QApplication>
#include <QMessageBox>

MessageBoxCatcher::MessageBoxCatcher()
    : previous_sink_(settings().notices)
{
    settings().notices = &sink_;
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &MessageBoxCatcher::sweep);
    timer_.start();
}

MessageBoxCatcher::~MessageBoxCatcher()
{
    settings().notices = previous_sink_;
}

QStringList MessageBoxCatcher::texts() const
{
    QStringList out;
    for (const Box& box : boxes_) {
        out << box.text;
    }
    return out;
}

void MessageBoxCatcher::sweep()
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible() || box->property("caught").toBool()) {
            continue;
        }
        box->setProperty("caught", true);
        Box seen;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.informative = box->informativeText();
        seen.icon = int(box->icon());
        seen.buttons = static_cast<int>(box->standardButtons());
        seen.hasParent = box->parentWidget() != nullptr;
        boxes_.append(seen);
        if (onBox) {
            onBox(seen);
        }
        box->done(QMessageBox::Ok);
    }
}
