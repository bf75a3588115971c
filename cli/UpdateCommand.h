#pragma once

#include "cli/Command.h"

class QString;
class QTextStream;

// `tessaro-flash update`: the automatic update, headless.
class UpdateCommand : public Command
{
public:
    UpdateCommand();
    QString misuse(const CommandCall& call) const override;
    int run(const CommandCall& call) const override;
};

int run_update(const QString& server, const QString& ca, const QString& device, const QString& port, bool json,
               QTextStream& out, QTextStream& err);
