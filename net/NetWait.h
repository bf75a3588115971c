#pragma once

#include <QtGlobal>

#include <functional>

class QNetworkReply;
class QString;

// Runs a local event loop until `reply` finishes or makes no progress for
// network_stall_timeout_ms(); a stalled reply is aborted, so it finishes with
// QNetworkReply::OperationCanceledError. True when it finished on its own,
// within its bounds.
// A reply that grows past `max_bytes` or is not finished within
// `deadline_ms` (0: no such bound) is aborted at once and counts as failed.
// `take`, when set, is given the reply whenever data has arrived; what it
// reads counts towards `max_bytes` as much as what it leaves in the reply.
struct ReplyBounds
{
    qint64 max_bytes = 0;
    int deadline_ms = 0;
    std::function<void(QNetworkReply*)> take;
};

// `reason`, when given, receives why the reply failed, in one line: its
// address, Qt's error text, the HTTP status and each certificate error, or the
// bound it broke; it is left empty when the reply succeeded.
bool wait_for_reply(QNetworkReply* reply, QString* reason = nullptr, const ReplyBounds& bounds = ReplyBounds());
