#pragma once

class NoticeSink;

// What a front end or a test may set for the whole process in the lowest
// layer; the network's settings are in net/NetSettings.h, the devices' in
// protocol/DeviceSettings.h. The product leaves them at their defaults.
struct RuntimeSettings
{
    // Where notices go; null means stderr lines.
    NoticeSink* notices = nullptr;
};

RuntimeSettings& settings();
