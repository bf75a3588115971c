#pragma once

class QNetworkReply;
class QString;

// Runs a local event loop until `reply` finishes or makes no progress for
// network_stall_timeout_ms(); a stalled reply is aborted, so it finishes with
// QNetworkReply::OperationCanceledError. True when it finished on its own.
// `reason`, when given, receives why the reply failed, in one line: its
// address, Qt's error text, the HTTP status and each certificate error; it is
// left empty when the reply succeeded.
bool wait_for_reply(QNetworkReply* reply, QString* reason = nullptr);
