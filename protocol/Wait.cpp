#include "protocol/Wait.h"

#include "log/StopRequest.h"
#include "protocol/DeviceSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

void msleep(unsigned int ms)
{
    if (device_settings().wait) {
        device_settings().wait(ms);
        return;
    }
    QElapsedTimer clock; // monotonic where the system has such a clock, as Linux and macOS do
    clock.start();
    const qint64 wanted = ms;
    // A stop ends the wait early: waits lie between commands, never inside a block.
    while (clock.elapsed() < wanted && !stop_requested(StopLevel::AtBlockBoundary)) {
        const qint64 slice = std::min<qint64>(100, wanted - clock.elapsed());
        if (QCoreApplication::instance() == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
            continue;
        }
        // A timer ends each slice, so the loop sleeps on the event queue
        // instead of spinning while nothing happens.
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(slice), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
