#include "net/NewFile.h"

#include <QFile>
#include <QFileInfo>

bool create_afresh(QFile& file)
{
    const QFileInfo at(file.fileName());
    // exists() follows a link; a dangling one is still in the way.
    if (at.exists() || at.isSymLink()) {
        QFile::remove(file.fileName());
    }
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}
