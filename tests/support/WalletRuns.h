#pragma once

#include "support/TempImage.h"

#include <QFile>
#include <QString>
#include <QVector>

#include <functional>

namespace sim {
class Wallet;
}

// The waits of the device path pass on the simulated bus's clock only: each
// is recorded, the clock moved on by it, then `on_wait` told the total so far.
QVector<unsigned int>& recorded_waits();
std::function<void(int)>& on_wait();
void wait_on_bus_clock(unsigned int milliseconds);

// One update by either path: the manual download of `file` to the wallet at
// `index`, as the advanced window's "连接设备" leaves it, or the automatic
// path's bootloader entry and flash (of the file by its path, or of the image
// read before the entry).
bool update_by(bool manual, int index, const QString& file, bool by_path = false);

// A wallet waiting in its bootloader, every report written to it traced.
sim::Wallet& attach_traced_bootloader();

// Whether `wallet` was updated once and holds each window's data.
bool holds(const sim::Wallet& wallet, const QList<hex::Window>& windows);

// Takes the lock file at `path` as another process would, writing `holder`
// into it; the lock lasts while `file` stays open.
bool hold_lock(QFile& file, const QString& path, const QByteArray& holder);
