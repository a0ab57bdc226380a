// The ECB, CBC and CFB1 loops of NIST SP 800-38A, written once over a
// backend's block primitives and instantiated in each backend's own file
// (so each copy is compiled for that backend's instruction set).  Everything
// here has internal linkage: a copy built with AVX-512 flags must never be
// picked by the linker for code that runs on a baseline processor.
//
// A backend B provides:
//   kLanes, Reg      a register of kLanes blocks (1, 2 or 4; or 8, a Reg
//                    of eight registers)
//   kInFlight        registers in flight in the parallel loops
//   Tail             a backend of one lane for the serial loops and the
//                    tails (B itself when kLanes is 1)
//   Keys<R>          the schedule of R rounds, loaded once per call:
//                    Keys<R>(rk, rounds, decrypting), rounds being R, or,
//                    for a backend with kRoundsAtRunTime, at most R (see
//                    withRounds); decrypting says which direction's rounds
//                    will use them, for a backend that converts them
//   load(p), store(p, x), x ^ y   kLanes blocks at p
//   encrypt<R>(keys, x[N]), decrypt<R>(keys, x[N])   N registers at once
// and, only when kLanes is above 1 (a backend of one block a register has
// no lanes to move):
//   splat(p)         the block at p in every lane
//   shiftIn(prev, cur)   lanes (last lane of prev, cur lanes 0 .. kLanes - 2)
//   lastLane(x)      the last lane as a Tail::Reg
// and, for CFB1, on Tail only (measured: building the registers of wider
// lanes from their words costs more than the wider rounds save):
//   fromShiftRegisters(hl)   the CFB1 shift register given as the 128-bit
//                    big-endian number hl[0] : hl[1], as a block
//   keystreamBits(x) the top bit of byte 0 of the block
// and for the serial CFB1 encryption a shift register type
// Cfb with cfbStart(iv), cfbBlock(s) (the register as a block),
// cfbFeedback(x, inBit) (the ciphertext bit from the encrypted register and
// the input bit), cfbBit(fb) (that bit as a number) and cfbShift(s, fb).
// They keep the feedback in the backend's own registers: the loop is bound
// by one block's latency, and every move on that path adds to it.
//
// Every entry ends by clearing the vector registers (qoltClearVectorRegisters,
// wipe.h), as each backend's key schedule and its conversion do: no round
// key or block stays in them for a signal frame or the dynamic linker to
// store after the call.  A backend's own one-block path (oneBlock) clears
// the few registers it uses itself.
//
// No loop branches on, or indexes memory by, the key, the vector or the
// data: only block counts and the number of rounds steer them.  Whether the
// whole is constant-time is therefore the backend's matter.
#ifndef QOLT_RIJNDAEL_MODES_H
#define QOLT_RIJNDAEL_MODES_H

#include <cstdint>
#include <type_traits>

#include "byte_order.h"
#include "rijndael_backend.h"
#include "wipe.h"

// The block primitives are small and called in the innermost loops; the
// loops lose a third of their speed when a compiler declines to inline them.
#define QOLT_FORCE_INLINE inline __attribute__((always_inline))
// The same for the per-round-count lambdas: inlined into their switch, they
// take their arguments in registers instead of through a closure on the
// stack, which a single block would feel.
#define QOLT_FORCE_INLINE_LAMBDA __attribute__((always_inline))
// Every loop over the blocks in flight, or over a block's bytes, is unrolled
// whole, whatever the optimisation level: GCC unrolls such loops by itself
// only at -O3, and at -O2 keeps the blocks in a stack array it walks one at
// a time, a fifth of the speed.  Unrolled, the arrays become registers.
// Instrumented builds (sanitizers, fuzzing) leave the loops as written:
// unrolled and checked, the table code alone takes a compiler many minutes.
#if defined(QOLT_INSTRUMENTED)
#define QOLT_UNROLL_ALL
#else
#define QOLT_UNROLL_ALL _Pragma("GCC unroll 64")
#endif

namespace {

template <unsigned R>
using Rounds = std::integral_constant<unsigned, R>;

// Calls f with the number of rounds as a type, so that each key length gets
// its own copy of the loops, rounds unrolled and round keys in registers.
template <class F>
QOLT_FORCE_INLINE void withRounds(unsigned rounds, F &&f) {
    switch (rounds) {
    case 10: f(Rounds<10>{}); break;
    case 12: f(Rounds<12>{}); break;
    default: f(Rounds<14>{}); break;
    }
}

// Whether a backend takes the number of rounds at run time
// (kRoundsAtRunTime): one copy of its loops serves every key length, its
// Keys<14> holding the count.  Worth it where a round is long, as in
// software: a copy per key length triples the code and saves a loop
// counter; on the AES instructions, whose rounds are one instruction, the
// copies are what keeps the round keys in registers.
template <class B, class = void>
struct RoundsAtRunTime : std::false_type {};
template <class B>
struct RoundsAtRunTime<B, std::void_t<decltype(B::kRoundsAtRunTime)>>
    : std::integral_constant<bool, B::kRoundsAtRunTime> {};

template <class B, class F>
QOLT_FORCE_INLINE void withRounds(unsigned rounds, F &&f) {
    if constexpr (RoundsAtRunTime<B>::value)
        f(Rounds<14>{});
    else
        withRounds(rounds, static_cast<F &&>(f));
}

// Runs whole steps of kLanes * W blocks; returns the blocks left over.
// Each step reads its blocks before it writes any, so out may be in.
template <class B, unsigned W, bool kDecrypt, unsigned R>
QOLT_FORCE_INLINE size_t ecbRun(const typename B::template Keys<R> &ks, const unsigned char *&in,
                                unsigned char *&out, size_t blocks) {
    constexpr size_t kStep = B::kLanes * W;
    for (; blocks >= kStep; blocks -= kStep, in += 16 * kStep, out += 16 * kStep) {
        typename B::Reg x[W];
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < W; ++i) x[i] = B::load(in + 16 * B::kLanes * i);
        if constexpr (kDecrypt)
            B::template decrypt<R>(ks, x);
        else
            B::template encrypt<R>(ks, x);
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < W; ++i) B::store(out + 16 * B::kLanes * i, x[i]);
    }
    return blocks;
}

// The ciphertext blocks before those of cur: the register before, for one
// block a register, else its last lane followed by cur's first ones.
template <class B>
QOLT_FORCE_INLINE typename B::Reg previous(const typename B::Reg &prev,
                                           const typename B::Reg &cur) {
    if constexpr (B::kLanes == 1) {
        (void)cur;
        return prev;
    } else {
        return B::shiftIn(prev, cur);
    }
}

// CBC decryption: plaintext i = D(c[i]) ^ c[i - 1].  The previous
// ciphertext comes from registers, never from memory the output may
// already have overwritten; carry's last lane holds c[-1].
template <class B, unsigned W, unsigned R>
QOLT_FORCE_INLINE size_t cbcDecryptRun(const typename B::template Keys<R> &ks,
                                       typename B::Reg &carry, const unsigned char *&in,
                                       unsigned char *&out, size_t blocks) {
    constexpr size_t kStep = B::kLanes * W;
    for (; blocks >= kStep; blocks -= kStep, in += 16 * kStep, out += 16 * kStep) {
        typename B::Reg c[W], x[W];
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < W; ++i) c[i] = x[i] = B::load(in + 16 * B::kLanes * i);
        B::template decrypt<R>(ks, x);
        B::store(out, x[0] ^ previous<B>(carry, c[0]));
        QOLT_UNROLL_ALL
        for (unsigned i = 1; i < W; ++i)
            B::store(out + 16 * B::kLanes * i, x[i] ^ previous<B>(c[i - 1], c[i]));
        carry = c[W - 1];
    }
    return blocks;
}

// CFB1 decryption: every shift register is known from the input, so the
// registers of W consecutive bits are encrypted at once, one block each.  A
// step covers whole bytes (kBytes of them); when it holds fewer registers
// than eight, a byte takes several groups.
template <class B, unsigned W, unsigned R>
QOLT_FORCE_INLINE void cfb1DecryptRun(const typename B::template Keys<R> &ks, uint64_t &hi,
                                      uint64_t &lo, const unsigned char *in, unsigned char *out,
                                      size_t bytes) {
    static_assert(B::kLanes == 1, "CFB1 runs on one-block registers");
    constexpr unsigned kBits = W;
    static_assert(kBits % 8 == 0 || 8 % kBits == 0, "a step is whole bytes or a part of one");
    constexpr unsigned kBytes = kBits >= 8 ? kBits / 8 : 1;
    static_assert(kBytes <= 8 && 16 % kBytes == 0, "a step's bits fit one word, blocks hold steps");
    for (; bytes >= kBytes; bytes -= kBytes, in += kBytes, out += kBytes) {
        // The step's input bits, the first one highest.
        uint64_t stream = 0;
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < kBytes; ++i) stream = stream << 8 | in[i];
        uint64_t keystream = 0;
        QOLT_UNROLL_ALL
        for (unsigned g = 0; g < 8 * kBytes; g += kBits) {
            uint64_t hl[2 * kBits];
            QOLT_UNROLL_ALL
            for (unsigned j = 0; j < kBits; ++j) {
                const unsigned bit = unsigned(stream >> (8 * kBytes - 1 - g - j)) & 1;
                hl[2 * j] = hi;
                hl[2 * j + 1] = lo;
                hi = hi << 1 | lo >> 63;
                lo = lo << 1 | bit;
            }
            typename B::Reg x[W];
            QOLT_UNROLL_ALL
            for (unsigned i = 0; i < W; ++i) x[i] = B::fromShiftRegisters(hl + 2 * i);
            B::template encrypt<R>(ks, x);
            QOLT_UNROLL_ALL
            for (unsigned i = 0; i < W; ++i) keystream = keystream << 1 | B::keystreamBits(x[i]);
        }
        const uint64_t plain = stream ^ keystream;
        QOLT_UNROLL_ALL
        for (unsigned i = 0; i < kBytes; ++i)
            out[i] = static_cast<unsigned char>(plain >> (8 * (kBytes - 1 - i)));
    }
}

// Whether a backend has a one-block path of its own (oneBlock<kDecrypt>);
// the others run their ECB loop on one block.
template <class B, class = void>
struct HasOneBlock : std::false_type {};
template <class B>
struct HasOneBlock<B, std::void_t<decltype(&B::template oneBlock<false>)>> : std::true_type {};

// Whether a backend pays per group of kInFlight blocks rather than per block
// (kGroupTails, as bitsliced code does): then the blocks left after the
// whole steps go through as one smaller group, not one at a time.
template <class B, class = void>
struct GroupTails : std::false_type {};
template <class B>
struct GroupTails<B, std::void_t<decltype(B::kGroupTails)>>
    : std::integral_constant<bool, B::kGroupTails> {};

// The blocks left after the whole steps, fewer than B::kInFlight.
template <class B, bool kDecrypt, unsigned R, unsigned kGroup = B::kInFlight - 1>
QOLT_FORCE_INLINE void ecbTail(const typename B::template Keys<R> &ks, const unsigned char *in,
                               unsigned char *out, size_t blocks) {
    if constexpr (!GroupTails<B>::value) {
        ecbRun<B, 1, kDecrypt, R>(ks, in, out, blocks);
    } else if constexpr (kGroup > 0) {
        if (blocks == kGroup)
            ecbRun<B, kGroup, kDecrypt, R>(ks, in, out, blocks);
        else
            ecbTail<B, kDecrypt, R, kGroup - 1>(ks, in, out, blocks);
    }
}

template <class B, unsigned R, unsigned kGroup = B::kInFlight - 1>
QOLT_FORCE_INLINE void cbcDecryptTail(const typename B::template Keys<R> &ks,
                                      typename B::Reg &carry, const unsigned char *in,
                                      unsigned char *out, size_t blocks) {
    if constexpr (!GroupTails<B>::value) {
        cbcDecryptRun<B, 1, R>(ks, carry, in, out, blocks);
    } else if constexpr (kGroup > 0) {
        if (blocks == kGroup)
            cbcDecryptRun<B, kGroup, R>(ks, carry, in, out, blocks);
        else
            cbcDecryptTail<B, R, kGroup - 1>(ks, carry, in, out, blocks);
    }
}

template <class B>
struct ModeLoops {
    using N = typename B::Tail;
    static constexpr bool kTailIsSelf = std::is_same<N, B>::value;

    template <bool kDecrypt>
    static void ecb(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                    unsigned char *out, size_t blocks) {
        withRounds<B>(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
            constexpr unsigned R = decltype(r)::value;
            if constexpr (kTailIsSelf) {
                const typename B::template Keys<R> ks(rk, rounds, kDecrypt);
                blocks = ecbRun<B, B::kInFlight, kDecrypt, R>(ks, in, out, blocks);
                ecbTail<B, kDecrypt, R>(ks, in, out, blocks);
                return;
            }
            // The wide registers are keyed only when a whole step is there:
            // a single block should not pay for them.
            if (blocks >= B::kLanes * B::kInFlight) {
                const typename B::template Keys<R> ks(rk, rounds, kDecrypt);
                blocks = ecbRun<B, B::kInFlight, kDecrypt, R>(ks, in, out, blocks);
                if (blocks == 0) return;
            }
            const typename N::template Keys<R> nks(rk, rounds, kDecrypt);
            blocks = ecbRun<N, N::kInFlight, kDecrypt, R>(nks, in, out, blocks);
            ecbTail<N, kDecrypt, R>(nks, in, out, blocks);
        });
        qoltClearVectorRegisters();
    }

    template <bool kDecrypt>
    static void block(const unsigned char *rk, unsigned rounds, const unsigned char *in,
                      unsigned char *out) {
        if constexpr (HasOneBlock<N>::value) {
            N::template oneBlock<kDecrypt>(rk, rounds, in, out);
            // Unless it clears the registers it used itself (kOneBlockClears).
            if constexpr (!N::kOneBlockClears) qoltClearVectorRegisters();
        } else {
            withRounds<B>(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
                constexpr unsigned R = decltype(r)::value;
                const typename N::template Keys<R> ks(rk, rounds, kDecrypt);
                ecbRun<N, 1, kDecrypt, R>(ks, in, out, 1);
            });
            qoltClearVectorRegisters();
        }
    }

    // Each block waits for the one before: one register, one block.
    static void cbcEncrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                           const unsigned char *in, unsigned char *out, size_t blocks) {
        withRounds<B>(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
            constexpr unsigned R = decltype(r)::value;
            const typename N::template Keys<R> ks(rk, rounds, false);
            typename N::Reg chain = N::load(iv);
            for (; blocks > 0; --blocks, in += 16, out += 16) {
                typename N::Reg x[1] = {N::load(in) ^ chain};
                N::template encrypt<R>(ks, x);
                N::store(out, x[0]);
                chain = x[0];
            }
        });
        qoltClearVectorRegisters();
    }

    static void cbcDecrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                           const unsigned char *in, unsigned char *out, size_t blocks) {
        withRounds<B>(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
            constexpr unsigned R = decltype(r)::value;
            typename N::Reg carry = N::load(iv);
            if constexpr (kTailIsSelf) {
                const typename B::template Keys<R> ks(rk, rounds, true);
                blocks = cbcDecryptRun<B, B::kInFlight, R>(ks, carry, in, out, blocks);
                cbcDecryptTail<B, R>(ks, carry, in, out, blocks);
                return;
            }
            if (blocks >= B::kLanes * B::kInFlight) {
                const typename B::template Keys<R> ks(rk, rounds, true);
                if constexpr (B::kLanes == 1) {
                    blocks = cbcDecryptRun<B, B::kInFlight, R>(ks, carry, in, out, blocks);
                } else {
                    typename B::Reg wideCarry = B::splat(iv);
                    blocks = cbcDecryptRun<B, B::kInFlight, R>(ks, wideCarry, in, out, blocks);
                    carry = B::lastLane(wideCarry);
                }
                if (blocks == 0) return;
            }
            const typename N::template Keys<R> nks(rk, rounds, true);
            blocks = cbcDecryptRun<N, N::kInFlight, R>(nks, carry, in, out, blocks);
            cbcDecryptTail<N, R>(nks, carry, in, out, blocks);
        });
        qoltClearVectorRegisters();
    }

    // Encrypting feeds back the output bit, so each bit waits for the
    // encryption of the one before.
    static void cfb1Encrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                            const unsigned char *in, unsigned char *out, size_t blocks) {
        withRounds<B>(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
            constexpr unsigned R = decltype(r)::value;
            const typename N::template Keys<R> ks(rk, rounds, false);
            typename N::Cfb reg = N::cfbStart(iv);
            for (size_t n = 16 * blocks; n > 0; --n, ++in, ++out) {
                const unsigned inByte = *in;
                unsigned outByte = 0;
                QOLT_UNROLL_ALL
                for (int bit = 7; bit >= 0; --bit) {
                    typename N::Reg x[1] = {N::cfbBlock(reg)};
                    N::template encrypt<R>(ks, x);
                    const auto feedback = N::cfbFeedback(x[0], (inByte >> bit) & 1);
                    outByte |= N::cfbBit(feedback) << bit;
                    reg = N::cfbShift(reg, feedback);
                }
                *out = static_cast<unsigned char>(outByte);
            }
        });
        qoltClearVectorRegisters();
    }

    static void cfb1Decrypt(const unsigned char *rk, unsigned rounds, const unsigned char *iv,
                            const unsigned char *in, unsigned char *out, size_t blocks) {
        withRounds<B>(rounds, [&](auto r) QOLT_FORCE_INLINE_LAMBDA {
            constexpr unsigned R = decltype(r)::value;
            uint64_t hi = load64be(iv), lo = load64be(iv + 8);
            const typename N::template Keys<R> ks(rk, rounds, false);
            cfb1DecryptRun<N, N::kInFlight, R>(ks, hi, lo, in, out, 16 * blocks);
        });
        qoltClearVectorRegisters();
    }

    static constexpr RijndaelBackend backend(void (*expandKey)(const unsigned char *, unsigned,
                                                               unsigned char *),
                                             void (*invertKey)(unsigned, unsigned char *)) {
        return {expandKey, invertKey,  block<false>, block<true>, ecb<false>,
                ecb<true>, cbcEncrypt, cbcDecrypt,   cfb1Encrypt, cfb1Decrypt};
    }
};

}  // namespace

#endif  // QOLT_RIJNDAEL_MODES_H
