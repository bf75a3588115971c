#pragma once

#include <cstdint>

// CRC-16/X-25: polynomial 0x1021, initial 0xFFFF, reflected in and out, final XOR 0xFFFF.
unsigned short CRC16_X25(unsigned char* data, unsigned int length);
void InvertUint8(unsigned char* dest, unsigned char* src);

// The same CRC taken piece by piece, for data too large to hold: a run of zero
// bytes is added in a few steps whatever its length.
class X25Sum
{
public:
    void add(const unsigned char* data, unsigned long long length);
    void addZeros(unsigned long long length);
    unsigned short value() const { return static_cast<unsigned short>(crc_ ^ 0xFFFF); }

private:
    unsigned short crc_ = 0xFFFF;
};

void InvertUint16(unsigned short* dest, unsigned short* src);

// Incremental SHA-256 (FIPS 180-4).
struct sha256_ctx
{
    // Message bytes already compressed, a multiple of 64. Kept in 64 bits so that
    // the length block of the final step is right for messages of any size.
    uint64_t total_len;
    unsigned int pending_len;
    unsigned char block[128];
    uint32_t hash[8];
};

extern const uint32_t sha256_h0[8];
extern const uint32_t sha256_k[64];

void sha256_init(sha256_ctx* ctx);
void sha256_update(sha256_ctx* ctx, unsigned char const* message, unsigned int length);
void sha256_final(sha256_ctx* ctx, unsigned char* digest);
void sha256(unsigned char const* message, unsigned int length, unsigned char* digest);
void sha256_transf(sha256_ctx* ctx, unsigned char const* message, unsigned int block_nb);

// Fills `count` bytes with values from the operating system's cryptographic
// random source; the nonce of an authentication must not be predictable.
void GetHexData(unsigned char* buffer, int count);
