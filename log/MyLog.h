#pragma once

#include <QFile>
#include <QSharedPointer>
#include <QString>
#include <mutex>

// The dated run log of the device access path. Threads that update wallets
// side by side write whole lines, one at a time, each ended by its wallet's port.
class MyLog
{
public:
    static QSharedPointer<MyLog> GetInstance();

    MyLog();
    ~MyLog();
    MyLog(const MyLog&) = delete;
    MyLog& operator=(const MyLog&) = delete;

    void WriteLog(const QString& text);
    // False when the file could not be opened, so every line is lost;
    // OpenError() says why. The windows keep quiet about it, the tool does not.
    bool IsOpen() const { return log_file_.isOpen(); }
    QString OpenError() const { return log_file_.errorString(); }

    // "./yyyyMMdd.log" for today: the name a logger made now would write to.
    static QString FileName();

private:
    QFile log_file_;
    std::mutex mutex_;
};
