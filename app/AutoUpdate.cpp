#include "app/AutoUpdate.h"

#include "app/UserNotice.h"
#include "net/FirmwareDownload.h"
#include "net/FirmwareGlobals.h"
#include "net/TestNet.h"
#include "protocol/BootloaderEntry.h"

bool run_auto_update(const std::function<bool(const QString&)>& flash)
{
    QString firmware_path;
    TestNet net;
    API_DATA = net.get_latest();
    firmware_path = url_download_file();
    if (firmware_path.isEmpty()) {
        return false;
    }
    if (!goto_rom()) {
        return false;
    }
    show_notice(QStringLiteral("即将进行下载，请勿断开设备"));
    return flash(firmware_path);
}
