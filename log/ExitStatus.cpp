#include "log/ExitStatus.h"

const QVector<ExitStatusRow>& exit_statuses()
{
    static const QVector<ExitStatusRow> rows {
        {EXIT_OK, "success", 0},
        {EXIT_FAILED, "a failure after anything was sent to a wallet", 9},
        {EXIT_USAGE, "usage error", 1},
        {EXIT_NO_WALLET, "no wallet, or several and none named", 4},
        {EXIT_IMAGE, "the image refused or unreadable", 3},
        {EXIT_SERVER, "before the wallet: the server, its answer, or storing the download", 2},
        {EXIT_NO_PERMISSION, "a wallet that could not be opened for lack of permission", 6},
        {EXIT_BUSY, "the wallet is being updated by another process; nothing was sent", 5},
        {EXIT_INTERRUPTED, "stopped by Ctrl-C (SIGINT) before the wallet was done", 7},
        {EXIT_TERMINATED, "stopped by SIGTERM before the wallet was done", 8},
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

int worst_exit(const QVector<int>& codes)
{
    int worst = EXIT_OK;
    int worst_rank = 0;
    for (int code : codes) {
        for (const ExitStatusRow& row : exit_statuses()) {
            if (row.code == code && row.rank > worst_rank) {
                worst = code;
                worst_rank = row.rank;
            }
        }
    }
    return worst;
}
