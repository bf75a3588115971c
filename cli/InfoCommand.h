#pragma once

#include <QString>

class QTextStream;

// `tessaro-flash info`: the image check's verdict and the segment table.
int run_info(const QString& file, bool json, QTextStream& out, QTextStream& err);
