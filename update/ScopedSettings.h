#pragma once

#include "log/Settings.h"
#include "net/NetSettings.h"
#include "protocol/DeviceSettings.h"

// Restores every layer's settings as they were when it was made, whatever was
// changed meanwhile: tests and benchmarks change what they need and forget
// nothing.
class ScopedSettings
{
public:
    ScopedSettings()
        : runtime_(settings())
        , net_(net_settings())
        , device_(device_settings())
    {
    }
    ~ScopedSettings()
    {
        settings() = runtime_;
        net_settings() = net_;
        device_settings() = device_;
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

private:
    RuntimeSettings runtime_;
    NetSettings net_;
    DeviceSettings device_;
};
