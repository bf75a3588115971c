#include "log/Settings.h"

RuntimeSettings& settings()
{
    static RuntimeSettings current;
    return current;
}
