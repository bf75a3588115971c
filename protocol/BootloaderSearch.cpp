#include "protocol/BootloaderSearch.h"

#include "log/MyLog.h"
#include "log/StopRequest.h"
#include "protocol/Commands.h"
#include "protocol/DeviceAccess.h"
#include "protocol/Framing.h"
#include "protocol/HidGlobal.h"
#include "protocol/Wait.h"

#include <QDebug>

namespace {

// Of the new bootloaders, those of the restarted wallet. Where the port and
// the serial disagree the port decides, and the run log says so.
// Each is said once, though the search lists the bus again and again.
QSet<QString> restarted_wallet(const QSet<QString>& fresh, const BootloaderTarget& target, QSet<QString>* said)
{
    QSet<QString> taken;
    for (const QString& path : fresh) {
        const WalletIdentity identity = identify(path);
        bool serial_differs = false;
        const bool unsaid = !said->contains(path);
        said->insert(path);
        if (!same_wallet(target.identity, identity, &serial_differs)) {
            if (unsaid) {
                qDebug().noquote() << "leaving the bootloader" << path << "(" + identity.text() + ") alone: not the"
                                   << "restarted wallet (" + target.identity.text() + ")";
            }
            continue;
        }
        if (serial_differs && unsaid) {
            const QString line = QStringLiteral("the bootloader %1 on port %2 reports serial %3, the restarted wallet "
                                                "%4; the port decides")
                                     .arg(path, identity.port, identity.serial, target.identity.serial);
            qDebug().noquote() << line;
            MyLog::GetInstance()->WriteLog(line);
        }
        taken.insert(path);
    }
    return taken;
}

} // namespace

QSet<QString> list_bootloaders()
{
    QSet<QString> paths;
    hid_device_info* list = hid_list(VENDOR_ID, BOOTLOADER_PRODUCT_ID);
    for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        if (entry->path != nullptr) {
            paths.insert(QString::fromUtf8(entry->path));
        }
    }
    hid_free_enumeration(list);
    return paths;
}

UpdateOutcome prepare_restart(const QString& chosen, BootloaderTarget* target)
{
    target->identity = identify(chosen);
    QString holder;
    if (!lock_wallet(target->identity, &holder)) {
        qDebug().noquote() << "the wallet" << chosen << "(" + target->identity.text() + ")"
                           << "is being updated by" << holder;
        UpdateOutcome busy = UpdateOutcome::failed(UpdateFailure::WalletBusy, chosen);
        busy.device_error = holder;
        return busy;
    }
    if (!target->identity.known()) {
        target->restart_lock = std::make_shared<RestartLock>();
        // The wait for another process's restart may have been stopped.
        if (stop_requested(StopLevel::NoNewWallets)) {
            target->restart_lock.reset();
            return UpdateOutcome::stopped(QStringLiteral("before the restart into the bootloader"), false, false);
        }
    }
    // Taken after the restart lock: a bootloader another process is still
    // finding is then already on the bus, and so not new.
    target->known = list_bootloaders();
    target->known.remove(chosen);
    return UpdateOutcome();
}

SearchResult find_bootloader(const SearchPolicy& policy, const BootloaderTarget& target, const OpenBootloader& open)
{
    SearchResult result;
    result.outcome = UpdateOutcome::failed(UpdateFailure::BootloaderNotFound);
    QSet<QString> said;
    for (int attempt = 0; attempt < policy.attempts; ++attempt) {
        if (stop_requested(StopLevel::AtBlockBoundary)) {
            result.outcome
                = UpdateOutcome::stopped(QStringLiteral("while looking for the restarted bootloader"), false);
            return result;
        }
        const QSet<QString> fresh = restarted_wallet(list_bootloaders() - target.known, target, &said);
        if (fresh.size() > 1) {
            result.outcome = UpdateOutcome::failed(UpdateFailure::SeveralBootloaders);
            return result;
        }
        if (fresh.isEmpty()) {
            msleep(policy.wait_ms);
            continue;
        }
        const QString path = *fresh.cbegin();
        hid_device* device = open ? open(path) : hid_open_at(path.toUtf8().constData());
        if (device != nullptr) {
            target.restart_lock.reset();
            result.device = device;
            result.path = path;
            result.outcome = UpdateOutcome();
            return result;
        }
        const QString error = device_error_text(nullptr);
        // Said once: a restarted wallet's new node is tried again and again.
        if (is_permission_error(error) && !is_permission_error(result.outcome.device_error)) {
            qDebug().noquote() << permission_hint(path);
        }
        result.outcome.device_error = error;
        result.outcome.detail = path;
        if (policy.wait_after_failed_open) {
            msleep(policy.wait_ms);
        }
    }
    if (is_permission_error(result.outcome.device_error)) {
        result.outcome.failure = UpdateFailure::BootloaderNoPermission;
    }
    return result;
}
