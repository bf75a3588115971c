#include "image/Checksums.h"

#include <QRandomGenerator>

#include <array>
#include <cstring>

namespace {

// Bit-reversed bytes, made once: the CRC reverses every byte of an image.
struct ReversedBytes
{
    unsigned char table[256];
    ReversedBytes()
    {
        for (int v = 0; v < 256; ++v) {
            unsigned char out = 0;
            for (int i = 0; i < 8; ++i) {
                if (v & (1 << i)) {
                    out |= static_cast<unsigned char>(1u << (7 - i));
                }
            }
            table[v] = out;
        }
    }
};
const ReversedBytes reversed_bytes;

// CRC-16/X-25 is the CCITT polynomial with every byte and the result bit
// reversed; the same sum is had by shifting right with the reversed polynomial
// 0x8408, one table step per byte instead of eight bit steps.
struct X25Table
{
    unsigned short step[256];
    X25Table()
    {
        for (int v = 0; v < 256; ++v) {
            unsigned short crc = static_cast<unsigned short>(v);
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? static_cast<unsigned short>((crc >> 1) ^ 0x8408)
                                : static_cast<unsigned short>(crc >> 1);
            }
            step[v] = crc;
        }
    }
};
const X25Table x25_table;

} // namespace

void InvertUint8(unsigned char* dest, unsigned char* src)
{
    *dest = reversed_bytes.table[*src];
}

void InvertUint16(unsigned short* dest, unsigned short* src)
{
    unsigned short out = 0;
    for (int i = 0; i < 16; ++i) {
        if (*src & (1u << i)) {
            out |= static_cast<unsigned short>(1u << (15 - i));
        }
    }
    *dest = out;
}

unsigned short CRC16_X25(unsigned char* data, unsigned int length)
{
    X25Sum sum;
    sum.add(data, length);
    return sum.value();
}

void X25Sum::add(const unsigned char* data, unsigned long long length)
{
    unsigned short crc = crc_;
    for (unsigned long long n = 0; n < length; ++n) {
        crc = static_cast<unsigned short>((crc >> 8) ^ x25_table.step[(crc ^ data[n]) & 0xFF]);
    }
    crc_ = crc;
}

namespace {

// A zero byte changes the register linearly, so n of them are the n-th power
// of one 16×16 bit matrix, held as the images of the 16 single bits.
using BitMatrix = std::array<unsigned short, 16>;

unsigned short times(const BitMatrix& m, unsigned short v)
{
    unsigned short out = 0;
    for (int i = 0; v != 0; ++i, v = static_cast<unsigned short>(v >> 1)) {
        if (v & 1) {
            out ^= m[static_cast<size_t>(i)];
        }
    }
    return out;
}

BitMatrix squared(const BitMatrix& m)
{
    BitMatrix out;
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = times(m, m[i]);
    }
    return out;
}

} // namespace

void X25Sum::addZeros(unsigned long long length)
{
    BitMatrix power; // one zero byte
    for (size_t i = 0; i < power.size(); ++i) {
        const unsigned short bit = static_cast<unsigned short>(1u << i);
        power[i] = static_cast<unsigned short>((bit >> 8) ^ x25_table.step[bit & 0xFF]);
    }
    for (; length != 0; length >>= 1) {
        if (length & 1) {
            crc_ = times(power, crc_);
        }
        if (length > 1) {
            power = squared(power);
        }
    }
}

const uint32_t sha256_h0[8]
    = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

const uint32_t sha256_k[64]
    = {0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
       0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
       0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
       0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
       0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
       0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
       0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
       0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

inline uint32_t rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

inline uint32_t load_be32(unsigned char const* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline void store_be32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

} // namespace

void sha256_transf(sha256_ctx* ctx, unsigned char const* message, unsigned int block_nb)
{
    if (static_cast<int>(block_nb) <= 0) {
        return;
    }
    uint32_t w[64];
    for (unsigned int b = 0; b < block_nb; ++b) {
        unsigned char const* chunk = message + 64u * b;
        for (int t = 0; t < 16; ++t) {
            w[t] = load_be32(chunk + 4 * t);
        }
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = ctx->hash[0], bb = ctx->hash[1], c = ctx->hash[2], d = ctx->hash[3];
        uint32_t e = ctx->hash[4], f = ctx->hash[5], g = ctx->hash[6], h = ctx->hash[7];
        for (int t = 0; t < 64; ++t) {
            const uint32_t t1
                = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + sha256_k[t] + w[t];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & bb) ^ (a & c) ^ (bb & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = bb;
            bb = a;
            a = t1 + t2;
        }
        ctx->hash[0] += a;
        ctx->hash[1] += bb;
        ctx->hash[2] += c;
        ctx->hash[3] += d;
        ctx->hash[4] += e;
        ctx->hash[5] += f;
        ctx->hash[6] += g;
        ctx->hash[7] += h;
    }
}

void sha256_init(sha256_ctx* ctx)
{
    std::memcpy(ctx->hash, sha256_h0, sizeof ctx->hash);
    ctx->total_len = 0;
    ctx->pending_len = 0;
}

void sha256_update(sha256_ctx* ctx, unsigned char const* message, unsigned int length)
{
    const unsigned int fill = 64 - ctx->pending_len;
    const unsigned int take = length < fill ? length : fill;
    if (take > 0) {
        std::memcpy(ctx->block + ctx->pending_len, message, take);
    }
    if (ctx->pending_len + length < 64) {
        ctx->pending_len += length;
        return;
    }
    // Whole blocks of the message are compressed in place, without a copy.
    const unsigned int rest = length - take;
    const unsigned int blocks = rest / 64;
    unsigned char const* tail = message + take;
    sha256_transf(ctx, ctx->block, 1);
    sha256_transf(ctx, tail, blocks);
    const unsigned int left = rest % 64;
    if (left > 0) {
        std::memcpy(ctx->block, tail + 64u * blocks, left);
    }
    ctx->pending_len = left;
    ctx->total_len += uint64_t(blocks + 1) * 64;
}

void sha256_final(sha256_ctx* ctx, unsigned char* digest)
{
    const unsigned int blocks = ctx->pending_len > 55 ? 2 : 1;
    const unsigned int end = blocks * 64;
    std::memset(ctx->block + ctx->pending_len, 0, end - ctx->pending_len);
    ctx->block[ctx->pending_len] = 0x80;
    const uint64_t bits = (ctx->total_len + ctx->pending_len) * 8;
    store_be32(ctx->block + end - 8, static_cast<uint32_t>(bits >> 32));
    store_be32(ctx->block + end - 4, static_cast<uint32_t>(bits));
    sha256_transf(ctx, ctx->block, blocks);
    for (int i = 0; i < 8; ++i) {
        store_be32(digest + 4 * i, ctx->hash[i]);
    }
}

void sha256(unsigned char const* message, unsigned int length, unsigned char* digest)
{
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, message, length);
    sha256_final(&ctx, digest);
}

void GetHexData(unsigned char* buffer, int count)
{
    if (count <= 0) {
        return;
    }
    QRandomGenerator* source = QRandomGenerator::system();
    for (int i = 0; i < count; ++i) {
        buffer[i] = static_cast<unsigned char>(source->generate() & 0xFF);
    }
}
