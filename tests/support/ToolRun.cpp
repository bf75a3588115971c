#include "support/ToolRun.h"

#include "TestConfig.h"

#include <QMap>
#include <QProcess>
#include <QSignalSpy>

namespace {

QString tool_file(const QString& tool)
{
    const QMap<QString, QString> files {{"tessaro-flash", TESSARO_FLASH},
                                        {"tessaro-flash-sim", TESSARO_FLASH_SIM},
                                        {"tessaro-updater-sim", TESSARO_UPDATER_SIM},
                                        {"tessaro-umockdev-wallet", TESSARO_UMOCKDEV_WALLET}};
    return files.value(tool, QStringLiteral(TESSARO_FIRMWARE_SERVER));
}

} // namespace

ToolRun run_tool(const QString& tool, const QStringList& args, const QString& workDir)
{
    QProcess process;
    if (!workDir.isEmpty()) {
        process.setWorkingDirectory(workDir);
    }
    QSignalSpy finished(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    process.start(tool_file(tool), args);
    ToolRun result;
    if (!process.waitForStarted() || !finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
