// Little- and big-endian loads and stores of 32- and 64-bit words: memcpy,
// not a cast pointer (any alignment, no aliasing question, one plain move
// once compiled), and a byte swap where the host's order is the other one.
// Internal linkage, since files built for other instruction sets include it
// too and no copy of theirs may be shared with baseline code.
#ifndef QOLT_BYTE_ORDER_H
#define QOLT_BYTE_ORDER_H

#include <cstdint>
#include <cstring>

namespace {
namespace byte_order {

constexpr bool kBigEndianHost = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

inline uint32_t swap(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t swap(uint64_t v) { return __builtin_bswap64(v); }

template <class W, bool kBig>
inline W load(const unsigned char *p) {
    W v;
    memcpy(&v, p, sizeof v);
    return kBig != kBigEndianHost ? swap(v) : v;
}

template <class W, bool kBig>
inline void store(unsigned char *p, W v) {
    if (kBig != kBigEndianHost) v = swap(v);
    memcpy(p, &v, sizeof v);
}

}  // namespace byte_order

inline __attribute__((always_inline)) uint32_t load32le(const unsigned char *p) {
    return byte_order::load<uint32_t, false>(p);
}
inline __attribute__((always_inline)) void store32le(unsigned char *p, uint32_t v) {
    byte_order::store<uint32_t, false>(p, v);
}
inline __attribute__((always_inline)) uint64_t load64le(const unsigned char *p) {
    return byte_order::load<uint64_t, false>(p);
}
inline __attribute__((always_inline)) void store64le(unsigned char *p, uint64_t v) {
    byte_order::store<uint64_t, false>(p, v);
}
inline __attribute__((always_inline)) uint64_t load64be(const unsigned char *p) {
    return byte_order::load<uint64_t, true>(p);
}

}  // namespace

#endif  // QOLT_BYTE_ORDER_H
