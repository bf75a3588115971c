#include "app/HomePage.h"

#include "app/AutoUpdate.h"
#include "protocol/FlashUpdate.h"

#include "ui_HomePage.h"

void HomePage::OnAuto()
{
    ui->pbtn_auto->setEnabled(false);
    run_auto_update([this](const QString& path) { return update_device(path); });
    ui->pbtn_auto->setEnabled(true);
}

bool HomePage::update_device(QString path)
{
    FlashProgress progress;
    progress.setRange = [this](int low, int high) { ui->progressBar->setRange(low, high); };
    progress.setValue = [this](int value) { ui->progressBar->setValue(value); };
    return flash_update(path, progress);
}
