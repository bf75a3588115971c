#pragma once

#include <QString>

// Writes an Intel HEX image of `bytes` data bytes from 0x08004000, 16 bytes a
// record, as toolchains write it; returns its path.
QString write_bench_image(const QString& folder, int bytes);
