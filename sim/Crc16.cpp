#include "sim/Crc16.h"

#include <array>

namespace sim {

namespace {

// Reflected polynomial 0x1021.
constexpr unsigned short kReflectedPoly = 0x8408;

std::array<unsigned short, 256> make_table()
{
    std::array<unsigned short, 256> table {};
    for (unsigned int i = 0; i < table.size(); ++i) {
        unsigned short c = static_cast<unsigned short>(i);
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) != 0 ? static_cast<unsigned short>((c >> 1) ^ kReflectedPoly)
                             : static_cast<unsigned short>(c >> 1);
        }
        table[i] = c;
    }
    return table;
}

} // namespace

unsigned short crc16_x25(const unsigned char* data, std::size_t length)
{
    static const std::array<unsigned short, 256> table = make_table();
    unsigned short crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<unsigned short>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    }
    return static_cast<unsigned short>(crc ^ 0xFFFF);
}

} // namespace sim
