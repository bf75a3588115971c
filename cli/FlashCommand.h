#pragma once

#include "cli/Command.h"

class QString;
class QTextStream;

// `tessaro-flash flash FILE.hex`: the manual download on one wallet, without a
// window.
class FlashCommand : public Command
{
public:
    FlashCommand();
    QString misuse(const CommandCall& call) const override;
    int run(const CommandCall& call) const override;
};

// An empty `device` and `port` pick the only wallet attached.
int run_flash(const QString& file, const QString& device, const QString& port, bool json, QTextStream& out,
              QTextStream& err);

// Empty while the run log can be written; otherwise the warning a run starts
// and ends with, since its steps are kept nowhere.
QString run_log_warning();
// What a run's last line ends with: where its steps are, or that warning.
QString run_log_suffix(const QString& log_warning);
