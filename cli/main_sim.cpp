#include "cli/CliExtension.h"
#include "cli/FlashTool.h"
#include "protocol/DeviceSettings.h"
#include "sim/SimOptions.h"

#include <QCommandLineParser>

namespace {

const char kUdevRulesDir[] = "udev-rules-dir";
const char kNotRoot[] = "not-root";
const char kUnpluggedAfter[] = "unplugged-after";

// tessaro-flash against one simulated wallet, set up from the -sim options,
// and the machine's udev rule folders and user as the run asks.
class SimExtension : public CliExtension
{
public:
    void addOptions(QCommandLineParser& parser) override
    {
        sim::addOptions(parser);
        parser.addOption({QString::fromLatin1(kUdevRulesDir),
                          QStringLiteral("Look for udev rules in <dir> only (repeatable)."), QStringLiteral("dir")});
        parser.addOption({QString::fromLatin1(kNotRoot), QStringLiteral("Run as if not as root.")});
        parser.addOption({QString::fromLatin1(kUnpluggedAfter),
                          QStringLiteral("A station lets a wallet go once its port stayed empty <ms> (default 5000)."),
                          QStringLiteral("ms")});
    }
    bool apply(const QCommandLineParser& parser, QString* error) override
    {
        if (parser.isSet(QString::fromLatin1(kUdevRulesDir))) {
            device_settings().udev_rule_dirs = parser.values(QString::fromLatin1(kUdevRulesDir));
        }
        if (parser.isSet(QString::fromLatin1(kNotRoot))) {
            device_settings().is_root = [] { return false; };
        }
        if (parser.isSet(QString::fromLatin1(kUnpluggedAfter))) {
            bool number = false;
            device_settings().unplugged_after_ms = parser.value(QString::fromLatin1(kUnpluggedAfter)).toInt(&number);
            if (!number || device_settings().unplugged_after_ms < 0) {
                *error = QStringLiteral("--unplugged-after takes milliseconds");
                return false;
            }
        }
        return sim::applyOptions(parser, error);
    }
    void finish() override { sim::finish(); }
};

} // namespace

int main(int argc, char** argv)
{
    SimExtension extension;
    return run_flash_tool(argc, argv, &extension);
}
