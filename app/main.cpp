#include "app/HomePage.h"

#include <QApplication>

int main(int argc, char** argv)
{
    auto* app = new QApplication(argc, argv);
    auto* page = new HomePage(nullptr);
    page->show();
    const int code = app->exec();
    delete page;
    delete app;
    return code;
}
