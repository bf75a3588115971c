#pragma once

#include <QString>
#include <QStringList>

// The day's run log as the device path leaves it in the working directory.
namespace run_log {

// Its file name, "yyyyMMdd.log" for today.
QString fileName();
// Its lines without their time stamps, in order; empty when there is no log.
QStringList texts();
// The last of those, or an empty text.
QString lastText();

} // namespace run_log
