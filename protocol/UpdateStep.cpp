#include "protocol/UpdateStep.h"

#include "protocol/Commands.h"

namespace {

// The steps that send no bootloader command.
struct StepName
{
    UpdateStep step;
    const char* name;
};
constexpr StepName kOtherSteps[] = {
    {UpdateStep::ReleaseQuery, "release-query"},
    {UpdateStep::Download, "download"},
    {UpdateStep::Verify, "verify"},
    {UpdateStep::BootloaderSearch, "bootloader-search"},
};

} // namespace

QString step_name(UpdateStep step)
{
    for (const BootloaderCommand& command : kBootloaderCommands) {
        if (command.step == step) {
            return QLatin1String(command.step_name);
        }
    }
    for (const StepName& other : kOtherSteps) {
        if (other.step == step) {
            return QLatin1String(other.name);
        }
    }
    return QString();
}
