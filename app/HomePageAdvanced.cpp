#include "app/HomePage.h"

#include "console/Widget.h"

// Hosting of the advanced window: created at start-up, reached only through
// the hidden button.
void HomePage::setupAdvancedWindow()
{
    // No parent, so it stays a window of its own; it lives until the process ends.
    adv_widget = new Widget(nullptr);
    adv_widget->setStyleSheet(styleSheet());
    adv_widget->setWindowModality(Qt::ApplicationModal);
    adv_widget->setAttribute(Qt::WA_ShowModal);
}

void HomePage::OnAdvanced()
{
    adv_widget->show();
}
