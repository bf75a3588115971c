#pragma once

#include <QtGlobal>

class QNetworkReply;
class QString;

// Runs a local event loop until `reply` finishes or makes no progress for
// network_stall_timeout_ms(); a stalled reply is aborted, so it finishes with
// QNetworkReply::OperationCanceledError. True when it finished on its own,
// within its bounds.
// A reply that grows past `max_bytes` or is not finished within
// `deadline_ms` (0: no such bound) is aborted at once and counts as failed.
struct ReplyBounds
{
    qint64 max_bytes = 0;
    int deadline_ms = 0;
};

// `reason`, when given, receives why the reply failed, in one line: its
// address, Qt's error text, the HTTP status and each certificate error, or the
// bound it broke; it is left empty when the reply succeeded.
bool wait_for_reply(QNetworkReply* reply, QString* reason = nullptr, const ReplyBounds& bounds = ReplyBounds());
