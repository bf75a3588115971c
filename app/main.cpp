#include "app/HomePage.h"
#include "console/MessageBoxNotices.h"
#include "log/Settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    auto* app = new QApplication(argc, argv);
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
