#include "cli/FlashCommand.h"

#include "cli/FlashTool.h"

#include <QTextStream>

int run_flash(const QString&, const QString&, QTextStream&, QTextStream& err)
{
    err << "tessaro-flash: flash is not available in this build\n";
    return EXIT_FAILED;
}
