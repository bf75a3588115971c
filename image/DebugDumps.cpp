#include "image/DebugDumps.h"

#include "log/Notice.h"

#include <cstdio>

namespace {

void show(const char* title, const QString& text)
{
    show_notice(NoticeKind::Information, QString::fromLatin1(title), text);
}

template<typename T>
void append(QString& text, const char* format, T value)
{
    char piece[32];
    std::snprintf(piece, sizeof piece, format, value);
    text += QString::fromLatin1(piece);
}

// The box for element i holds elements 0 to i, so the text grows box by box.
template<typename T>
void show_growing(const char* title, const char* format, T* data, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        append(text, format, +data[i]); // promoted as printf expects
        show(title, text);
    }
}

} // namespace

void Show_UINT8Data(unsigned char* data, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        append(text, "%02x", static_cast<unsigned int>(data[i]));
    }
    show("Show_UINT8Data", text);
}

void Show_IntData(int value)
{
    QString text;
    append(text, "%d", value);
    show("Show_IntData", text);
}

void Show_IntDataS(int* data, int count)
{
    show_growing("Show_IntDataS", "%d", data, count);
}

void Show_UINT16Data(unsigned short value)
{
    QString text;
    append(text, "0x%04x", static_cast<unsigned int>(value));
    show("Show_UINT16Data", text);
}

void Show_UINT16DataS(unsigned short* data, int count)
{
    show_growing("Show_UINT16DataS", "0x%04x", data, count);
}

void Show_UINT32Data(unsigned int value)
{
    QString text;
    append(text, "0x%08x", value);
    show("Show_UINT32Data", text);
}

void Show_UINT32DataS(unsigned int* data, int count)
{
    show_growing("Show_UINT32DataS", "0x%08x", data, count);
}
