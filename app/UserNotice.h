#pragma once

#include <QString>

// The automatic update tells the user things through this one seam, so that
// the same sequence serves the window and the command line: in the window a
// modal box, on the command line a line on stderr that needs no answer.
enum class NoticeChannel { MessageBox, Stderr };

void set_notice_channel(NoticeChannel channel);
NoticeChannel notice_channel();

// An information box titled "提示", without parent, with one OK button and no
// default button; returns once the user has closed it.
void show_notice(const QString& text);
