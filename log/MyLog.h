#pragma once

#include <QFile>
#include <QSharedPointer>
#include <QString>

// The dated run log of the device access path.
class MyLog
{
public:
    static QSharedPointer<MyLog> GetInstance();

    MyLog();
    ~MyLog();
    MyLog(const MyLog&) = delete;
    MyLog& operator=(const MyLog&) = delete;

    void WriteLog(const QString& text);

    // "./yyyyMMdd.log" for today: the name a logger made now would write to.
    static QString FileName();

private:
    QFile log_file_;
};
