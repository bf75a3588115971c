#pragma once

#include <QString>

class QCoreApplication;

// Qt's own Chinese texts (the standard buttons' "确定" and the like), loaded
// whatever the system's locale: every text of the program is Chinese, and an
// "OK" beside them reads as a foreign program. The program's own texts have
// no entry in Qt's catalogue and stay as they are written. False when the
// catalogue is not in `folder`; the program then runs with Qt's English texts.
// Where the distribution keeps Qt's catalogues.
QString qt_catalogue_folder();

bool install_qt_catalogue(QCoreApplication& app, const QString& folder = qt_catalogue_folder());
