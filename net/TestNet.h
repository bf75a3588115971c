#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkRequest;

// The release query: asks the firmware server which firmware is current.
class TestNet : public QObject
{
    Q_OBJECT
public:
    TestNet() = default;
    ~TestNet() override;

    // The answer body, cut at its first zero byte; empty when the request
    // failed, was refused by TLS or stalled.
    QString get_latest();

    QNetworkAccessManager* manager = nullptr;
    QNetworkRequest* request = nullptr;

private:
    void release();
};
