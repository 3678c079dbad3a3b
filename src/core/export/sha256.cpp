#include "core/export/sha256.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <sodium.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define BANKPREP_SHA_NI 1
#endif

namespace bankprep {

namespace {

using Digest = std::array<unsigned char, 32>;

Digest portable(const unsigned char* data, std::size_t size)
{
    static const bool ready = sodium_init() >= 0;
    (void)ready;
    Digest out{};
    crypto_hash_sha256(out.data(), data, size);
    return out;
}

#ifdef BANKPREP_SHA_NI

alignas(16) const std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The compression of whole 64-byte blocks with the SHA extensions: 16 groups of four
// rounds, the message schedule kept in four vectors used in turn.
__attribute__((target("sha,sse4.1,ssse3"))) void
compress(std::uint32_t state[8], const unsigned char* data, std::size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);               // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);         // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);      // CDGH

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = state0;
        const __m128i cdghSaved = state1;
        __m128i m[4];
        for (int g = 0; g < 16; ++g) {
            if (g < 4)
                m[g] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
            __m128i msg = _mm_add_epi32(
                m[g % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            if (g >= 3 && g <= 14) {
                const __m128i next =
                    _mm_add_epi32(m[(g + 1) % 4], _mm_alignr_epi8(m[g % 4], m[(g + 3) % 4], 4));
                m[(g + 1) % 4] = _mm_sha256msg2_epu32(next, m[g % 4]);
            }
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
            if (g >= 1 && g <= 12)
                m[(g + 3) % 4] = _mm_sha256msg1_epu32(m[(g + 3) % 4], m[g % 4]);
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);       // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);    // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0); // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);    // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

Digest withShaInstructions(const unsigned char* data, std::size_t size)
{
    std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const std::size_t whole = size / 64;
    compress(state, data, whole);
    // The padding: 0x80, zeros, the length in bits, big-endian, in one or two blocks.
    unsigned char tail[128] = {};
    const std::size_t rest = size % 64;
    if (rest)
        std::memcpy(tail, data + whole * 64, rest);
    tail[rest] = 0x80;
    const std::size_t tailBlocks = rest < 56 ? 1 : 2;
    const std::uint64_t bits = std::uint64_t(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailBlocks * 64 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    compress(state, tail, tailBlocks);
    Digest out{};
    for (int i = 0; i < 8; ++i) {
        out[size_t(4 * i)] = static_cast<unsigned char>(state[i] >> 24);
        out[size_t(4 * i + 1)] = static_cast<unsigned char>(state[i] >> 16);
        out[size_t(4 * i + 2)] = static_cast<unsigned char>(state[i] >> 8);
        out[size_t(4 * i + 3)] = static_cast<unsigned char>(state[i]);
    }
    return out;
}

// The instructions are used only where the processor has them and they give the
// portable digests on samples of every padding case.
bool shaInstructionsUsable()
{
    static const bool usable = [] {
        __builtin_cpu_init();
        if (!__builtin_cpu_supports("sha") || !__builtin_cpu_supports("sse4.1") ||
            !__builtin_cpu_supports("ssse3"))
            return false;
        unsigned char sample[300];
        for (std::size_t i = 0; i < sizeof sample; ++i)
            sample[i] = static_cast<unsigned char>(i * 131 + 7);
        for (std::size_t n : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 300}) {
            if (withShaInstructions(sample, n) != portable(sample, n))
                return false;
        }
        return true;
    }();
    return usable;
}

#endif

} // namespace

QByteArray sha256Hex(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = std::size_t(bytes.size());
#ifdef BANKPREP_SHA_NI
    const Digest d =
        shaInstructionsUsable() ? withShaInstructions(data, size) : portable(data, size);
#else
    const Digest d = portable(data, size);
#endif
    return QByteArray(reinterpret_cast<const char*>(d.data()), qsizetype(d.size())).toHex();
}

} // namespace bankprep
