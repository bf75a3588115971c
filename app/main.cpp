#include "app/HomePage.h"
#include "app/QtCatalogue.h"
#include "console/MessageBoxNotices.h"
#include "log/Settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Sharp on high-density screens: Qt scales the whole window by the
    // screen's factor; it has to know before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    auto* app = new QApplication(argc, argv);
    if (!install_qt_catalogue(*app)) {
        qInfo("Qt's Chinese catalogue is not installed; standard buttons keep their English texts");
    }
    MessageBoxNotices boxes;
    settings().notices = &boxes;
    auto* page = new HomePage(nullptr);
    page->show();
    const int code = app->exec();
    delete page;
    delete app;
    settings().notices = nullptr;
    return code;
}
