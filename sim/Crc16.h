#pragma once

#include <cstddef>

namespace sim {

// CRC-16/X-25 as the wallet's bootloader computes it. Kept apart from the
// updater's own routine on purpose, so that a fault in either one shows.
unsigned short crc16_x25(const unsigned char* data, std::size_t length);

} // namespace sim
