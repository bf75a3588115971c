#include "app/QtCatalogue.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QString qt_catalogue_folder()
{
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
}

bool install_qt_catalogue(QCoreApplication& app, const QString& folder)
{
    // Named outright rather than by the system's locale: the program speaks
    // Chinese on every system.
    auto* catalogue = new QTranslator(&app);
    if (!catalogue->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        delete catalogue;
        return false;
    }
    return QCoreApplication::installTranslator(catalogue);
}
