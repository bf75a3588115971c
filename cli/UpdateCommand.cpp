#include "cli/UpdateCommand.h"

#include "cli/FlashTool.h"

#include <QTextStream>

int run_update(const QString&, const QString&, QTextStream&, QTextStream& err)
{
    err << "tessaro-flash: update is not available in this build\n";
    return EXIT_FAILED;
}
