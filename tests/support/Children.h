#pragma once

#include <QString>
#include <QVariant>
#include <QWidget>

// A window's own control of type T, the first or the first whose text is
// `text`, as the user finds it by its label.
template<typename T>
T* child(const QWidget& w, const QString& text = QString())
{
    for (T* c : w.findChildren<T*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (text.isEmpty() || c->property("text").toString() == text) {
            return c;
        }
    }
    return nullptr;
}
