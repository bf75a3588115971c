#include "cli/DevicesCommand.h"

#include "cli/FlashTool.h"

#include <QTextStream>

int run_devices(bool, QTextStream&, QTextStream& err)
{
    err << "tessaro-flash: devices is not available in this build\n";
    return EXIT_FAILED;
}
