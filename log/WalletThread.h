#pragma once

#include <QString>

// The wallet the calling thread updates, in a run over several wallets: the
// run log ends each of its lines with a tab and the wallet's label, and the
// command line tells the thread's notices by its index. Set by the thread for
// as long as it updates that wallet; a thread without one writes plain lines.
class WalletThread
{
public:
    WalletThread(const QString& label, int index);
    ~WalletThread();
    WalletThread(const WalletThread&) = delete;
    WalletThread& operator=(const WalletThread&) = delete;

    // The calling thread's wallet label (its port), or empty.
    static QString label();
    // The calling thread's wallet index, or -1.
    static int index();
};
