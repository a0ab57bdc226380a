// Rijndael: the class's checks and result codes; the key schedule and the
// block loops are the backend's (rijndael_backend.h), chosen by the
// processor.  The contracts are in qolt/rijndael.h.
#include "qolt/rijndael.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "rijndael_dispatch.h"
#include "wipe.h"

namespace {

// atLeast(a, b) is 1 when a >= b, else 0, without a branch; for values below
// 2^31.
inline uint32_t atLeast(uint32_t a, uint32_t b) { return 1 ^ ((a - b) >> 31); }

// Zero when the block ends in PKCS #7 padding of 1 to 16 bytes, else not.
// Every byte is looked at and no branch or address depends on one, so the
// time tells nothing; the caller branches once, on the verdict.  Not
// inlined, so that the constant-time test sees this body apart from that
// one branch.
__attribute__((noinline)) uint32_t badPadding(const unsigned char last[16]) {
    const uint32_t pad = last[15];
    uint32_t bad = (1 ^ atLeast(pad, 1)) | atLeast(pad, 17);
    for (uint32_t i = 0; i < 15; ++i) {
        // The index hidden from the optimiser: GCC for 32-bit x86 otherwise
        // folds pad into the loop's counter and the byte addresses, and the
        // loop's exit test then compares values derived from pad.
        uint32_t k = i;
        __asm__("" : "+r"(k));
        bad |= (0 - atLeast(k + pad, 16)) & (last[k] ^ pad);
    }
    return bad;
}

// The stack that the backends' loops may leave round keys and states in,
// below a padded call's frame.
constexpr size_t kPaddedStack = kQoltBackendStack;

}  // namespace

Rijndael::Rijndael() : keyState(Unkeyed) {}

// The whole object, key schedule and vector, so that no key outlives it.
Rijndael::~Rijndael() { qoltWipe(this, sizeof *this); }

int Rijndael::init(Mode newMode, Direction newDirection, const unsigned char *key, KeyLength keyLen,
                   const unsigned char *iv) {
    keyState = Unkeyed;
    // Every slot, not only those of the new length: a shorter key must not
    // leave round keys of a longer one behind, nor a failure the old key.
    qoltWipe(expandedKey, sizeof expandedKey);
    if (newMode != ECB && newMode != CBC && newMode != CFB1) return ErrMode;
    mode = newMode;
    if (newDirection != Encrypt && newDirection != Decrypt) return ErrDirection;
    direction = newDirection;
    if (iv)
        memcpy(initVector, iv, sizeof initVector);
    else
        memset(initVector, 0, sizeof initVector);

    size_t keyBytes;
    switch (keyLen) {
    case Key128: keyBytes = 16, rounds = 10; break;
    case Key192: keyBytes = 24, rounds = 12; break;
    case Key256: keyBytes = 32, rounds = 14; break;
    default: return ErrKeyLength;
    }
    if (!key) return ErrNoKey;

    unsigned char rows[8][4] = {};
    qoltCopy(rows, key, keyBytes);
    keySched(rows);
    qoltWipe(rows, sizeof rows);
    if (direction == Decrypt && mode != CFB1) keyEncToDec();
    keyState = Keyed;
    return 0;
}

void Rijndael::keySched(const unsigned char key[8][4]) {
    rijndaelBackend().expandKey(key[0], rounds, expandedKey[0][0]);
}

void Rijndael::keyEncToDec() { rijndaelBackend().invertKey(rounds, expandedKey[0][0]); }

void Rijndael::encrypt(const unsigned char in[16], unsigned char out[16]) const {
    rijndaelBackend().encryptBlock(expandedKey[0][0], rounds, in, out);
}

void Rijndael::decrypt(const unsigned char in[16], unsigned char out[16]) const {
    rijndaelBackend().decryptBlock(expandedKey[0][0], rounds, in, out);
}

int Rijndael::blockEncrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (direction != Encrypt) return ErrWrongDirection;
    if (!input || inputLenBits <= 0) return 0;
    const size_t blocks = size_t(inputLenBits) / 128;
    const RijndaelBackend &b = rijndaelBackend();
    const unsigned char *rk = expandedKey[0][0];
    // One block in ECB is the common short call: no loop, no count to keep.
    if (mode == ECB && blocks == 1) {
        b.encryptBlock(rk, rounds, input, outBuffer);
        return 128;
    }
    switch (mode) {
    case ECB: b.ecbEncrypt(rk, rounds, input, outBuffer, blocks); break;
    case CBC: b.cbcEncrypt(rk, rounds, initVector, input, outBuffer, blocks); break;
    case CFB1: b.cfb1Encrypt(rk, rounds, initVector, input, outBuffer, blocks); break;
    }
    return int(128 * blocks);
}

int Rijndael::blockDecrypt(const unsigned char *input, int inputLenBits, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (mode != CFB1 && direction != Decrypt) return ErrWrongDirection;
    if (!input || inputLenBits <= 0) return 0;
    const size_t blocks = size_t(inputLenBits) / 128;
    const RijndaelBackend &b = rijndaelBackend();
    const unsigned char *rk = expandedKey[0][0];
    if (mode == ECB && blocks == 1) {
        b.decryptBlock(rk, rounds, input, outBuffer);
        return 128;
    }
    switch (mode) {
    case ECB: b.ecbDecrypt(rk, rounds, input, outBuffer, blocks); break;
    case CBC: b.cbcDecrypt(rk, rounds, initVector, input, outBuffer, blocks); break;
    case CFB1: b.cfb1Decrypt(rk, rounds, initVector, input, outBuffer, blocks); break;
    }
    return int(128 * blocks);
}

int Rijndael::padEncrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer) {
    if (keyState != Keyed || direction != Encrypt) return ErrNotKeyed;
    if (!input || inputLenBytes <= 0) return 0;
    if (mode == CFB1) return ErrMode;
    // The result, 16 * (n / 16) + 16, must fit in an int.
    if (inputLenBytes > INT_MAX - 16) return ErrCorruptData;

    const size_t blocks = size_t(inputLenBytes) / 16, tail = size_t(inputLenBytes) % 16;
    unsigned char last[16];
    qoltCopy(last, input + 16 * blocks, tail);
    memset(last + tail, int(16 - tail), 16 - tail);

    const RijndaelBackend &b = rijndaelBackend();
    const unsigned char *rk = expandedKey[0][0];
    unsigned char *lastOut = outBuffer + 16 * blocks;
    if (mode == ECB) {
        b.ecbEncrypt(rk, rounds, input, outBuffer, blocks);
        b.encryptBlock(rk, rounds, last, lastOut);
    } else {
        b.cbcEncrypt(rk, rounds, initVector, input, outBuffer, blocks);
        // The padded block chains on the last ciphertext block.
        b.cbcEncrypt(rk, rounds, blocks ? lastOut - 16 : initVector, last, lastOut, 1);
    }
    qoltWipe(last, sizeof last);
    qoltWipeStackBelow<kPaddedStack>();
    return int(16 * blocks + 16);
}

int Rijndael::padDecrypt(const unsigned char *input, int inputLenBytes, unsigned char *outBuffer) {
    if (keyState != Keyed) return ErrNotKeyed;
    if (direction != Decrypt) return ErrWrongDirection;
    if (!input || inputLenBytes <= 0) return 0;
    if (inputLenBytes % 16 != 0) return ErrCorruptData;
    if (mode == CFB1) return ErrMode;

    const size_t blocks = size_t(inputLenBytes) / 16;
    const RijndaelBackend &b = rijndaelBackend();
    const unsigned char *rk = expandedKey[0][0];
    if (mode == CBC) {
        b.cbcDecrypt(rk, rounds, initVector, input, outBuffer, blocks);
        qoltWipeStackBelow<kPaddedStack>();
        return inputLenBytes;
    }

    // ECB removes the padding, and so must look at it.  Valid or not, and
    // the length, are all that the time may tell, and the result tells them.
    unsigned char last[16];
    b.ecbDecrypt(rk, rounds, input, outBuffer, blocks - 1);
    b.decryptBlock(rk, rounds, input + 16 * (blocks - 1), last);
    const uint32_t pad = last[15];
    if (badPadding(last) != 0) {
        qoltWipe(last, sizeof last);
        qoltWipeStackBelow<kPaddedStack>();
        return ErrCorruptData;
    }
    memcpy(outBuffer + 16 * (blocks - 1), last, 16 - pad);
    qoltWipe(last, sizeof last);
    qoltWipeStackBelow<kPaddedStack>();
    // The C library's copy may leave the plaintext in registers that code
    // built for any x86-64 does not name.
    qoltClearEveryVectorRegister();
    return inputLenBytes - int(pad);
}
