#pragma once

class CliExtension;

// Exit codes of tessaro-flash. Once anything was sent to a wallet every
// failure is EXIT_FAILED; the others say why nothing was.
enum ExitCode {
    EXIT_OK = 0,
    EXIT_FAILED = 1,
    EXIT_USAGE = 2,
    EXIT_NO_WALLET = 3, // none attached, or several and no --device
    EXIT_IMAGE = 4, // the image refused or unreadable
    EXIT_SERVER = 5, // the server or what it sent
    EXIT_NO_PERMISSION = 6, // a wallet found but not opened for lack of permission
};

int run_flash_tool(int argc, char** argv, CliExtension* extension);
