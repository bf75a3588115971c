#include "support/RunLog.h"

#include <QDate>
#include <QFile>

namespace run_log {

namespace {
// "yyyy-MM-dd hh:mm:ss" and four spaces.
constexpr int kStampWidth = 23;
} // namespace

QString fileName()
{
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log");
}

QStringList texts()
{
    QFile file(fileName());
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& line : lines) {
        line = line.mid(kStampWidth);
    }
    return lines;
}

QString lastText()
{
    const QStringList lines = texts();
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace run_log
