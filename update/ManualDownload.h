#pragma once

#include "protocol/UpdateOutcome.h"

#include <QString>

class DeviceSession;
class FirmwareImage;
class HIDHelper;
class UpdateObserver;

// The manual download of an image already read to the wallet at `path`, which
// `session` must hold open: restart into the bootloader, reopen it through the
// session, authenticate, erase, write, check and finish, each step in the run
// log. `writer`'s signals carry the progress and, once per call, the outcome;
// `watcher`, when given, hears every step and the reports sent too. The
// advanced window's UsbManager::Send and tessaro-flash's flash both run it.
// `last`, when given, receives the outcome before the signal goes out, so
// that the signal's receivers can say why.
UpdateOutcome run_manual_download(DeviceSession& session, HIDHelper* writer, const QString& path,
                                  const FirmwareImage& image, UpdateObserver* watcher = nullptr,
                                  UpdateOutcome* last = nullptr);
