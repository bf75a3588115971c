#include "cli/FlashTool.h"

int main(int argc, char** argv)
{
    return run_flash_tool(argc, argv, nullptr);
}
