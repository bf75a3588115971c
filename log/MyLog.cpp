#include "log/MyLog.h"

#include "log/WalletThread.h"

#include <QDate>
#include <QDateTime>

QSharedPointer<MyLog> MyLog::GetInstance()
{
    static QSharedPointer<MyLog> instance(new MyLog);
    return instance;
}

QString MyLog::FileName()
{
    return QStringLiteral("./") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log");
}

MyLog::MyLog()
{
    log_file_.setFileName(FileName());
    // Appending keeps the lines of an earlier run on the same day.
    log_file_.open(QIODevice::WriteOnly | QIODevice::Append);
}

MyLog::~MyLog()
{
    if (log_file_.isOpen()) {
        log_file_.close();
    }
}

void MyLog::WriteLog(const QString& text)
{
    const QString wallet = WalletThread::label();
    // The local time is taken under the lock too: the C library's time zone
    // state is read and rewritten by each conversion.
    const std::lock_guard<std::mutex> locked(mutex_);
    if (!log_file_.isOpen()) {
        return;
    }
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
        + QStringLiteral("    ") + text + (wallet.isEmpty() ? QString() : QLatin1Char('\t') + wallet)
        + QLatin1Char('\n');
    log_file_.write(line.toLocal8Bit());
    log_file_.flush();
}
