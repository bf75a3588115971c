#include "cli/TerminalProgress.h"

#include <QString>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kWidth = 40;
}

QString progress_bar(int percent, int width)
{
    const int filled = percent * width / 100;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.'))
        + QLatin1Char(']');
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

void TerminalProgress::setRange(int low, int high, int unit_bytes)
{
    low_ = low;
    high_ = high > low ? high : low + 1;
    unit_bytes_ = unit_bytes;
    shown_ = -1;
    clock_.start();
}

void TerminalProgress::setValue(int value)
{
    const int percent = static_cast<int>(100LL * (qBound(low_, value, high_) - low_) / (high_ - low_));
    if (percent == shown_ || (!interactive_ && percent / 10 == shown_ / 10 && shown_ >= 0)) {
        return;
    }
    shown_ = percent;
    const QString bar = progress_bar(percent, kWidth);
    if (interactive_) {
        stream_ << '\r' << bar << ' ' << qSetFieldWidth(3) << percent << qSetFieldWidth(0) << '%';
        const qint64 done = qBound(low_, value, high_) - low_;
        const double seconds = clock_.isValid() ? clock_.elapsed() / 1000.0 : 0.0;
        if (unit_bytes_ > 0 && done > 0 && seconds > 0) {
            const double rate = done * unit_bytes_ / seconds;
            const double left = (high_ - low_ - done) * unit_bytes_ / rate;
            stream_ << QStringLiteral("  %1/%2 KiB  %3 KiB/s  %4 s left  ")
                           .arg(done * unit_bytes_ / 1024.0, 0, 'f', 1)
                           .arg((high_ - low_) * double(unit_bytes_) / 1024.0, 0, 'f', 1)
                           .arg(rate / 1024.0, 0, 'f', 1)
                           .arg(left, 0, 'f', 0);
        }
    } else {
        stream_ << bar << ' ' << percent << "%\n";
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
