#include "log/Settings.h"

RuntimeSettings& settings()
{
    static RuntimeSettings current;
    return current;
}

ScopedSettings::ScopedSettings()
    : saved_(settings())
{
}

ScopedSettings::~ScopedSettings()
{
    settings() = saved_;
}
