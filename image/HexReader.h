#pragma once

#include <QString>

// The segment table of an Intel HEX image. Every call opens the file anew and
// reads it from its first line. The S forms return a new array of one entry per
// segment, owned by the caller (release with delete[]), or null when the file
// cannot be opened; the plain forms return 0 in that case.

int Get_BaseAddr_count(QString path);
unsigned int* Get_BaseAddrS(QString path);
unsigned int* Get_DataSizeS(QString path);
int* Get_DataLineS(QString path);
unsigned short* Get_CRCValueS(QString path);

unsigned int Get_BaseAddr(QString path);
unsigned int Get_DataSize(QString path);
int Get_DataLine(QString path);
unsigned short Get_CRCValue(QString path);
int Get_FileLine(QString path);
