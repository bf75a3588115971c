#include "log/Notice.h"

#include "log/Settings.h"

#include <QTextStream>

#include <cstdio>

void show_notice(NoticeKind kind, const QString& title, const QString& text, const QString& informative)
{
    if (NoticeSink* sink = settings().notices) {
        sink->show(kind, title, text, informative);
        return;
    }
    QTextStream err(stderr);
    err.setCodec("UTF-8");
    err << title << QStringLiteral(": ") << text << '\n';
    if (!informative.isEmpty()) {
        err << informative << '\n';
    }
}

void show_notice(const QString& text)
{
    show_notice(NoticeKind::Information, QStringLiteral("提示"), text);
}
