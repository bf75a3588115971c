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

// What kind of failure a reply met, told apart where it is seen: each kind
// is a failure of its own to the release query.
enum class ReplyFailure {
    None,
    NoAnswer, // no network, refused, no progress or not finished in time
    TlsRefused, // the certificate was not trusted, or the handshake failed
    HttpStatus, // the server answered with an HTTP error
    Oversized, // more than the bound
};

// `reason`, when given, receives why the reply failed, in one line: its
// address, Qt's error text, the HTTP status and each certificate error, or the
// bound it broke; it is left empty when the reply succeeded. `kind`, when
// given, receives the kind of failure.
bool wait_for_reply(QNetworkReply* reply, QString* reason = nullptr, const ReplyBounds& bounds = ReplyBounds(),
                    ReplyFailure* kind = nullptr);
