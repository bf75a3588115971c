#pragma once

class QFile;

// Opens `file` for writing as a file of its own making: whatever stands at its
// name (a file a crash left, or a link planted there) is removed first, the
// link and not what it points to, and the file is then created exclusively,
// which fails rather than follow a link put back meanwhile. A file that already
// exists is thus never opened for writing.
bool create_afresh(QFile& file);
