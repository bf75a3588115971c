#include "console/MessageBoxNotices.h"

#include <QMessageBox>

void MessageBoxNotices::show(NoticeKind kind, const QString& title, const QString& text, const QString& informative)
{
    // What QMessageBox::information and ::warning build, with room for the
    // informative text below the box's own.
    QMessageBox box(kind == NoticeKind::Warning ? QMessageBox::Warning : QMessageBox::Information, title, text,
                    QMessageBox::Ok, nullptr);
    box.setInformativeText(informative);
    box.exec();
}
