#include "app/HomePage.h"

#include "app/CloseGuard.h"
#include "image/FirmwareImage.h"
#include "update/AutoUpdate.h"

#include "ui_HomePage.h"

#include <QScopeGuard>

void HomePage::OnAuto()
{
    ui->pbtn_auto->setEnabled(false);
    // A close request can come in while the sequence waits or writes. Closing
    // the last window then would quit the application under it: the update
    // would go on without a window and its outcome box would never show.
    close_guard_->setHeld(true);
    const auto released = qScopeGuard([this]() { close_guard_->setHeld(false); });
    run_auto_update(
        [this](const FirmwareImage& image, const BootloaderTarget& target) { return update_device(image, target); });
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
    return flash_update(image, target, progress);
}
