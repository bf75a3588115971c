#include "log/ExitStatus.h"

const QVector<ExitStatusRow>& exit_statuses()
{
    static const QVector<ExitStatusRow> rows {
        {EXIT_OK, "success"},
        {EXIT_FAILED, "a failure after anything was sent to a wallet"},
        {EXIT_USAGE, "usage error"},
        {EXIT_NO_WALLET, "no wallet, or several and none named"},
        {EXIT_IMAGE, "the image refused or unreadable"},
        {EXIT_SERVER, "before the wallet: the server, its answer, or storing the download"},
        {EXIT_NO_PERMISSION, "a wallet that could not be opened for lack of permission"},
        {EXIT_BUSY, "the wallet is being updated by another process; nothing was sent"},
        {EXIT_INTERRUPTED, "stopped by Ctrl-C (SIGINT) before the wallet was done"},
        {EXIT_TERMINATED, "stopped by SIGTERM before the wallet was done"},
    };
    return rows;
}

QString exit_meaning(ExitCode code)
{
    for (const ExitStatusRow& row : exit_statuses()) {
        if (row.code == code) {
            return QString::fromLatin1(row.meaning);
        }
    }
    return QString();
}
