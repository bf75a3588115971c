#pragma once

#include "cli/Command.h"

class QString;
class QTextStream;

// `tessaro-flash devices`: the vendor's HID interfaces as the manual device
// list sees them.
class DevicesCommand : public Command
{
public:
    DevicesCommand();
    int run(const CommandCall& call) const override;
};

int run_devices(bool json, QTextStream& out, QTextStream& err);
