#pragma once

#include <QString>

// The reader's columns for a segment count already known, so that a caller
// that needs the whole table reads the file once per column rather than once
// more for every count. Each still reads the file afresh; the results are
// those of the matching Get_ function, owned by the caller (delete[]).
unsigned int* base_column(const QString& path, int n);
unsigned int* size_column(const QString& path, int n);
int* line_column(const QString& path, int n);
unsigned short* crc_column(const QString& path, int n, const unsigned int* sizes, const int* lines);
