#include "protocol/DeviceSettings.h"

DeviceSettings& device_settings()
{
    static DeviceSettings current;
    return current;
}
