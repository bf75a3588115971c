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

private:
    QFile log_file_;
};
