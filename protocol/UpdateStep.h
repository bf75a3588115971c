#pragma once

#include <QString>

// The steps of an update, in the order they run.
enum class UpdateStep {
    ReleaseQuery,
    Download,
    Verify,
    BootloaderEntry,
    BootloaderSearch,
    Auth,
    Erase,
    Write,
    Crc,
    Finish
};

// The step's name in event streams; a step that sends a bootloader command
// takes its name from the command table.
QString step_name(UpdateStep step);
