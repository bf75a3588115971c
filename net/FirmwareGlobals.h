#pragma once

#include <QString>

// The staging file's name in the firmware folder, never changed.
extern const QString FILE_NAME;
// The answer of the most recent release query.
extern QString API_DATA;
