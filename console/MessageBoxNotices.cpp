#include "console/MessageBoxNotices.h"

#include <QMessageBox>

void MessageBoxNotices::show(NoticeKind kind, const QString& title, const QString& text)
{
    if (kind == NoticeKind::Warning) {
        QMessageBox::warning(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    } else {
        QMessageBox::information(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
    }
}
