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
        boxes_.append({box->windowTitle(), box->text(), box->informativeText(), int(box->icon()),
                       static_cast<int>(box->standardButtons()), box->parentWidget() != nullptr});
        if (onBox) {
            onBox(Box(boxes_.last())); // a copy: the vector may grow meanwhile
        }
        box->done(QMessageBox::Ok);
    }
}
