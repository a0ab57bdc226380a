// The SSSE3 backend: constant-time AES for x86-64 processors without the AES
// instructions, by vector-permute look-ups (M. Hamburg, "Accelerating AES
// with Vector Permute Instructions", CHES 2009), and for eight blocks of
// ECB or CBC decryption bitsliced rounds (below).  Built with -mssse3 (this
// file only); run only where cpuid reports SSSE3.
//
// pshufb looks up 16 bytes at once in a 16-entry table held in a register,
// indexed by the low nibble of each byte of another; an index byte with its
// top bit set gives 0.  So the S-box is computed, not looked up:
//
// - GF(2^8) is taken as GF(2^4)[u] / (u^2 + a u + a), a byte p u + q being
//   p in its high nibble and q in its low.  The state lives in that basis
//   (phi, a GF(2)-linear map, applied once on load) so that no round
//   changes basis on its way in.
// - The inverse of x = p u + q, with N = a p^2 + a p q + q^2 its norm:
//     iak = 1/p + a/q,  jak = 1/(p + q) + a/q,
//     io = 1/iak + (p + q) = N / (q + a p),
//     jo = 1/jak + p = N / (q + a p + a q),
//   five look-ups in GF(2^4).  1/0 is "infinity", a byte with its top bit
//   set: a sum with infinity stays infinite and its inverse is the 0 that
//   pshufb gives, which is what the formulas need where p, q or p + q is 0.
//   1/io and 1/jo are two independent GF(2^4)-linear forms of 1/x, so any
//   GF(2)-linear function of 1/x is T[io] ^ T'[jo] for a pair of tables.
// - Those output tables fold in what follows the inversion: the affine map
//   of SubBytes and the products by 2 for MixColumns (encryption), by 9, 11,
//   13 and 14 for InvMixColumns (decryption), each giving its result back in
//   the state's basis; the last round's give the standard basis.
// - MixColumns is then byte moves within columns (pshufb by constant masks)
//   and XOR.  ShiftRows is never done on its own: round r keeps the state's
//   bytes permuted by ShiftRows^-r, which MixColumns' masks allow for (so
//   they repeat every four rounds), and the last round's move puts the bytes
//   back in order.
// - The constant 0x63 of SubBytes passes through MixColumns unchanged (the
//   coefficients of a row sum to 1), so it is added with the round keys.
//
// Decryption is the equivalent inverse cipher, in the basis psi = phi o
// A^-1 (A the linear part of SubBytes), so that InvSubBytes is again just an
// inversion.  The round keys are taken into each direction's basis and
// byte order when a call loads them; the schedule itself stays FIPS-197's.
//
// The tables are computed by the compiler from the field arithmetic below,
// and checked by it, for every byte, against FIPS-197's S-box.
//
// Constant time: the only look-ups are pshufb on registers; every load is
// from a constant address or the caller's buffers, and no branch depends on
// a key, vector or data byte, in the key schedule and its inversion too.
#include <cstdint>
#include <cstring>

#include "rijndael_bitsliced_circuit.h"
#include "rijndael_key_expansion.h"
#include "rijndael_sse.h"

namespace {

// ---- The fields, at compile time --------------------------------------

// The product of polynomials over GF(2) of degree below n, reduced modulo
// the polynomial m of degree n.
constexpr unsigned polyMul(unsigned a, unsigned b, int n, unsigned m) {
    unsigned p = 0;
    for (int i = 0; i < n; ++i)
        if (b >> i & 1) p ^= a << i;
    for (int i = 2 * n - 2; i >= n; --i)
        if (p >> i & 1) p ^= m << (i - n);
    return p;
}

// GF(2^8) of FIPS-197: modulo x^8 + x^4 + x^3 + x + 1.
constexpr unsigned mul8(unsigned a, unsigned b) { return polyMul(a, b, 8, 0x11b); }

// Inverses in GF(2^8) by logarithms to the base x + 1, a generator; 1/0
// is 0.  Tabulated once: the compilers bound the work of a constant.
struct Inverses {
    uint8_t of[256];
};

constexpr Inverses makeInverses() {
    uint8_t exp[255] = {}, log[256] = {};
    unsigned v = 1;
    for (unsigned i = 0; i < 255; ++i, v = mul8(v, 3)) {
        exp[i] = uint8_t(v);
        log[v] = uint8_t(i);
    }
    Inverses t{};
    for (unsigned x = 1; x < 256; ++x) t.of[x] = exp[(255 - log[x]) % 255];
    return t;
}
constexpr Inverses kInverses = makeInverses();

constexpr unsigned inv8(unsigned x) { return kInverses.of[x]; }
static_assert(mul8(0x53, inv8(0x53)) == 1 && mul8(0xca, inv8(0xca)) == 1, "FIPS-197 4.2");

constexpr unsigned rotl8(unsigned v, int n) { return (v << n | v >> (8 - n)) & 0xff; }

// The linear part of SubBytes' affine map, and its inverse.
constexpr unsigned affine(unsigned v) {
    return v ^ rotl8(v, 1) ^ rotl8(v, 2) ^ rotl8(v, 3) ^ rotl8(v, 4);
}
constexpr unsigned affineInverse(unsigned v) { return rotl8(v, 1) ^ rotl8(v, 3) ^ rotl8(v, 6); }

constexpr unsigned sbox(unsigned x) { return affine(inv8(x)) ^ 0x63; }
static_assert(sbox(0x00) == 0x63 && sbox(0x01) == 0x7c && sbox(0x53) == 0xed, "FIPS-197 Figure 7");
static_assert(affineInverse(affine(0xa7)) == 0xa7, "A^-1 undoes A");

// GF(2^4): modulo z^4 + z + 1.
constexpr unsigned mul4(unsigned a, unsigned b) { return polyMul(a, b, 4, 0x13); }

constexpr unsigned inv4(unsigned x) {
    for (unsigned y = 1; y < 16; ++y)
        if (mul4(x, y) == 1) return y;
    return 0;
}

// The a for which u^2 + a u + a has no root in GF(2^4): the first will do.
constexpr unsigned towerA() {
    for (unsigned a = 1; a < 16; ++a) {
        bool root = false;
        for (unsigned y = 0; y < 16; ++y) root = root || (mul4(y, y) ^ mul4(a, y) ^ a) == 0;
        if (!root) return a;
    }
    return 0;
}
constexpr unsigned kA = towerA();

// (p u + q)(r u + s), with u^2 = a u + a.
constexpr unsigned mulTower(unsigned x, unsigned y) {
    const unsigned p = x >> 4, q = x & 15, r = y >> 4, s = y & 15;
    const unsigned pr = mul4(p, r);
    return (mul4(kA, pr) ^ mul4(p, s) ^ mul4(q, r)) << 4 | (mul4(kA, pr) ^ mul4(q, s));
}

// A root in the tower of FIPS-197's polynomial: x maps to it.
constexpr unsigned towerRoot() {
    for (unsigned g = 2; g < 256; ++g) {
        unsigned pw[9] = {1};
        for (int i = 1; i <= 8; ++i) pw[i] = mulTower(pw[i - 1], g);
        if ((pw[8] ^ pw[4] ^ pw[3] ^ pw[1] ^ pw[0]) == 0) return g;
    }
    return 0;
}

// phi, the field isomorphism that maps x to g, and its inverse, tabulated.
struct Isomorphism {
    uint8_t phi[256], inverse[256];
};

constexpr Isomorphism makeIsomorphism() {
    const unsigned g = towerRoot();
    Isomorphism t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned v = 0, pw = 1;
        for (int i = 0; i < 8; ++i, pw = mulTower(pw, g))
            if (b >> i & 1) v ^= pw;
        t.phi[b] = uint8_t(v);
        t.inverse[v] = uint8_t(b);
    }
    return t;
}
constexpr Isomorphism kIsomorphism = makeIsomorphism();

constexpr unsigned phi(unsigned b) { return kIsomorphism.phi[b]; }
constexpr unsigned phiInverse(unsigned t) { return kIsomorphism.inverse[t]; }

constexpr unsigned psi(unsigned b) { return phi(affineInverse(b)); }

// ---- The byte orders, at compile time ----------------------------------

// A byte move as pshufb does it: out[i] = in[at[i]].  Byte n of a block is
// row n % 4 of column n / 4 (FIPS-197 3.4).
struct Move {
    uint8_t at[16];
};

constexpr Move byRule(unsigned (*rule)(unsigned)) {
    Move m{};
    for (unsigned n = 0; n < 16; ++n) m.at[n] = uint8_t(rule(n));
    return m;
}
constexpr unsigned shiftRowsFrom(unsigned n) { return 4 * ((n / 4 + n % 4) % 4) + n % 4; }
constexpr unsigned invShiftRowsFrom(unsigned n) { return 4 * ((n / 4 + 4 - n % 4) % 4) + n % 4; }
// The next row of the same column: MixColumns' coefficient m applies to
// the byte this reaches in m steps.
constexpr unsigned nextRow(unsigned n) { return 4 * (n / 4) + (n + 1) % 4; }

// The index map i -> f(g(i)): moving by it is moving by f, then by g.
constexpr Move then(const Move &g, const Move &f) {
    Move h{};
    for (unsigned i = 0; i < 16; ++i) h.at[i] = f.at[g.at[i]];
    return h;
}
constexpr Move inverse(const Move &f) {
    Move h{};
    for (unsigned i = 0; i < 16; ++i) h.at[f.at[i]] = uint8_t(i);
    return h;
}
constexpr Move power(const Move &f, unsigned k) {
    Move h = byRule([](unsigned n) { return n; });
    for (unsigned i = 0; i < k; ++i) h = then(f, h);
    return h;
}

// The moves of one direction, whose rounds take rows by `shift`.  After
// round r, byte i of the register holds the true state's byte after[i],
// after = shift^-r, so that the bytes MixColumns multiplies by its first
// coefficient are already where its output goes.  With the moves indexed
// by r % 4:
//   mix[r % 4][m - 1]  brings to each byte of round r's output the byte its
//                      coefficient m multiplies;
//   key[r % 4]         puts round key r in round r's order;
//   last[r % 4]        takes the output of a last round r + 1 to the true
//                      order, doing its ShiftRows.
struct Moves {
    Move mix[4][3], key[4], last[4];
};

constexpr Moves movesFor(const Move &shift) {
    Moves m{};
    const Move back = inverse(shift), column = byRule(nextRow);
    for (unsigned r = 1; r <= 4; ++r) {
        const Move before = power(back, r - 1), after = power(back, r);
        // Output byte i is true byte after[i]; its m-th neighbour in the
        // column is shifted in from true byte shift(...), which the input
        // register holds at inverse(before).
        for (unsigned k = 1; k <= 3; ++k)
            m.mix[r % 4][k - 1] = then(then(then(after, power(column, k)), shift), inverse(before));
        m.key[r % 4] = after;
        m.last[(r - 1) % 4] = then(shift, inverse(before));
    }
    return m;
}

// ---- The tables ---------------------------------------------------------

// 16-byte tables and masks, each one register's worth.
struct alignas(16) Row {
    uint8_t b[16];
};
// The two tables of a GF(2)-linear function of 1/x: by io, by jo.
struct Pair {
    Row io, jo;
};
// A basis change of a byte: by its low nibble, by its high one.
struct ByNibble {
    Row low, high;
};

struct Tables {
    Row inv;    // 1/v in GF(2^4); 1/0 infinite
    Row aOver;  // a/v; a/0 infinite
    ByNibble phi, psi;
    Pair sub, sub2, subLast;         // encryption: A(1/x), 2 A(1/x) in phi; A(1/x)
    Pair mul9, mul11, mul13, mul14;  // decryption: c (1/x) in psi
    Pair invLast;                    // 1/x
    uint8_t phi63, psi63;            // the constants SubBytes adds, in each basis
    Row encMix[4][3], encKey[4], encLast[4];
    Row decMix[4][3], decKey[4], decLast[4];
};

constexpr uint8_t kInfinite = 0x80;

constexpr ByNibble byNibble(unsigned (*f)(unsigned)) {
    ByNibble t{};
    for (unsigned v = 0; v < 16; ++v) {
        t.low.b[v] = uint8_t(f(v));
        t.high.b[v] = uint8_t(f(v << 4));
    }
    return t;
}

// 1/x = c1 u + c0 with 1/io = c0 and 1/jo = (1 + a) c0 + a^2 c1, so
// c1 = (1 + a) / a^2 * (1/io) + 1 / a^2 * (1/jo).
constexpr Pair pairFor(unsigned (*f)(unsigned)) {
    Pair t{};
    const unsigned byJo = inv4(mul4(kA, kA)), byIo = mul4(1 ^ kA, byJo);
    for (unsigned v = 0; v < 16; ++v) {
        const unsigned s = inv4(v);
        t.io.b[v] = uint8_t(f(phiInverse(mul4(byIo, s) << 4 | s)));
        t.jo.b[v] = uint8_t(f(phiInverse(mul4(byJo, s) << 4)));
    }
    return t;
}

constexpr void setMoves(const Moves &m, Row (&mix)[4][3], Row (&key)[4], Row (&last)[4]) {
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned k = 0; k < 3; ++k)
            for (unsigned i = 0; i < 16; ++i) mix[r][k].b[i] = m.mix[r][k].at[i];
        for (unsigned i = 0; i < 16; ++i) {
            key[r].b[i] = m.key[r].at[i];
            last[r].b[i] = m.last[r].at[i];
        }
    }
}

constexpr Tables makeTables() {
    Tables t{};
    for (unsigned v = 0; v < 16; ++v) {
        t.inv.b[v] = v ? uint8_t(inv4(v)) : kInfinite;
        t.aOver.b[v] = v ? uint8_t(mul4(kA, inv4(v))) : kInfinite;
    }
    t.phi = byNibble(phi);
    t.psi = byNibble(psi);
    t.sub = pairFor([](unsigned x) { return phi(affine(x)); });
    t.sub2 = pairFor([](unsigned x) { return phi(mul8(2, affine(x))); });
    t.subLast = pairFor(affine);
    t.mul9 = pairFor([](unsigned x) { return psi(mul8(9, x)); });
    t.mul11 = pairFor([](unsigned x) { return psi(mul8(11, x)); });
    t.mul13 = pairFor([](unsigned x) { return psi(mul8(13, x)); });
    t.mul14 = pairFor([](unsigned x) { return psi(mul8(14, x)); });
    t.invLast = pairFor([](unsigned x) { return x; });
    t.phi63 = uint8_t(phi(0x63));
    t.psi63 = uint8_t(psi(0x63));
    setMoves(movesFor(byRule(shiftRowsFrom)), t.encMix, t.encKey, t.encLast);
    setMoves(movesFor(byRule(invShiftRowsFrom)), t.decMix, t.decKey, t.decLast);
    return t;
}

constexpr Tables kT = makeTables();

// The look-ups as pshufb does them, for the check below.
constexpr unsigned shuffled(const Row &t, unsigned index) {
    return index & 0x80 ? 0 : t.b[index & 15];
}
constexpr unsigned pairAt(const Pair &t, unsigned io, unsigned jo) {
    return shuffled(t.io, io) ^ shuffled(t.jo, jo);
}
constexpr unsigned changed(const ByNibble &t, unsigned b) {
    return shuffled(t.low, b & 15) ^ shuffled(t.high, b >> 4);
}

// Every byte through the inversion and every output table, against the
// field arithmetic: both S-boxes, and the multiples the rounds use.
constexpr bool tablesHold() {
    for (unsigned x = 0; x < 256; ++x) {
        const unsigned y = changed(kT.phi, x);
        if (y != phi(x) || changed(kT.psi, x) != psi(x)) return false;
        const unsigned p = y >> 4, q = y & 15, j = p ^ q;
        const unsigned ak = shuffled(kT.aOver, q);
        const unsigned iak = shuffled(kT.inv, p) ^ ak, jak = shuffled(kT.inv, j) ^ ak;
        const unsigned io = shuffled(kT.inv, iak) ^ j, jo = shuffled(kT.inv, jak) ^ p;
        const unsigned v = inv8(x);
        if ((pairAt(kT.subLast, io, jo) ^ 0x63) != sbox(x) ||
            pairAt(kT.sub, io, jo) != phi(affine(v)) ||
            pairAt(kT.sub2, io, jo) != phi(mul8(2, affine(v))) || pairAt(kT.invLast, io, jo) != v ||
            pairAt(kT.mul9, io, jo) != psi(mul8(9, v)) ||
            pairAt(kT.mul11, io, jo) != psi(mul8(11, v)) ||
            pairAt(kT.mul13, io, jo) != psi(mul8(13, v)) ||
            pairAt(kT.mul14, io, jo) != psi(mul8(14, v)))
            return false;
        // InvSubBytes: the inversion's input is psi of the byte plus 0x63.
        if (sbox(inv8(phiInverse(psi(x ^ 0x63)))) != x) return false;
    }
    return true;
}
static_assert(tablesHold(), "the vector-permute tables compute FIPS-197's S-box");

// ---- The rounds ---------------------------------------------------------

QOLT_FORCE_INLINE __m128i row(const Row &r) {
    return _mm_load_si128(reinterpret_cast<const __m128i *>(r.b));
}
// The table t looked up at each byte of index.
QOLT_FORCE_INLINE __m128i look(const Row &t, __m128i index) {
    return _mm_shuffle_epi8(row(t), index);
}
QOLT_FORCE_INLINE __m128i move(__m128i x, const Row &m) { return _mm_shuffle_epi8(x, row(m)); }
QOLT_FORCE_INLINE __m128i lowNibbles() { return _mm_set1_epi8(0x0f); }

QOLT_FORCE_INLINE __m128i change(const ByNibble &t, __m128i x) {
    const __m128i lo = _mm_and_si128(x, lowNibbles());
    const __m128i hi = _mm_and_si128(_mm_srli_epi16(x, 4), lowNibbles());
    return look(t.low, lo) ^ look(t.high, hi);
}

QOLT_FORCE_INLINE __m128i pair(const Pair &t, __m128i io, __m128i jo) {
    return look(t.io, io) ^ look(t.jo, jo);
}

// The inversion of every byte, as io and jo.
template <size_t N>
QOLT_FORCE_INLINE void invert(const __m128i (&x)[N], __m128i (&io)[N], __m128i (&jo)[N]) {
#pragma GCC unroll 4
    for (size_t i = 0; i < N; ++i) {
        const __m128i q = _mm_and_si128(x[i], lowNibbles());
        const __m128i p = _mm_and_si128(_mm_srli_epi16(x[i], 4), lowNibbles());
        const __m128i j = p ^ q;
        const __m128i ak = look(kT.aOver, q);
        const __m128i iak = look(kT.inv, p) ^ ak, jak = look(kT.inv, j) ^ ak;
        io[i] = look(kT.inv, iak) ^ j;
        jo[i] = look(kT.inv, jak) ^ p;
    }
}

// The middle rounds of one block, written out instruction by instruction:
// with two-operand SSE every look-up costs a copy of its table, and the
// compiler, left to itself, adds a third more copies than these need.  The
// processor overlaps the rounds of consecutive blocks by itself.
//
// The inversion, common to both: x in, io and jo out; x, p, ak free after.
// clang-format off
#define QOLT_VPERM_INVERT                                                      \
    "movdqa %[x], %[p]\n\t"                                                    \
    "pand %[nib], %[x]\n\t"    /* x = q */                                     \
    "psrlw $4, %[p]\n\t"                                                       \
    "pand %[nib], %[p]\n\t"    /* p */                                         \
    "movdqa %[aov], %[ak]\n\t"                                                 \
    "pshufb %[x], %[ak]\n\t"   /* ak = a/q */                                  \
    "pxor %[p], %[x]\n\t"      /* x = j = p + q */                             \
    "movdqa %[inv], %[jo]\n\t"                                                 \
    "pshufb %[p], %[jo]\n\t"                                                   \
    "pxor %[ak], %[jo]\n\t"    /* jo = iak = 1/p + a/q, for now */             \
    "movdqa %[inv], %[io]\n\t"                                                 \
    "pshufb %[x], %[io]\n\t"                                                   \
    "pxor %[io], %[ak]\n\t"    /* ak = jak = 1/j + a/q */                      \
    "movdqa %[inv], %[io]\n\t"                                                 \
    "pshufb %[jo], %[io]\n\t"                                                  \
    "pxor %[x], %[io]\n\t"     /* io = 1/iak + j */                            \
    "movdqa %[inv], %[jo]\n\t"                                                 \
    "pshufb %[ak], %[jo]\n\t"                                                  \
    "pxor %[p], %[jo]\n\t"     /* jo = 1/jak + p */

// dst = the pair of tables t looked up at io and jo; tmp is spoilt.
#define QOLT_VPERM_PAIR(t, dst, tmp)                                           \
    "movdqa %[" #t "io], %[" #dst "]\n\t"                                      \
    "pshufb %[io], %[" #dst "]\n\t"                                            \
    "movdqa %[" #t "jo], %[" #tmp "]\n\t"                                      \
    "pshufb %[jo], %[" #tmp "]\n\t"                                            \
    "pxor %[" #tmp "], %[" #dst "]\n\t"

// Encryption: s = A(1/x), d = 2 s; u = d0 + s1 makes
// 2 s0 + 3 s1 + s2 + s3 = u0 + u1 + s3.
QOLT_FORCE_INLINE void encryptRound1(__m128i &x, const __m128i &key, const Row (&mix)[3]) {
    __m128i p, ak, io, jo;
    __asm__(QOLT_VPERM_INVERT
            QOLT_VPERM_PAIR(s, x, p)    // x = s
            QOLT_VPERM_PAIR(d, ak, p)   // ak = d
            "movdqa %[x], %[p]\n\t"
            "pshufb %[m1], %[p]\n\t"
            "pxor %[p], %[ak]\n\t"      // ak = u
            "pshufb %[m3], %[x]\n\t"
            "pxor %[key], %[x]\n\t"
            "pxor %[ak], %[x]\n\t"
            "pshufb %[m1], %[ak]\n\t"
            "pxor %[ak], %[x]\n\t"
            : [x] "+x"(x), [p] "=&x"(p), [ak] "=&x"(ak), [io] "=&x"(io), [jo] "=&x"(jo)
            : [nib] "x"(lowNibbles()), [inv] "x"(row(kT.inv)), [aov] "x"(row(kT.aOver)),
              [sio] "m"(kT.sub.io), [sjo] "m"(kT.sub.jo), [dio] "m"(kT.sub2.io),
              [djo] "m"(kT.sub2.jo), [m1] "m"(mix[0]), [m3] "m"(mix[2]), [key] "m"(key));
}

// Decryption: 14 s0 + 11 s1 + 13 s2 + 9 s3, each product moved to its row
// apart, so that they do not wait for each other.
QOLT_FORCE_INLINE void decryptRound1(__m128i &x, const __m128i &key, const Row (&mix)[3]) {
    __m128i p, ak, io, jo;
    __asm__(QOLT_VPERM_INVERT
            QOLT_VPERM_PAIR(t9, x, p)
            "pshufb %[m3], %[x]\n\t"
            QOLT_VPERM_PAIR(t13, p, ak)
            "pshufb %[m2], %[p]\n\t"
            "pxor %[p], %[x]\n\t"
            QOLT_VPERM_PAIR(t11, p, ak)
            "pshufb %[m1], %[p]\n\t"
            "pxor %[p], %[x]\n\t"
            QOLT_VPERM_PAIR(t14, p, ak)
            "pxor %[key], %[p]\n\t"
            "pxor %[p], %[x]\n\t"
            : [x] "+x"(x), [p] "=&x"(p), [ak] "=&x"(ak), [io] "=&x"(io), [jo] "=&x"(jo)
            : [nib] "x"(lowNibbles()), [inv] "x"(row(kT.inv)), [aov] "x"(row(kT.aOver)),
              [t9io] "m"(kT.mul9.io), [t9jo] "m"(kT.mul9.jo), [t13io] "m"(kT.mul13.io),
              [t13jo] "m"(kT.mul13.jo), [t11io] "m"(kT.mul11.io), [t11jo] "m"(kT.mul11.jo),
              [t14io] "m"(kT.mul14.io), [t14jo] "m"(kT.mul14.jo), [m1] "m"(mix[0]),
              [m2] "m"(mix[1]), [m3] "m"(mix[2]), [key] "m"(key));
}
#undef QOLT_VPERM_PAIR
#undef QOLT_VPERM_INVERT
// clang-format on

struct Vperm : SseOneBlock {
    // Each round is one long chain of dependent shuffles; four blocks in
    // flight keep the shuffle units busy (two leave them idle, eight spill).
    static constexpr unsigned kInFlight = 4;
    using Tail = Vperm;

    // A round is some fifty instructions: one copy of the loops serves
    // every key length.
    static constexpr bool kRoundsAtRunTime = true;

    // Round key r of the schedule in the basis and byte order of the round
    // that uses it: encryption round r; decryption round rounds - r.
    static QOLT_FORCE_INLINE __m128i encKey(const unsigned char *rk, unsigned n, unsigned r) {
        if (r == n) return load(rk + 16 * n) ^ _mm_set1_epi8(0x63);
        const __m128i k = change(kT.phi, load(rk + 16 * r));
        return r == 0 ? k : move(k, kT.encKey[r % 4]) ^ _mm_set1_epi8(char(kT.phi63));
    }
    static QOLT_FORCE_INLINE __m128i decKey(const unsigned char *rk, unsigned n, unsigned r) {
        if (r == 0) return load(rk);
        const __m128i k = change(kT.psi, load(rk + 16 * r)) ^ _mm_set1_epi8(char(kT.psi63));
        return r == n ? k : move(k, kT.decKey[(n - r) % 4]);
    }

    // One direction's round keys, converted once per call.
    template <unsigned R>
    struct Keys {
        __m128i k[R + 1];
        unsigned rounds;
        QOLT_FORCE_INLINE Keys(const unsigned char *rk, unsigned n, bool decrypting) : rounds(n) {
            k[0] = decrypting ? decKey(rk, n, 0) : encKey(rk, n, 0);
            for (unsigned r = 1; r < n; ++r)
                k[r] = decrypting ? decKey(rk, n, r) : encKey(rk, n, r);
            k[n] = decrypting ? decKey(rk, n, n) : encKey(rk, n, n);
        }
        QOLT_FORCE_INLINE __m128i operator()(unsigned r) const { return k[r]; }
    };

    // A middle round of encryption: SubBytes, ShiftRows and MixColumns in
    // the phi basis, then the round key.
    template <size_t N>
    static QOLT_FORCE_INLINE void encryptRound(__m128i (&x)[N], const __m128i &key,
                                               const Row (&mix)[3]) {
#pragma GCC unroll 4
        for (size_t i = 0; i < N; ++i) encryptRound1(x[i], key, mix);
    }

    template <size_t N>
    static QOLT_FORCE_INLINE void decryptRound(__m128i (&x)[N], const __m128i &key,
                                               const Row (&mix)[3]) {
#pragma GCC unroll 4
        for (size_t i = 0; i < N; ++i) decryptRound1(x[i], key, mix);
    }

    // The rounds are a loop: unrolled, they made the code half again as
    // large for a few per cent.  key(r) is round key r as encKey or decKey
    // gives it.
    template <size_t N, class Key>
    static QOLT_FORCE_INLINE void encryptWith(unsigned n, const Key &key, __m128i (&x)[N]) {
        const __m128i first = key(0);
        for (size_t i = 0; i < N; ++i) x[i] = change(kT.phi, x[i]) ^ first;
#pragma GCC unroll 1
        for (unsigned r = 1; r < n; ++r) encryptRound(x, key(r), kT.encMix[r % 4]);
        __m128i io[N], jo[N];
        invert(x, io, jo);
        const __m128i last = key(n);
        for (size_t i = 0; i < N; ++i)
            x[i] = move(pair(kT.subLast, io[i], jo[i]), kT.encLast[(n - 1) % 4]) ^ last;
    }

    template <size_t N, class Key>
    static QOLT_FORCE_INLINE void decryptWith(unsigned n, const Key &key, __m128i (&x)[N]) {
        const __m128i first = key(n);
        for (size_t i = 0; i < N; ++i) x[i] = change(kT.psi, x[i]) ^ first;
#pragma GCC unroll 1
        for (unsigned d = 1; d < n; ++d) decryptRound(x, key(n - d), kT.decMix[d % 4]);
        __m128i io[N], jo[N];
        invert(x, io, jo);
        const __m128i last = key(0);
        for (size_t i = 0; i < N; ++i)
            x[i] = move(pair(kT.invLast, io[i], jo[i]), kT.decLast[(n - 1) % 4]) ^ last;
    }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void encrypt(const Keys<R> &ks, __m128i (&x)[N]) {
        encryptWith(ks.rounds, ks, x);
    }
    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, __m128i (&x)[N]) {
        decryptWith(ks.rounds, ks, x);
    }

    // One block converts each round key as its round needs it, off the
    // block's own chain, instead of all of them before the first round.  Its
    // registers are cleared after it like every entry's.
    static constexpr bool kOneBlockClears = false;
    template <bool kDecrypt>
    static QOLT_FORCE_INLINE void oneBlock(const unsigned char *rk, unsigned n,
                                           const unsigned char *in, unsigned char *out) {
        __m128i x[1] = {load(in)};
        if (kDecrypt)
            decryptWith(
                n, [rk, n](unsigned r) QOLT_FORCE_INLINE_LAMBDA { return decKey(rk, n, r); }, x);
        else
            encryptWith(
                n, [rk, n](unsigned r) QOLT_FORCE_INLINE_LAMBDA { return encKey(rk, n, r); }, x);
        store(out, x[0]);
    }
};

// ---- Eight blocks bitsliced, for decryption ----------------------------------

// Decryption's look-ups are longer than encryption's (four pairs of tables
// against two), and only decryption has eight independent blocks to spare
// in every mode that can use them (ECB and CBC): those go bitsliced
// (E. Käsper and P. Schwabe, "Faster and Timing-Attack Resistant AES-GCM",
// CHES 2009), eight blocks in eight registers, register j holding bit j of
// every byte.  Byte 4 r + c of a register is row r, column c of the state
// (rows contiguous, unlike FIPS-197's columns), and bit b of it is block b:
// MixColumns reaches the next row by moving 32-bit lanes.  The round
// functions are the portable bitsliced backend's circuits
// (rijndael_bitsliced_circuit.h) on 128-bit planes.
//
// InvShiftRows is never done on its own: after d rounds the registers hold
// the state with row r rotated back by d r columns, ShiftRows^-d undone.
// InvMixColumns' row moves take that into account (lane r takes lane r + k,
// rotated by d k columns: one pshufb, as a plain lane move would be), each
// round key is put in its round's order when a call loads it, and the last
// byte move, back to FIPS-197's order, does the rotations left.

// The byte moves of the layout, as pshufb indices: out[i] = in[at[i]].
struct alignas(16) SliceMoves {
    uint8_t rowsFirst[16];    // FIPS-197's byte order to rows first
    uint8_t lanes[4][2][16];  // after d rounds (d % 4), the rows 1 and 2 down
    uint8_t key[4][16];       // a round key after d rounds' rotations
    uint8_t toBlocks[4][16];  // after n rounds (n % 4), to FIPS-197's order
};

constexpr SliceMoves makeSliceMoves() {
    SliceMoves m{};
    for (unsigned i = 0; i < 16; ++i) {
        const unsigned r = i / 4, c = i % 4;
        m.rowsFirst[i] = uint8_t(4 * c + r);
        for (unsigned d = 0; d < 4; ++d) {
            // Row r of the state, column c, is held at column c - d r.
            for (unsigned k = 1; k <= 2; ++k)
                m.lanes[d][k - 1][i] = uint8_t(4 * ((r + k) % 4) + (c + 16 - d * k) % 4);
            m.key[d][i] = uint8_t(4 * r + (c + d * r) % 4);
            // Output byte i is FIPS-197's: row i % 4, column i / 4.
            m.toBlocks[d][i] = uint8_t(4 * (i % 4) + (i / 4 + 16 - d * (i % 4)) % 4);
        }
    }
    return m;
}
constexpr SliceMoves kSlice = makeSliceMoves();

QOLT_FORCE_INLINE __m128i sliceMask(const uint8_t (&at)[16]) {
    return _mm_load_si128(reinterpret_cast<const __m128i *>(at));
}
QOLT_FORCE_INLINE __m128i sliceMove(__m128i x, const uint8_t (&at)[16]) {
    return _mm_shuffle_epi8(x, sliceMask(at));
}

// MixColumns' row moves after d rounds.
struct RotatedLanes {
    __m128i one, two;
    explicit QOLT_FORCE_INLINE RotatedLanes(unsigned d)
        : one(sliceMask(kSlice.lanes[d % 4][0])), two(sliceMask(kSlice.lanes[d % 4][1])) {}
    template <unsigned k>
    QOLT_FORCE_INLINE __m128i rows(__m128i x) const {
        return _mm_shuffle_epi8(x, k == 1 ? one : two);
    }
};

// Blocks to bit-planes and back (transposeBits), shifting 64-bit lanes.
QOLT_FORCE_INLINE void transpose(__m128i (&q)[8]) {
    transposeBits(q, [](__m128i &a, __m128i &b, int n) QOLT_FORCE_INLINE_LAMBDA {
        const __m128i t = (_mm_srli_epi64(a, n) ^ b) & _mm_set1_epi8(char(transposeMask(n)));
        b ^= t;
        a ^= _mm_slli_epi64(t, n);
    });
}

// Eight blocks, one a register, in FIPS-197's byte order.
struct Octet {
    __m128i b[8];
};

QOLT_FORCE_INLINE Octet operator^(const Octet &x, const Octet &y) {
    Octet z;
    QOLT_UNROLL_ALL
    for (unsigned i = 0; i < 8; ++i) z.b[i] = x.b[i] ^ y.b[i];
    return z;
}

// The round keys of a decryption: the first and last as blocks, added
// before the transpose and after it (the first rows first, the last in
// FIPS-197's order), and the middle ones in the order of the rounds that
// use them, each in its round's byte order (above).  The keys before an
// InvSubBytes carry its affine constant 0x63, which the circuit then leaves
// out.  A middle key is spread into planes as its round needs it, plane j
// being 0xff in the bytes whose bit j is set: all of them spread at once
// would take 1.6 KiB of stack, most of what the wipes after a call cover,
// for 5 % of the time.
struct SliceKeys {
    __m128i first, last, middle[13];
    unsigned rounds;
};

QOLT_FORCE_INLINE void addPlanes(__m128i (&q)[8], __m128i key) {
    QOLT_UNROLL_ALL
    for (int j = 0; j < 8; ++j) {
        const __m128i bit = _mm_set1_epi8(char(1 << j));
        q[j] ^= _mm_cmpeq_epi8(key & bit, bit);
    }
}

// FIPS-197's equivalent inverse cipher on eight blocks.  The first and last
// round keys are added as whole blocks, not spread into planes, before the
// transpose and after it.  Out of line: a round is a few hundred instructions, and both
// modes' loops call it.
__attribute__((noinline)) void decryptOctet(const SliceKeys &ks, Octet &x) {
    const unsigned n = ks.rounds;
    __m128i q[8];
    QOLT_UNROLL_ALL
    for (unsigned i = 0; i < 8; ++i) q[i] = sliceMove(x.b[i], kSlice.rowsFirst) ^ ks.first;
    transpose(q);
#pragma GCC unroll 1
    for (unsigned d = 1; d < n; ++d) {
        invSubBytesFolded(q);
        invMixColumns(RotatedLanes(d), q);
        addPlanes(q, ks.middle[d - 1]);
    }
    invSubBytesFolded(q);
    transpose(q);
    QOLT_UNROLL_ALL
    for (unsigned i = 0; i < 8; ++i) x.b[i] = sliceMove(q[i], kSlice.toBlocks[n % 4]) ^ ks.last;
}

// The block primitives of rijndael_modes.h for decryption alone, a Reg being
// eight blocks; fewer go through the vector-permute rounds (Tail).
struct SlicedDecryption {
    static constexpr unsigned kLanes = 8;
    static constexpr unsigned kInFlight = 1;
    static constexpr bool kRoundsAtRunTime = true;
    using Reg = Octet;
    using Tail = Vperm;

    template <unsigned R>
    struct Keys : SliceKeys {
        QOLT_FORCE_INLINE Keys(const unsigned char *rk, unsigned n, bool) {
            rounds = n;
            const __m128i constant = _mm_set1_epi8(0x63);
            last = Vperm::load(rk);
            first = sliceMove(Vperm::load(rk + 16 * n), kSlice.rowsFirst) ^ constant;
            // Round key r serves the round after d = n - r rounds, in its order.
            for (unsigned d = 1; d < n; ++d) {
                const __m128i k = sliceMove(Vperm::load(rk + 16 * (n - d)), kSlice.rowsFirst);
                middle[d - 1] = sliceMove(k, kSlice.key[d % 4]) ^ constant;
            }
        }
    };

    static QOLT_FORCE_INLINE Octet load(const unsigned char *p) {
        Octet x;
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < 8; ++i) x.b[i] = Vperm::load(p + 16 * i);
        return x;
    }
    static QOLT_FORCE_INLINE void store(unsigned char *p, const Octet &x) {
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < 8; ++i) Vperm::store(p + 16 * i, x.b[i]);
    }
    static QOLT_FORCE_INLINE Octet splat(const unsigned char *p) {
        Octet x;
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < 8; ++i) x.b[i] = Vperm::load(p);
        return x;
    }
    static QOLT_FORCE_INLINE Octet shiftIn(const Octet &prev, const Octet &cur) {
        Octet x;
        x.b[0] = prev.b[7];
        QOLT_UNROLL_ALL
        for (unsigned i = 1; i < 8; ++i) x.b[i] = cur.b[i - 1];
        return x;
    }
    static QOLT_FORCE_INLINE __m128i lastLane(const Octet &x) { return x.b[7]; }

    template <unsigned R, size_t N>
    static QOLT_FORCE_INLINE void decrypt(const Keys<R> &ks, Octet (&x)[N]) {
        QOLT_UNROLL_ALL
        for (size_t i = 0; i < N; ++i) decryptOctet(ks, x[i]);
    }
};

// ---- The key schedule -----------------------------------------------------

// SubWord of a key-schedule word (its first byte lowest), through the same
// inversion as the rounds.  Out of line: the unrolled expansion calls it.
__attribute__((noinline)) uint32_t subWord(uint32_t w) {
    __m128i x[1] = {change(kT.phi, _mm_cvtsi32_si128(int(w)))}, io[1], jo[1];
    invert(x, io, jo);
    return uint32_t(_mm_cvtsi128_si32(pair(kT.subLast, io[0], jo[0]))) ^ 0x63636363u;
}

void vpermExpandKey(const unsigned char *key, unsigned rounds, unsigned char *rk) {
    rijndaelExpandKey(key, rounds, rk, subWord);
    qoltClearVectorRegisters();
}

// Doubling in GF(2^8), every byte: the reduction masked in, not branched on.
__m128i xtime(__m128i v) {
    const __m128i top = _mm_cmplt_epi8(v, _mm_setzero_si128());
    return _mm_add_epi8(v, v) ^ _mm_and_si128(top, _mm_set1_epi8(0x1b));
}

// InvMixColumns of round keys 1 to rounds - 1: 14 s0 + 11 s1 + 13 s2 + 9 s3.
void vpermInvertKey(unsigned rounds, unsigned char *rk) {
    static constexpr Move kColumn = byRule(nextRow);
    static constexpr Move kColumn2 = power(kColumn, 2), kColumn3 = power(kColumn, 3);
    const __m128i turn1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(kColumn.at));
    const __m128i turn2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(kColumn2.at));
    const __m128i turn3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(kColumn3.at));
    for (unsigned r = 1; r < rounds; ++r) {
        const __m128i v = Vperm::load(rk + 16 * r);
        const __m128i v2 = xtime(v), v4 = xtime(v2), v8 = xtime(v4);
        const __m128i out = (v8 ^ v4 ^ v2) ^ _mm_shuffle_epi8(v8 ^ v2 ^ v, turn1) ^
                            _mm_shuffle_epi8(v8 ^ v4 ^ v, turn2) ^ _mm_shuffle_epi8(v8 ^ v, turn3);
        Vperm::store(rk + 16 * r, out);
    }
    qoltClearVectorRegisters();
}

// Vector-permute rounds, but eight blocks bitsliced where decryption has
// them.
constexpr RijndaelBackend ssse3Backend() {
    RijndaelBackend b = ModeLoops<Vperm>::backend(vpermExpandKey, vpermInvertKey);
    b.ecbDecrypt = ModeLoops<SlicedDecryption>::ecb<true>;
    b.cbcDecrypt = ModeLoops<SlicedDecryption>::cbcDecrypt;
    return b;
}

}  // namespace

const RijndaelBackend kRijndaelSsse3Backend = ssse3Backend();
