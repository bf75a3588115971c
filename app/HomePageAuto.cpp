#include "app/HomePage.h"

#include "app/CloseGuard.h"
#include "app/UpdateStatusLine.h"
#include "image/FirmwareImage.h"
#include "net/NetSettings.h"
#include "update/AutoUpdate.h"

#include "ui_HomePage.h"

#include <QScopeGuard>

void HomePage::OnAuto()
{
    ui->pbtn_auto->setEnabled(false);
    // A close request can come in while the sequence waits or writes. Closing
    // the last window then would quit the application under it: the update
    // would go on without a window and its outcome box would never show.
    // The refusal is told on the status line only: a box would hold the
    // transfer for as long as it stayed open.
    close_guard_->setHeld(true);
    close_guard_->onRefused = [this]() { status_line_->closeRefused(); };
    net_settings().network_received = [this](qint64 bytes) { status_line_->received(bytes); };
    net_settings().network_silent = [this]() { status_line_->serverSilent(); };
    const auto released = qScopeGuard([this]() {
        close_guard_->setHeld(false);
        net_settings().network_received = nullptr;
        net_settings().network_silent = nullptr;
    });
    const UpdateOutcome outcome = run_auto_update(
        [this](const FirmwareImage& image, const BootloaderTarget& target) { return update_device(image, target); },
        status_line_);
    status_line_->finished(outcome);
    ui->pbtn_auto->setEnabled(true);
}

bool HomePage::update_device(QString path)
{
    return update_device(FirmwareImage::fromFile(path), BootloaderTarget()).ok();
}

UpdateOutcome HomePage::update_device(const FirmwareImage& image, const BootloaderTarget& target)
{
    FlashProgress progress;
    progress.setRange = [this](int low, int high) { ui->progressBar->setRange(low, high); };
    progress.setValue = [this](int value) { ui->progressBar->setValue(value); };
    qint64 bytes = 0;
    for (int i = 0; i < image.segments().size(); ++i) {
        bytes += image.segmentData(i).size();
    }
    status_line_->setImageBytes(bytes);
    return flash_update(image, target, progress, status_line_);
}
