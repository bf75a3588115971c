#pragma once

#include "log/Failure.h"

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

    // Why the last query failed (address, error, HTTP status, certificate
    // errors), or empty when it succeeded.
    QString lastError() const { return last_error_; }
    // Which failure the last query met, UpdateFailure::None when it succeeded.
    UpdateFailure lastFailure() const { return last_failure_; }
    // What the wallet owner is told of the last failure: the HTTP status, or
    // whose certificate was not trusted; empty when there is nothing to tell.
    QString lastServerFact() const { return last_server_fact_; }

private:
    void release();

    QString last_error_;
    QString last_server_fact_;
    UpdateFailure last_failure_ = UpdateFailure::None;
};
