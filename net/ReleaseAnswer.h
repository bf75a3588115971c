#pragma once

#include <QString>

// What the download takes from the firmware server's release answer.
struct ReleaseFields
{
    QString address;
    QString file_name;
    QString web_md5;
};

// Positional parse of the release answer; false when a field it takes is
// missing or the address is not a web address.
bool parse_release(const QString& text, ReleaseFields* out);

// Whether `name` may be the firmware file's name in the firmware folder `dir`.
bool file_name_acceptable(const QString& name, const QString& dir);
