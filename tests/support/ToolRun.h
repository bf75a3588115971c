#pragma once

#include <QString>
#include <QStringList>

// One run of one of the project's executables, as a script would see it.
struct ToolRun
{
    int code = -1; // the exit code; -1 when it crashed or did not end in a minute
    QString out;
    QString err;
};

// Runs `tool` ("tessaro-flash", "tessaro-flash-sim", "tessaro-updater-sim",
// "tessaro-umockdev-wallet" or "tessaro-firmware-server") with `args` to its end, in `workDir` when given. The event
// loop keeps running meanwhile, so a server living on the test's thread still answers.
ToolRun run_tool(const QString& tool, const QStringList& args, const QString& workDir = QString());
