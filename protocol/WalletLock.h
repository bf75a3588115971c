#pragma once

#include "protocol/WalletIdentity.h"

#include <QString>

// One update per wallet, between processes: a lock file per wallet in the
// folder every local user shares (device_settings().lock_dir), taken with flock on a
// descriptor held open to the end of the process, so that it is released
// however the process ends. The file holds the holder's pid and program name.

// Takes the lock of the wallet `identity` names (its port, or failing that its
// serial) for the rest of the process; true also when this process holds it
// already, or when the wallet has no identity to lock. False when another
// process holds it, with `holder` naming it ("pid 123 (tessaro-flash)").
bool lock_wallet(const WalletIdentity& identity, QString* holder);

// The stretch from a restart to the opened bootloader of a wallet known by
// neither port nor serial: one process, and one thread, at a time, so that the new bootloader
// is the one it restarted. Waits for its turn when made; released when destroyed.
class RestartLock
{
public:
    RestartLock();
    ~RestartLock();
    RestartLock(const RestartLock&) = delete;
    RestartLock& operator=(const RestartLock&) = delete;

private:
    int fd_ = -1;
    bool holds_mutex_ = false;
};
