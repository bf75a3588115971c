#pragma once

class QNetworkReply;

// Runs a local event loop until `reply` finishes or makes no progress for
// network_stall_timeout_ms(); a stalled reply is aborted, so it finishes with
// QNetworkReply::OperationCanceledError. True when it finished on its own.
bool wait_for_reply(QNetworkReply* reply);
