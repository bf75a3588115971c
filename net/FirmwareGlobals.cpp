#include "net/FirmwareGlobals.h"

const QString FILE_NAME = QStringLiteral("hex.txt");
QString API_DATA;
