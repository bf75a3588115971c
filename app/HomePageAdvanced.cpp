#include "app/HomePage.h"

// Hosting of the advanced window: created at start-up, reached only through
// the hidden button.
void HomePage::setupAdvancedWindow() {}

void HomePage::OnAdvanced() {}
