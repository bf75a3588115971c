#pragma once

#include <QString>

#include <functional>

// The automatic update as one sequence: release query, download and
// verification, bootloader entry, the notice before writing, and the flash
// update, which `flash` performs on the verified file. The window and the
// command line run the same sequence; only how they show progress differs.
// True only when the wallet has been updated.
bool run_auto_update(const std::function<bool(const QString&)>& flash);
