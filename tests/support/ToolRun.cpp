#include "support/ToolRun.h"

#include "TestConfig.h"

#include <QProcess>
#include <QSignalSpy>

ToolRun run_tool(const QString& tool, const QStringList& args, const QString& workDir)
{
    QProcess process;
    if (!workDir.isEmpty()) {
        process.setWorkingDirectory(workDir);
    }
    QSignalSpy finished(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    process.start(QStringLiteral(TESSARO_BIN_DIR "/") + tool, args);
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
