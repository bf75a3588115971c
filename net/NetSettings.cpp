#include "net/NetSettings.h"

NetSettings& net_settings()
{
    static NetSettings current;
    return current;
}
