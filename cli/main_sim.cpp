#include "cli/CliExtension.h"
#include "cli/FlashTool.h"
#include "sim/SimOptions.h"

namespace {

// tessaro-flash against one simulated wallet, set up from the -sim options.
class SimExtension : public CliExtension
{
public:
    void addOptions(QCommandLineParser& parser) override { sim::addOptions(parser); }
    bool apply(const QCommandLineParser& parser, QString* error) override { return sim::applyOptions(parser, error); }
    void finish() override { sim::finish(); }
};

} // namespace

int main(int argc, char** argv)
{
    SimExtension extension;
    return run_flash_tool(argc, argv, &extension);
}
