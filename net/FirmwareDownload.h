#pragma once

#include <QString>

// Downloads the firmware named by API_DATA into the firmware folder and
// verifies it by MD5 and by the image check. The file's full path, or a null
// string once the user has been told why not.
QString url_download_file();

// The first-choice folder for the staging and firmware files; empty means the
// application's directory. The cache folder stays the fallback.
void set_firmware_directory_override(const QString& dir);
