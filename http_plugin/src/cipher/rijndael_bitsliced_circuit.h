// The round functions of bitsliced AES, written once over the word type W
// of a bit-plane: plane j of a set of eight holds bit j of every state byte
// (of several blocks), so that any function of a byte is a circuit of
// bitwise operations on the planes, the same on 64-bit integers as on
// 128-bit vectors.  W needs ^, & and ~.
//
// MixColumns and its inverse move bytes between the rows of a column; the
// layout decides how, through rows.rows<k>(w) of a layout object, the plane
// w with every byte taken from the byte k rows down the same column (k = 1,
// 2).
//
// Constant time: bitwise operations and the layout's fixed moves only.
#ifndef QOLT_RIJNDAEL_BITSLICED_CIRCUIT_H
#define QOLT_RIJNDAEL_BITSLICED_CIRCUIT_H

#include "rijndael_modes.h"

namespace {

// The 8 x 8 bit transpose within each byte position of eight words:
// afterwards bit i of byte k of word j is what bit j of byte k of word i
// was.  Its own inverse: blocks to bit-planes and back.  Three layers of
// swaps; swap(a, b, n) exchanges the bits of a under m << n with those of b
// under m, m being 0x55, 0x33 or 0x0f in every byte for n = 1, 2 or 4, by
// the word type's own shifts.
template <class W, class Swap>
QOLT_FORCE_INLINE void transposeBits(W (&q)[8], Swap swap) {
    swap(q[0], q[1], 1), swap(q[2], q[3], 1), swap(q[4], q[5], 1), swap(q[6], q[7], 1);
    swap(q[0], q[2], 2), swap(q[1], q[3], 2), swap(q[4], q[6], 2), swap(q[5], q[7], 2);
    swap(q[0], q[4], 4), swap(q[1], q[5], 4), swap(q[2], q[6], 4), swap(q[3], q[7], 4);
}

// The mask of transposeBits' swaps by n bits, in every byte.
constexpr unsigned char transposeMask(unsigned n) { return n == 1 ? 0x55 : n == 2 ? 0x33 : 0x0f; }

// The signals of a top linear layer that the non-linear middle takes, named
// as in Boyar and Peralta's circuit.
template <class W>
struct TopSignals {
    W t1, t2, t3, t4, t6, t8, t9, t10, t13, t14, t15, t16, t17, t19, t20, t22, t23, t24, t25, t26,
        t27, u7;
};

// The circuit's non-linear middle, inversion in GF(2^8) through its
// subfields: 34 ANDs and 29 XORs to the 18 products that a bottom linear
// layer takes, m46 to m63.
template <class W>
QOLT_FORCE_INLINE void inversionMiddle(const TopSignals<W> &s, W (&m)[18]) {
    const W t1 = s.t1, t2 = s.t2, t3 = s.t3, t4 = s.t4, t6 = s.t6, t8 = s.t8, t9 = s.t9,
            t10 = s.t10, t13 = s.t13, t14 = s.t14, t15 = s.t15, t16 = s.t16, t17 = s.t17,
            t19 = s.t19, t20 = s.t20, t22 = s.t22, t23 = s.t23, t24 = s.t24, t25 = s.t25,
            t26 = s.t26, t27 = s.t27, u7 = s.u7;
    const W m1 = t13 & t6, m2 = t23 & t8, m3 = t14 ^ m1, m4 = t19 & u7, m5 = m4 ^ m1;
    const W m6 = t3 & t16, m7 = t22 & t9, m8 = t26 ^ m6, m9 = t20 & t17, m10 = m9 ^ m6;
    const W m11 = t1 & t15, m12 = t4 & t27, m13 = m12 ^ m11, m14 = t2 & t10, m15 = m14 ^ m11;
    const W m16 = m3 ^ m2, m17 = m5 ^ t24, m18 = m8 ^ m7, m19 = m10 ^ m15, m20 = m16 ^ m13;
    const W m21 = m17 ^ m15, m22 = m18 ^ m13, m23 = m19 ^ t25, m24 = m22 ^ m23;
    const W m25 = m22 & m20, m26 = m21 ^ m25, m27 = m20 ^ m21, m28 = m23 ^ m25;
    const W m29 = m28 & m27, m30 = m26 & m24, m31 = m20 & m23, m32 = m27 & m31;
    const W m33 = m27 ^ m25, m34 = m21 & m22, m35 = m24 & m34, m36 = m24 ^ m25;
    const W m37 = m21 ^ m29, m38 = m32 ^ m33, m39 = m23 ^ m30, m40 = m35 ^ m36;
    const W m41 = m38 ^ m40, m42 = m37 ^ m39, m43 = m37 ^ m38, m44 = m39 ^ m40, m45 = m42 ^ m41;
    m[0] = m44 & t6;
    m[1] = m40 & t8;
    m[2] = m39 & u7;
    m[3] = m43 & t16;
    m[4] = m38 & t9;
    m[5] = m37 & t17;
    m[6] = m42 & t15;
    m[7] = m45 & t27;
    m[8] = m41 & t10;
    m[9] = m44 & t13;
    m[10] = m40 & t23;
    m[11] = m39 & t19;
    m[12] = m43 & t3;
    m[13] = m38 & t22;
    m[14] = m37 & t20;
    m[15] = m42 & t1;
    m[16] = m45 & t4;
    m[17] = m41 & t2;
}

// FIPS-197 SubBytes: the circuit of Boyar and Peralta ("A depth-16 circuit
// for the AES S-box", 2011): a linear layer, a non-linear middle of 34 ANDs
// and 29 XORs, and a linear layer with the affine map folded in.  Their
// inputs U0 to U7 and outputs S0 to S7 run from the most significant bit
// down.
template <class W>
QOLT_FORCE_INLINE void subBytes(W (&q)[8]) {
    const W u0 = q[7], u1 = q[6], u2 = q[5], u3 = q[4], u4 = q[3], u5 = q[2], u6 = q[1], u7 = q[0];
    // Top linear layer.
    const W t1 = u0 ^ u3, t2 = u0 ^ u5, t3 = u0 ^ u6, t4 = u3 ^ u5, t5 = u4 ^ u6;
    const W t6 = t1 ^ t5, t7 = u1 ^ u2, t8 = u7 ^ t6, t9 = u7 ^ t7, t10 = t6 ^ t7;
    const W t11 = u1 ^ u5, t12 = u2 ^ u5, t13 = t3 ^ t4, t14 = t6 ^ t11, t15 = t5 ^ t11;
    const W t16 = t5 ^ t12, t17 = t9 ^ t16, t18 = u3 ^ u7, t19 = t7 ^ t18, t20 = t1 ^ t19;
    const W t21 = u6 ^ u7, t22 = t7 ^ t21, t23 = t2 ^ t22, t24 = t2 ^ t10, t25 = t20 ^ t17;
    const W t26 = t3 ^ t16, t27 = t1 ^ t12;
    W m[18];
    inversionMiddle<W>({t1,  t2,  t3,  t4,  t6,  t8,  t9,  t10, t13, t14, t15,
                        t16, t17, t19, t20, t22, t23, t24, t25, t26, t27, u7},
                       m);
    // Bottom linear layer, the affine map folded in.
    const W m46 = m[0], m47 = m[1], m48 = m[2], m49 = m[3], m50 = m[4], m51 = m[5], m52 = m[6],
            m53 = m[7], m54 = m[8], m55 = m[9], m56 = m[10], m57 = m[11], m58 = m[12], m59 = m[13],
            m60 = m[14], m61 = m[15], m62 = m[16], m63 = m[17];
    const W l0 = m61 ^ m62, l1 = m50 ^ m56, l2 = m46 ^ m48, l3 = m47 ^ m55, l4 = m54 ^ m58;
    const W l5 = m49 ^ m61, l6 = m62 ^ l5, l7 = m46 ^ l3, l8 = m51 ^ m59, l9 = m52 ^ m53;
    const W l10 = m53 ^ l4, l11 = m60 ^ l2, l12 = m48 ^ m51, l13 = m50 ^ l0, l14 = m52 ^ m61;
    const W l15 = m55 ^ l1, l16 = m56 ^ l0, l17 = m57 ^ l1, l18 = m58 ^ l8, l19 = m63 ^ l4;
    const W l20 = l0 ^ l1, l21 = l1 ^ l7, l22 = l3 ^ l12, l23 = l18 ^ l2, l24 = l15 ^ l9;
    const W l25 = l6 ^ l10, l26 = l7 ^ l9, l27 = l8 ^ l10, l28 = l11 ^ l14, l29 = l11 ^ l17;
    q[7] = l6 ^ l24;
    q[6] = ~(l16 ^ l26);
    q[5] = ~(l19 ^ l28);
    q[4] = l6 ^ l21;
    q[3] = l20 ^ l22;
    q[2] = l25 ^ l29;
    q[1] = ~(l13 ^ l27);
    q[0] = ~(l6 ^ l23);
}

// FIPS-197 5.3.2's inverse affine map: bit i of the result is the sum of
// bits i + 2, i + 5 and i + 7, plus bit i of 0x05.
template <class W>
QOLT_FORCE_INLINE void invAffine(W (&q)[8]) {
    const W x0 = q[0], x1 = q[1], x2 = q[2], x3 = q[3], x4 = q[4], x5 = q[5], x6 = q[6], x7 = q[7];
    q[0] = ~(x2 ^ x5 ^ x7);
    q[1] = x3 ^ x6 ^ x0;
    q[2] = ~(x4 ^ x7 ^ x1);
    q[3] = x5 ^ x0 ^ x2;
    q[4] = x6 ^ x1 ^ x3;
    q[5] = x7 ^ x2 ^ x4;
    q[6] = x0 ^ x3 ^ x5;
    q[7] = x1 ^ x4 ^ x6;
}

// InvSubBytes without its affine constant: the planes in are the state
// plus 0x63 in every byte, which the caller adds with its round keys.  The
// same middle, between linear layers that have FIPS-197's inverse affine map
// folded in: the top layer computes the middle's signals from A^-1 of the
// input, the bottom one A^-1 of the S-box's output, inversion alone.  Found
// by Paar's greedy heuristic over the composed matrices (29 and 35 XORs,
// against 43 and 54 for the maps applied apart); tools/inverse_sbox_layers.py
// derives them and checks the whole against the inverse S-box.
template <class W>
QOLT_FORCE_INLINE void invSubBytesFolded(W (&q)[8]) {
    const W a0 = q[4] ^ q[6];
    const W a1 = q[0] ^ q[1];
    const W a2 = q[3] ^ q[4];
    const W a3 = q[6] ^ q[7];
    const W a4 = a0 ^ a1;
    const W a5 = q[7] ^ a0;
    const W a6 = q[5] ^ a0;
    const W a7 = q[3] ^ q[6];
    const W a8 = a1 ^ a3;
    const W a9 = q[2] ^ q[7];
    const W a10 = q[0] ^ q[3];
    const W a11 = q[5] ^ a9;
    const W a12 = q[1] ^ a2;
    const W a13 = q[3] ^ a8;
    const W a14 = q[2] ^ a6;
    const W a15 = a1 ^ a7;
    const W a16 = q[0] ^ a6;
    const W a17 = q[5] ^ a7;
    const W a18 = q[3] ^ a5;
    const W a19 = a3 ^ a10;
    const W a20 = q[2] ^ a12;
    const W a21 = q[5] ^ a2;
    const W a22 = q[0] ^ a2;
    const W a23 = a4 ^ a9;
    const W a24 = q[1] ^ a17;
    const W a25 = q[5] ^ a4;
    const W a26 = q[4] ^ q[7];
    const W a27 = q[2] ^ a13;
    const W a28 = a1 ^ a2;
    W m[18];
    inversionMiddle<W>({a2,  a3,  a28, a18, a14, a5,  a22, a19, a8,  a27, a23,
                        a24, a25, a4,  a15, a0,  a26, a10, a21, a16, a20, a11},
                       m);
    const W b0 = m[6] ^ m[15];
    const W b1 = m[12] ^ b0;
    const W b2 = m[16] ^ b1;
    const W b3 = m[13] ^ b2;
    const W b4 = m[8] ^ b3;
    const W b5 = m[1] ^ m[4];
    const W b6 = m[2] ^ m[10];
    const W b7 = m[13] ^ b6;
    const W b8 = m[3] ^ b5;
    const W b9 = m[14] ^ b8;
    const W b10 = m[5] ^ b4;
    const W b11 = m[8] ^ b9;
    const W b12 = m[17] ^ b7;
    const W b13 = m[4] ^ m[7];
    const W b14 = m[11] ^ b1;
    const W b15 = m[3] ^ b3;
    const W b16 = m[9] ^ m[15];
    const W b17 = m[3] ^ b10;
    const W b18 = b2 ^ b11;
    const W b19 = b6 ^ b18;
    const W b20 = m[0] ^ m[2];
    const W b21 = b12 ^ b13;
    const W b22 = m[0] ^ b10;
    const W b23 = m[9] ^ b0;
    const W b24 = m[0] ^ b14;
    const W b25 = m[11] ^ b19;
    const W b26 = m[5] ^ b21;
    const W b27 = b5 ^ b22;
    const W b28 = b13 ^ b15;
    const W b29 = b12 ^ b23;
    const W b30 = b24 ^ b26;
    const W b31 = b4 ^ b20;
    const W b32 = b11 ^ b29;
    const W b33 = m[17] ^ b16;
    const W b34 = m[11] ^ b33;
    q[0] = b34;
    q[1] = b28;
    q[2] = b27;
    q[3] = b30;
    q[4] = b31;
    q[5] = b25;
    q[6] = b32;
    q[7] = b17;
}

// InvSubBytes: the circuit wrapped in FIPS-197's inverse affine map on
// both sides.  The S-box is the affine map after inversion, so its inverse
// is inversion after the inverse map, and inversion is the S-box with the
// map undone.
template <class W>
QOLT_FORCE_INLINE void invSubBytes(W (&q)[8]) {
    invAffine(q);
    subBytes(q);
    invAffine(q);
}

// Multiplication by x (FIPS-197 xtime) of every byte: bit i takes bit i - 1,
// and the top bit folds back by the polynomial's 0x1b.
template <class W>
QOLT_FORCE_INLINE void xtime(const W (&t)[8], W (&d)[8]) {
    d[0] = t[7];
    d[1] = t[0] ^ t[7];
    d[2] = t[1];
    d[3] = t[2] ^ t[7];
    d[4] = t[3] ^ t[7];
    d[5] = t[4];
    d[6] = t[5];
    d[7] = t[6];
}

// MixColumns: 2 a ^ 3 b ^ c ^ d for the column's rows a, b, c, d from the
// row down, computed as 2 (a ^ b) ^ b ^ (c ^ d); c ^ d is a ^ b two rows on.
template <class L, class W>
QOLT_FORCE_INLINE void mixColumns(const L &rows, W (&q)[8]) {
    W b[8], t[8], t2[8];
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) {
        b[j] = rows.template rows<1>(q[j]);
        t[j] = q[j] ^ b[j];
    }
    xtime(t, t2);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = t2[j] ^ b[j] ^ rows.template rows<2>(t[j]);
}

// InvMixColumns as MixColumns after the map that makes each byte a of a
// column 5 a ^ 4 c, c the byte two rows on: FIPS-197's inverse matrix is
// the product of the two.
template <class L, class W>
QOLT_FORCE_INLINE void invMixColumns(const L &rows, W (&q)[8]) {
    W u[8], u2[8], u4[8];
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) u[j] = q[j] ^ rows.template rows<2>(q[j]);
    xtime(u, u2);
    xtime(u2, u4);
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) q[j] = q[j] ^ u4[j];
    mixColumns(rows, q);
}

}  // namespace

#endif  // QOLT_RIJNDAEL_BITSLICED_CIRCUIT_H
