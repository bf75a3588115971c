#pragma once

#include "protocol/UpdateOutcome.h"
#include "protocol/WalletIdentity.h"
#include "protocol/WalletLock.h"

#include <QSet>
#include <QString>

#include <hidapi.h>

#include <functional>
#include <memory>

// How long the search for a restarted wallet's bootloader goes on: this many
// listings, this long apart; an open that fails waits too, or goes on at once.
struct SearchPolicy
{
    int attempts;
    unsigned int wait_ms;
    bool wait_after_failed_open;
};

// The automatic update: five listings 4000 ms apart (its notice box has already
// given the wallet time to restart); a bootloader that cannot be opened is
// listed again at once.
constexpr SearchPolicy AUTOMATIC_SEARCH {5, 4000, false};
// The manual download: a listing every 100 ms for 20 s; a new bootloader whose
// permissions are not yet in place is tried again at each listing.
constexpr SearchPolicy MANUAL_SEARCH {200, 100, true};

// The wallet being restarted: its identity (port and serial) and the
// bootloaders that were on the bus before. Only a bootloader of the same
// identity that is not among those is the restarted wallet.
struct BootloaderTarget
{
    QSet<QString> known;
    WalletIdentity identity;
    // Held from before the restart of a wallet without identity to its opened
    // bootloader; the search lets it go.
    mutable std::shared_ptr<RestartLock> restart_lock;
};

// The paths of the bootloaders on the bus now.
QSet<QString> list_bootloaders();

// Before the wallet at `chosen` is sent anything: its identity and its lock
// (a WalletBusy outcome, nothing sent, when another process holds it), the
// restart lock where it has no identity, then the bootloaders on the bus
// except `chosen`, so that a chosen wallet already in its bootloader is itself
// the one written.
UpdateOutcome prepare_restart(const QString& chosen, BootloaderTarget* target);

struct SearchResult
{
    hid_device* device = nullptr; // owned by the caller
    QString path;
    UpdateOutcome outcome;
};

using OpenBootloader = std::function<hid_device*(const QString& path)>;

// Waits for exactly one new bootloader of the target's identity and opens it
// with `open` (hid_open_path when not given); others that appear meanwhile (a
// wallet plugged in) are left alone. Several that fit end the search at once:
// the wallet that was restarted cannot be told, so none is written.
SearchResult find_bootloader(const SearchPolicy& policy, const BootloaderTarget& target,
                             const OpenBootloader& open = OpenBootloader());
