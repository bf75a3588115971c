#pragma once

#include "console/MessageBoxNotices.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>

// Records and closes every message box that opens while it lives, so tests can
// assert what the user would have been shown, in order, without anyone clicking.
// While it lives, notices are shown as the windows show them: as boxes.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT
public:
    struct Box
    {
        QString title;
        QString text;
        QString informative; // what happened and what to do next
        int icon = 0; // QMessageBox::Icon
        int buttons = 0; // QMessageBox::StandardButtons
        bool hasParent = false;
    };

    MessageBoxCatcher();
    ~MessageBoxCatcher() override;

    const QVector<Box>& boxes() const { return boxes_; }
    // Called for each box while it is still open.
    std::function<void(const Box&)> onBox;
    QStringList texts() const;

private:
    void sweep();

    QTimer timer_;
    MessageBoxNotices sink_;
    NoticeSink* previous_sink_;
    QVector<Box> boxes_;
};
