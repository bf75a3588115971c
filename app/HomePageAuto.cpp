#include "app/HomePage.h"

#include "ui_HomePage.h"

void HomePage::OnAuto() {}

bool HomePage::update_device(QString)
{
    return false;
}
