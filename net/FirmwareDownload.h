#pragma once

#include "image/FirmwareImage.h"
#include "log/Failure.h"

#include <QString>

// Why the firmware was not fetched: the failure and its facts.
struct FetchFailure
{
    UpdateFailure failure = UpdateFailure::None;
    QString detail; // the folder, address or refusal concerned
    QString system_error; // the file system's own words, where it had some
};

// Downloads the firmware named by API_DATA into the firmware folder, compares
// the MD5 of its bytes with the answer's digest and checks the image. On
// success `image` holds those very bytes, read from its file `image.path()`;
// otherwise the user has been shown the failure's box and false is returned.
// `why`, when given, receives which failure it was.
bool fetch_firmware(FirmwareImage* image, FetchFailure* why = nullptr);

// The same, giving the file's full path, or a null string.
QString url_download_file();
