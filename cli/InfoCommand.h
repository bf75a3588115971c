#pragma once

#include "cli/Command.h"

#include <QString>

class QTextStream;

// `tessaro-flash info FILE.hex`: the image check's verdict and the segment table.
class InfoCommand : public Command
{
public:
    InfoCommand();
    int run(const CommandCall& call) const override;
};

int run_info(const QString& file, bool json, QTextStream& out, QTextStream& err);
