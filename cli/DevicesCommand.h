#pragma once

class QString;
class QTextStream;

// tessaro-flash devices [--json]: the vendor's HID interfaces as the manual
// device list sees them.
int run_devices(bool json, QTextStream& out, QTextStream& err);
