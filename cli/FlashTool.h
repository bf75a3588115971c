#pragma once

class CliExtension;

// Exit codes of tessaro-flash.
enum ExitCode { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

int run_flash_tool(int argc, char** argv, CliExtension* extension);
