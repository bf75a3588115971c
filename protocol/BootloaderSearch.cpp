#include "protocol/BootloaderSearch.h"

#include "log/StopRequest.h"
#include "protocol/Commands.h"
#include "protocol/DeviceAccess.h"
#include "protocol/Framing.h"
#include "protocol/Wait.h"

#include <QDebug>

QSet<QString> list_bootloaders()
{
    QSet<QString> paths;
    hid_device_info* list = hid_enumerate(VENDOR_ID, BOOTLOADER_PRODUCT_ID);
    for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
        if (entry->path != nullptr) {
            paths.insert(QString::fromUtf8(entry->path));
        }
    }
    hid_free_enumeration(list);
    return paths;
}

BootloaderTarget bootloaders_besides(const QString& chosen)
{
    BootloaderTarget target;
    target.known = list_bootloaders();
    target.known.remove(chosen);
    return target;
}

SearchResult find_bootloader(const SearchPolicy& policy, const BootloaderTarget& target, const OpenBootloader& open)
{
    SearchResult result;
    result.outcome = UpdateOutcome::failed(UpdateFailure::BootloaderNotFound);
    for (int attempt = 0; attempt < policy.attempts; ++attempt) {
        if (stop_requested(StopLevel::AtBlockBoundary)) {
            result.outcome
                = UpdateOutcome::stopped(QStringLiteral("while looking for the restarted bootloader"), false);
            return result;
        }
        const QSet<QString> fresh = list_bootloaders() - target.known;
        if (fresh.size() > 1) {
            result.outcome = UpdateOutcome::failed(UpdateFailure::SeveralBootloaders);
            return result;
        }
        if (fresh.isEmpty()) {
            msleep(policy.wait_ms);
            continue;
        }
        const QString path = *fresh.cbegin();
        hid_device* device = open ? open(path) : hid_open_path(path.toUtf8().constData());
        if (device != nullptr) {
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
