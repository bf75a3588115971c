#pragma once

class QString;
class QTextStream;

// tessaro-flash update [--server URL] [--ca FILE]: the automatic update, headless.
int run_update(const QString& server, const QString& ca, bool json, QTextStream& out, QTextStream& err);
