#pragma once

#include "image/FirmwareImage.h"

#include <QString>

// Downloads the firmware named by API_DATA into the firmware folder, compares
// the MD5 of its bytes with the answer's digest and checks the image. On
// success `image` holds those very bytes, read from its file `image.path()`;
// otherwise the user has been told why not and false is returned.
// `reason`, when given, receives why not in one line.
bool fetch_firmware(FirmwareImage* image, QString* reason = nullptr);

// The same, giving the file's full path, or a null string.
QString url_download_file();
