#pragma once

#include "log/ExitStatus.h"

class CliExtension;
int run_flash_tool(int argc, char** argv, CliExtension* extension);
