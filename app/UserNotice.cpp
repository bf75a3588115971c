#include "app/UserNotice.h"

#include <QMessageBox>
#include <QTextStream>

#include <cstdio>

namespace {
NoticeChannel current_channel = NoticeChannel::MessageBox;
}

void set_notice_channel(NoticeChannel channel)
{
    current_channel = channel;
}

NoticeChannel notice_channel()
{
    return current_channel;
}

void show_notice(const QString& text)
{
    if (current_channel == NoticeChannel::Stderr) {
        QTextStream err(stderr);
        err.setCodec("UTF-8");
        err << QStringLiteral("提示: ") << text << '\n';
        return;
    }
    QMessageBox::information(nullptr, QStringLiteral("提示"), text, QMessageBox::Ok, QMessageBox::NoButton);
}
