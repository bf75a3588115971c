#include "cli/TerminalProgress.h"

#include <QString>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kWidth = 40;
}

bool stderr_is_terminal()
{
    return isatty(fileno(stderr)) != 0;
}

TerminalProgress::TerminalProgress(QTextStream& stream, bool interactive)
    : stream_(stream)
    , interactive_(interactive)
{
}

void TerminalProgress::setRange(int low, int high)
{
    low_ = low;
    high_ = high > low ? high : low + 1;
}

void TerminalProgress::setValue(int value)
{
    const int percent = static_cast<int>(100LL * (qBound(low_, value, high_) - low_) / (high_ - low_));
    if (percent == shown_ || (!interactive_ && percent / 10 == shown_ / 10 && shown_ >= 0)) {
        return;
    }
    shown_ = percent;
    const int filled = percent * kWidth / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char('.'));
    if (interactive_) {
        stream_ << '\r' << '[' << bar << "] " << qSetFieldWidth(3) << percent << qSetFieldWidth(0) << '%';
    } else {
        stream_ << '[' << bar << "] " << percent << "%\n";
    }
    stream_.flush();
    drawn_ = interactive_;
}

void TerminalProgress::finish()
{
    if (drawn_) {
        stream_ << '\n';
        stream_.flush();
        drawn_ = false;
    }
}
