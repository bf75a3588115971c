#pragma once

#include <QString>

// How the program tells the user something and waits until it has been seen.
// The layers below the windows call only this; what it becomes (a modal box in
// a window, a line on stderr, a JSON event) is decided by the front end, which
// installs its sink in the run-time settings.
enum class NoticeKind { Information, Warning };

class NoticeSink
{
public:
    virtual ~NoticeSink() = default;
    // Returns once the user has seen the notice (a box has been closed).
    // `informative`, when not empty, says what happened and what to do next.
    virtual void show(NoticeKind kind, const QString& title, const QString& text, const QString& informative) = 0;
};

// Without a sink a notice is a line "title: text" on stderr that needs no answer.
void show_notice(NoticeKind kind, const QString& title, const QString& text, const QString& informative = QString());

// The automatic update's notice: information titled "提示".
void show_notice(const QString& text);
