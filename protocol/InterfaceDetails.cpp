#include "protocol/InterfaceDetails.h"

#include "protocol/Commands.h"
#include "protocol/HidGlobal.h"

QHash<QString, InterfaceDetails> interface_details()
{
    QHash<QString, InterfaceDetails> details;
    hid_device_info* list = hid_list(VENDOR_ID, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path != nullptr) {
            details.insert(QString::fromUtf8(info->path), {wallet_mode(*info), info->interface_number});
        }
    }
    hid_free_enumeration(list);
    return details;
}
