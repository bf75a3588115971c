#pragma once

#include "log/Notice.h"

// Notices as the windows show them: a parentless modal box with one OK button
// and no default button, titled as the notice says.
class MessageBoxNotices : public NoticeSink
{
public:
    void show(NoticeKind kind, const QString& title, const QString& text, const QString& informative) override;
};
