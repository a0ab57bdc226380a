/* Rijndael: the AES block cipher (FIPS-197), exported by qolt_http_plugin.
 *
 * One object holds one key schedule for one mode and one direction.  Keys of
 * 128, 192 and 256 bits (10, 12 and 14 rounds); blocks of 16 bytes; modes
 * ECB, CBC and CFB1 (cipher feedback with 1-bit segments) as NIST SP 800-38A
 * defines them; ECB and CBC also come in a padded form that adds and removes
 * PKCS #7 padding (RFC 5652, 6.3) with a block size of 16.
 *
 * Life of an object: construct it (it is Unkeyed), call init(), then any
 * number of bulk calls: blockEncrypt(), blockDecrypt(), padEncrypt(),
 * padDecrypt().  init() may be called again at any time; it replaces mode,
 * direction, vector and key.  The bulk calls only read the object: the
 * vector given to init() is never updated, so every call starts its chain
 * (CBC) or shift register (CFB1) from it again, and two calls on the same
 * input give the same output.  Calls are not chained.
 *
 * Results: every method that returns an int returns 0 or a positive count on
 * success and one of the Result codes on failure.  Past the checks of the
 * object's state, a null input or a length of 0 or less is no error: the
 * result is 0 and nothing is written.  Nothing
 * throws, prints, allocates or locks.  A wrong key or damaged ciphertext is
 * not detected, except by the padding check of padDecrypt() in ECB.
 *
 * Byte order: keys, vectors and blocks are byte strings and every result is
 * FIPS-197's on byte strings, whatever the host's byte order.
 *
 * Buffers: input and output MAY be the same buffer in every operation and
 * mode (partial overlap is not supported).  The caller provides the output
 * space; output pointers are not checked.
 *
 * Threads: a Keyed object may serve several threads at once, since the bulk
 * calls only read it; init() rewrites the object and MUST NOT overlap any
 * other call on the same object.
 *
 * Side channels: which code runs is decided once, at run time, by the
 * processor (cpuid; on 64-bit ARM the kernel's HWCAP_AES), never by the
 * environment:
 * - x86-64 with AES-NI: the AES instructions, on 128-bit registers, or with
 *   VAES on 256- or 512-bit registers where present;
 * - x86-64 with SSSE3 but no AES-NI: rounds computed by byte shuffles
 *   (vector-permute look-ups in registers, never in memory);
 * - 64-bit ARM with the Cryptography Extensions: the AES instructions;
 * - any other processor or architecture: bitsliced code on 64-bit words.
 * On each, init() (the key schedule and its conversion for Decrypt
 * included) and every block of blockEncrypt(), blockDecrypt(), padEncrypt()
 * and padDecrypt(), in every mode and key length, run in constant time: no
 * branch and no memory address depends on the key, the vector or the data.
 * padDecrypt() in ECB checks the padding without a branch on its bytes and
 * branches once on the verdict, so its time tells only what its result
 * tells.  Lengths, mode, direction and key length are not secret.  For the
 * AES-NI, SSSE3 and bitsliced code this is checked by a tool (memcheck with
 * the secrets marked undefined); the VAES code, which valgrind cannot run,
 * uses the same rounds and loops on wider registers, and its claim rests on
 * reading it.  The table-driven code, whose look-ups leak the key through
 * the cache, is kept as a reference for tests and never chosen.
 * What the calls clear behind them, in the registers, the object and the
 * stack:
 * - Registers: every backend's entry points (the key schedule, its
 *   conversion, one block, each mode's loop) end by zeroing the vector
 *   registers that code may use (xmm0 to xmm15, whole, where the code is
 *   SSE or AVX; with AVX-512 zmm0 to zmm31; on 64-bit ARM v0 to v31) and
 *   the general registers a call need not restore (on 64-bit ARM x0 to
 *   x18), so that neither a signal frame nor the dynamic linker's lazy
 *   binding of the caller's next call stores a round key or a block from
 *   them after a call returns.  The one-block path of the AES
 *   instructions uses two vector registers and clears those.  The plugin
 *   binds every symbol at load (-z now).
 * - The object: init() clears the whole key schedule before it writes a
 *   new one (a shorter key leaves nothing of a longer one) and leaves it
 *   cleared when it fails; ~Rijndael() clears the whole object.
 * - The stack: init() and the padded calls (padEncrypt(), padDecrypt())
 *   clear every copy they or the backend's loops make of the key, a round
 *   key, a plaintext block or a state, the bitsliced key schedule's
 *   bit-planes included; blockEncrypt() and blockDecrypt() may leave round
 *   keys or states that the compiler spilled to the stack in the backend's
 *   loops: their speed is worth more there, and a caller who must may clear
 *   its stack.  The credential decoder's exports clear the stack their
 *   calls used and every vector register of the processor.
 * On x86-64 and 64-bit ARM the residue test checks the registers, the
 * object's effect on the stack and the stack itself by a tool, on every
 * backend the processor runs (VAES included; on ARM under qemu): each call
 * runs twice with different keys and plaintexts on a stack of its own, then
 * a signal and a first lazily bound call, and any byte that differs is a
 * finding.  On other processors the claim rests on reading the code.
 *
 * ABI: the class is compiled into callers.  Its fields (their order, widths
 * and offsets, checked below), the enumeration values and every method are
 * part of the binary interface of qolt_http_plugin.so.2.  The fields are
 * private; only init() writes them.
 */
#ifndef QOLT_RIJNDAEL_H
#define QOLT_RIJNDAEL_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "qolt/export.h"

class QOLT_API Rijndael {
public:
    /* The enumerations have a fixed 32-bit underlying type, so any int cast
     * to them is a valid value, which init() rejects when out of range. */
    enum Mode : std::int32_t {
        ECB = 0, /* each block on its own */
        CBC = 1, /* cipher block chaining */
        CFB1 = 2 /* cipher feedback, 1-bit segments; no padded form */
    };
    enum Direction : std::int32_t { Encrypt = 0, Decrypt = 1 };
    enum KeyLength : std::int32_t {
        Key128 = 0, /* 16 key bytes, 10 rounds */
        Key192 = 1, /* 24 key bytes, 12 rounds */
        Key256 = 2  /* 32 key bytes, 14 rounds */
    };
    enum KeyState : std::int32_t { Keyed = 0, Unkeyed = 1 };

    enum Result : std::int32_t {
        /* init(): a mode other than the three; padEncrypt()/padDecrypt(): CFB1. */
        ErrMode = -1,
        /* init(): a direction other than the two. */
        ErrDirection = -2,
        /* init(): a key length other than the three. */
        ErrKeyLength = -3,
        /* init(): a null key. */
        ErrNoKey = -4,
        /* The object is Unkeyed; also padEncrypt() keyed for Decrypt. */
        ErrNotKeyed = -5,
        /* The operation does not suit the direction given to init(). */
        ErrWrongDirection = -6,
        /* padDecrypt(): length not a multiple of 16 or bad padding;
         * padEncrypt(): more than INT_MAX - 16 bytes (its count would not fit). */
        ErrCorruptData = -7
    };

    /* Leaves the object Unkeyed; sets no other field. */
    Rijndael();
    /* Clears the whole object, key schedule and vector included. */
    ~Rijndael();

    /* Keys the object for one mode and one direction.
     *
     * key MUST hold 16, 24 or 32 bytes as keyLen says.  initVector, when not
     * null, MUST point to 16 bytes, copied into the object; null stands for
     * 16 zero bytes.  ECB ignores the vector.
     *
     * The checks run in this order, the first failure deciding the result:
     * mode (ErrMode), direction (ErrDirection), key length (ErrKeyLength),
     * null key (ErrNoKey).  The object is Unkeyed from the start of the call
     * and stays so on failure, even if it was Keyed before; the whole key
     * schedule is cleared first, and stays cleared on failure.
     *
     * In the Decrypt direction the schedule is converted once, here, for the
     * equivalent inverse cipher (ECB and CBC); CFB1 runs the cipher forwards
     * in both directions and keeps the encryption schedule.
     *
     * Returns: 0, ErrMode, ErrDirection, ErrKeyLength or ErrNoKey. */
    int init(Mode mode, Direction dir, const unsigned char *key, KeyLength keyLen,
             const unsigned char *initVector = nullptr);

    /* Encrypts the whole 128-bit blocks of inputLenBits bits at input.
     *
     * Bits after the last whole block are neither read nor counted; with
     * fewer than 128 bits nothing is written.  outBuffer MUST have room for
     * 16 bytes per whole block.  CFB1 takes each byte most significant bit
     * first.
     *
     * Returns: the bits processed (128 per whole block, 0 for a null input or
     * inputLenBits <= 0), ErrNotKeyed, or ErrWrongDirection when not keyed
     * for Encrypt (in every mode). */
    int blockEncrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer);

    /* Decrypts the whole 128-bit blocks of inputLenBits bits at input; the
     * counterpart of blockEncrypt() with the same length and buffer rules.
     *
     * ECB and CBC need an object keyed for Decrypt; CFB1 accepts either
     * direction.
     *
     * Returns: the bits processed (as blockEncrypt()), ErrNotKeyed, or
     * ErrWrongDirection (ECB or CBC keyed for Encrypt). */
    int blockDecrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer);

    /* Pads inputLenBytes bytes at input with PKCS #7 (1 to 16 bytes, each
     * holding the pad length; a whole block of 16s after block-aligned input)
     * and encrypts them in ECB or CBC.
     *
     * outBuffer MUST have room for 16 * (inputLenBytes / 16) + 16 bytes.  On
     * any failure, and for a null input or inputLenBytes <= 0, nothing is
     * written, not even a padding block.
     *
     * Returns: the bytes written, 16 * (inputLenBytes / 16) + 16, or, checked
     * in this order: ErrNotKeyed (Unkeyed, or not keyed for Encrypt), 0 (null
     * input or inputLenBytes <= 0), ErrMode (CFB1), ErrCorruptData
     * (inputLenBytes > INT_MAX - 16, whose count would not fit the result). */
    int padEncrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer);

    /* Decrypts inputLenBytes bytes at input in ECB or CBC.
     *
     * inputLenBytes MUST be a multiple of 16 (else ErrCorruptData, nothing
     * written); outBuffer MUST have room for inputLenBytes bytes.
     *
     * ECB checks and removes the padding: the last plaintext byte p must be
     * 1 to 16 and the last p bytes must all equal p; otherwise the result is
     * ErrCorruptData, with all blocks but the last already in outBuffer.
     *
     * CBC neither checks nor removes padding: every decrypted byte is
     * written, the padding stays at the end of the output, and the result
     * is inputLenBytes.
     *
     * Returns: the plaintext bytes in outBuffer, or, checked in this order:
     * ErrNotKeyed, ErrWrongDirection (not keyed for Decrypt), 0 (null input
     * or inputLenBytes <= 0), ErrCorruptData (length), ErrMode (CFB1), and
     * last ErrCorruptData (ECB padding). */
    int padDecrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer);

private:
    /* The single-block and key-schedule steps, exported with the rest and
     * meant for no other caller; init() runs the last two.  encrypt() is
     * FIPS-197 Cipher on one block, decrypt() the equivalent inverse cipher,
     * which needs the converted schedule; both read the whole input block
     * before writing the output, as the bulk operations do. */
    void encrypt(const unsigned char in[16], unsigned char out[16]) const;
    void decrypt(const unsigned char in[16], unsigned char out[16]) const;
    /* FIPS-197 KeyExpansion of the key rows (byte i in row i / 4, column
     * i % 4) into expandedKey, for the current rounds. */
    void keySched(const unsigned char key[8][4]);
    /* Replaces round keys 1 to rounds - 1 by InvMixColumns of their words. */
    void keyEncToDec();

    friend struct RijndaelLayout;

    /* Keyed after a successful init(); Unkeyed after construction and after
     * a failed init().  Fields stored before the failing check of an init()
     * stay stored, but no operation reads them while Unkeyed. */
    std::int32_t keyState;
    Mode mode;
    Direction direction;
    unsigned char initVector[16];
    /* 10, 12 or 14. */
    std::uint32_t rounds;
    /* Slot r holds round key r (0 to rounds): words w[4r] to w[4r + 3] of
     * FIPS-197, each word's bytes in FIPS-197 order.  Keyed for Decrypt in
     * ECB or CBC, slots 1 to rounds - 1 hold InvMixColumns of those words, in
     * the same order (not reversed).  Slots above rounds are unused. */
    unsigned char expandedKey[15][4][4];
};

/* The field offsets that callers compile in; tests read the fields by them. */
struct RijndaelLayout {
    static constexpr std::size_t keyState = offsetof(Rijndael, keyState);
    static constexpr std::size_t mode = offsetof(Rijndael, mode);
    static constexpr std::size_t direction = offsetof(Rijndael, direction);
    static constexpr std::size_t initVector = offsetof(Rijndael, initVector);
    static constexpr std::size_t rounds = offsetof(Rijndael, rounds);
    static constexpr std::size_t expandedKey = offsetof(Rijndael, expandedKey);
    static constexpr std::size_t size = sizeof(Rijndael);
};

static_assert(std::is_standard_layout<Rijndael>::value, "Rijndael: standard layout");
static_assert(sizeof(Rijndael::Mode) == 4 && sizeof(Rijndael::Direction) == 4,
              "Rijndael: 32-bit enumerations");
static_assert(RijndaelLayout::keyState == 0 && RijndaelLayout::mode == 4 &&
                  RijndaelLayout::direction == 8 && RijndaelLayout::initVector == 12 &&
                  RijndaelLayout::rounds == 28 && RijndaelLayout::expandedKey == 32,
              "Rijndael: field offsets are ABI");
static_assert(RijndaelLayout::size == 272 && alignof(Rijndael) == 4, "Rijndael: size is ABI");

#endif /* QOLT_RIJNDAEL_H */
