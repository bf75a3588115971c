#pragma once

class QString;
class QTextStream;

// tessaro-flash flash FILE.hex [--device PATH]: the manual download on one
// wallet, without a window. An empty `device` picks the only wallet attached.
int run_flash(const QString& file, const QString& device, bool json, QTextStream& out, QTextStream& err);
