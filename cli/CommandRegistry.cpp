#include "cli/Command.h"
#include "cli/DevicesCommand.h"
#include "cli/FlashCommand.h"
#include "cli/InfoCommand.h"
#include "cli/UpdateCommand.h"

// Adding a command: a Command of its own that declares itself, and one line here.
const std::vector<std::unique_ptr<Command>>& command_registry()
{
    static const std::vector<std::unique_ptr<Command>> commands = [] {
        std::vector<std::unique_ptr<Command>> list;
        list.push_back(std::make_unique<InfoCommand>());
        list.push_back(std::make_unique<UpdateCommand>());
        list.push_back(std::make_unique<DevicesCommand>());
        list.push_back(std::make_unique<FlashCommand>());
        return list;
    }();
    return commands;
}
