#include "support/WalletRuns.h"

#include "console/UsbManager.h"
#include "image/FirmwareImage.h"
#include "protocol/BootloaderEntry.h"
#include "protocol/HIDHelper.h"
#include "sim/SimBus.h"
#include "update/AutoUpdate.h"

#include <QSignalSpy>

#include <numeric>

#include <sys/file.h>

QVector<unsigned int>& recorded_waits()
{
    static QVector<unsigned int> waits;
    return waits;
}

std::function<void(int)>& on_wait()
{
    static std::function<void(int)> callback;
    return callback;
}

void wait_on_bus_clock(unsigned int milliseconds)
{
    recorded_waits().append(milliseconds);
    sim::Bus::instance().advanceTime(int(milliseconds));
    if (on_wait()) {
        on_wait()(std::accumulate(recorded_waits().begin(), recorded_waits().end(), 0));
    }
}

bool update_by(bool manual, int index, const QString& file, bool by_path)
{
    if (manual) {
        QString error;
        QList<QString> list;
        UsbManager::GetInstance()->GetDeviceList(error, list);
        const QString path = list.value(index);
        UsbManager::GetInstance()->OpenDevice(path, error);
        QSignalSpy finished(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnDownloadFinished);
        UsbManager::GetInstance()->Send(path, file);
        return finished.size() == 1 && finished.first().first().toBool();
    }
    const FirmwareImage image = FirmwareImage::fromFile(file);
    EntryResult entry;
    if (!goto_rom(&entry)) {
        return false;
    }
    return by_path ? flash_update(file) : flash_update(image, entry.target).ok();
}

sim::Wallet& attach_traced_bootloader()
{
    sim::WalletConfig config;
    config.mode = sim::Mode::Bootloader;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    sim::Bus::instance().setTraceEnabled(true);
    return wallet;
}

bool holds(const sim::Wallet& wallet, const QList<hex::Window>& windows)
{
    for (const hex::Window& window : windows) {
        if (wallet.flashAt(hex::window_address(window), window.data.size()) != window.data) {
            return false;
        }
    }
    return wallet.firmwareUpdates() == 1;
}

bool hold_lock(QFile& file, const QString& path, const QByteArray& holder)
{
    file.setFileName(path);
    return file.open(QIODevice::ReadWrite) && file.write(holder) > 0 && file.flush()
        && ::flock(file.handle(), LOCK_EX | LOCK_NB) == 0;
}
