// libFuzzer target for the Rijndael class, driven entirely by the input:
// mode, direction and key length (valid or not), null key, vector or input,
// a second init, the operation, its length (any int, negative included) and
// the data.
//
// A small model of the result rules predicts every result code; the call's
// result must match it.  The output buffer is filled with a pattern and
// followed by guard bytes: nothing may change beyond what the result allows
// (16 bytes per 128 bits, the bytes counted by the padded calls), and a
// failing call writes nothing (ECB padDecrypt aside, which may leave the
// blocks before the last).  Successful calls are undone by a twin object
// keyed the other way, and run twice and in place with the same output.
//
// When the model says a call fails before touching data, the raw length is
// passed on unclamped, so a call that read or wrote anyway would run far
// outside the buffers and stop the run under AddressSanitizer.
//
// The backends are compared with each other by rijndael_backends_fuzz.cpp.
//
// Input layout (missing bytes read as zero):
//   0..2   mode, direction, key length selectors     3  flags
//   4..7   length, int32 little-endian               8..10  second init's selectors
//   11..42 key (32 bytes)   43..58 vector (16 bytes)   59.. data
#include "qolt/rijndael.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

using R = Rijndael;
using Bytes = std::vector<unsigned char>;

void check(bool ok) {
    if (!ok) abort();
}

constexpr size_t kGuard = 32;
constexpr unsigned char kFill = 0xa5;
constexpr size_t kHeader = 59;

enum Flag : unsigned {
    NullKey = 1u << 0,
    NullVector = 1u << 1,
    NeverInit = 1u << 2,
    SecondInit = 1u << 3,
    NullInput = 1u << 4,
    InPlace = 1u << 5,
    // bits 6 and 7: the operation
};

enum Op { BlockEncrypt = 0, BlockDecrypt = 1, PadEncrypt = 2, PadDecrypt = 3 };

// Mostly valid enumeration values, sometimes any of a set of invalid ones.
int32_t pick(uint8_t s) {
    static const int32_t odd[] = {3, -1, INT_MIN, INT_MAX, 4, 256, -3, 1 << 30};
    return s < 0xc0 ? s % 3 : odd[s & 7];
}

// What init() must return for these values.
int expectedInit(int32_t mode, int32_t dir, int32_t keyLen, bool nullKey) {
    if (mode < 0 || mode > 2) return R::ErrMode;
    if (dir < 0 || dir > 1) return R::ErrDirection;
    if (keyLen < 0 || keyLen > 2) return R::ErrKeyLength;
    if (nullKey) return R::ErrNoKey;
    return 0;
}

struct Keying {
    bool keyed = false;
    R::Mode mode = R::ECB;
    R::Direction dir = R::Encrypt;
    R::KeyLength keyLen = R::Key128;
};

// The result code of the state checks of an operation (the checks before
// the input and length are looked at), or 1 when they pass.
int stateCheck(const Keying &k, Op op) {
    switch (op) {
    case BlockEncrypt:
        if (!k.keyed) return R::ErrNotKeyed;
        return k.dir == R::Encrypt ? 1 : R::ErrWrongDirection;
    case BlockDecrypt:
        if (!k.keyed) return R::ErrNotKeyed;
        return k.mode == R::CFB1 || k.dir == R::Decrypt ? 1 : R::ErrWrongDirection;
    case PadEncrypt: return k.keyed && k.dir == R::Encrypt ? 1 : R::ErrNotKeyed;
    case PadDecrypt:
        if (!k.keyed) return R::ErrNotKeyed;
        return k.dir == R::Decrypt ? 1 : R::ErrWrongDirection;
    }
    return 1;
}

// The checks on length and mode that still fail before any data is touched,
// or 1 when the call goes on to the data.
int lengthCheck(const Keying &k, Op op, bool nullInput, int len) {
    if (nullInput || len <= 0) return 0;
    if (op == PadEncrypt) {
        if (k.mode == R::CFB1) return R::ErrMode;
        if (len > INT_MAX - 16) return R::ErrCorruptData;
    }
    if (op == PadDecrypt) {
        if (len % 16 != 0) return R::ErrCorruptData;
        if (k.mode == R::CFB1) return R::ErrMode;
    }
    return 1;
}

// Bytes the call may read from its input, and may write, for a length that
// passed the checks.
size_t inputBytes(Op op, int len) {
    return op == BlockEncrypt || op == BlockDecrypt ? 16 * size_t(len / 128) : size_t(len);
}
size_t outputBytes(Op op, int len) {
    if (op == PadEncrypt) return 16 * size_t(len / 16) + 16;
    return inputBytes(op, len);
}

// Brings a length that reaches the data within the data at hand.
int clampLength(Op op, int len, size_t have) {
    if (op == BlockEncrypt || op == BlockDecrypt)
        return int(int64_t(len) % (128 * int64_t(have / 16 + 1)));
    if (op == PadEncrypt) return int(int64_t(len) % int64_t(have + 1));
    return int(16 * ((len / 16) % int64_t(have / 16 + 1)));
}

int call(R &c, Op op, const unsigned char *in, int len, unsigned char *out) {
    switch (op) {
    case BlockEncrypt: return c.blockEncrypt(in, len, out);
    case BlockDecrypt: return c.blockDecrypt(in, len, out);
    case PadEncrypt: return c.padEncrypt(in, len, out);
    case PadDecrypt: return c.padDecrypt(in, len, out);
    }
    return 0;
}

bool untouched(const unsigned char *p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != kFill) return false;
    return true;
}

// A valid PKCS #7 tail (1 to 16 bytes of its own value) on a 16-byte block.
int pkcs7Pad(const unsigned char block[16]) {
    const unsigned p = block[15];
    if (p == 0 || p > 16) return -1;
    for (unsigned i = 16 - p; i < 16; ++i)
        if (block[i] != p) return -1;
    return int(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    unsigned char header[kHeader] = {};
    memcpy(header, data, size < kHeader ? size : kHeader);
    const Bytes input(data + (size < kHeader ? size : kHeader), data + size);
    const unsigned flags = header[3];
    const Op op = static_cast<Op>(flags >> 6);
    int32_t len;
    memcpy(&len, header + 4, 4);
    const unsigned char *key = header + 11, *iv = header + 43;

    // The object is built over garbage: old contents must not matter.
    alignas(R) unsigned char storage[sizeof(R)];
    memset(storage, int(header[0] ^ header[10]), sizeof storage);
    R *cipher = new (storage) R;

    Keying k;
    auto initWith = [&](const unsigned char *sel) {
        const int32_t mode = pick(sel[0]), dir = pick(sel[1]), keyLen = pick(sel[2]);
        const bool nullKey = flags & NullKey;
        const int result = cipher->init(static_cast<R::Mode>(mode), static_cast<R::Direction>(dir),
                                        nullKey ? nullptr : key, static_cast<R::KeyLength>(keyLen),
                                        flags & NullVector ? nullptr : iv);
        check(result == expectedInit(mode, dir, keyLen, nullKey));
        k.keyed = result == 0;
        if (k.keyed) {
            k.mode = static_cast<R::Mode>(mode);
            k.dir = static_cast<R::Direction>(dir);
            k.keyLen = static_cast<R::KeyLength>(keyLen);
        }
    };
    if (!(flags & NeverInit)) initWith(header);
    if (flags & SecondInit) initWith(header + 8);  // a failed re-init leaves it Unkeyed

    const bool nullInput = flags & NullInput;
    int expected = stateCheck(k, op);
    if (expected == 1) expected = lengthCheck(k, op, nullInput, len);
    if (expected == 1) {
        len = clampLength(op, len, input.size());
        expected = lengthCheck(k, op, nullInput, len);
    }
    const bool reachesData = expected == 1;

    // Output: what the call may write, then guard bytes; in place, the input
    // goes first into the same buffer.
    const size_t room = reachesData ? outputBytes(op, len) : 0;
    const size_t bufferSize =
        (reachesData && (flags & InPlace) ? std::max(room, input.size()) : room) + kGuard;
    Bytes buffer(bufferSize, kFill);
    const unsigned char *in = input.empty() ? header : input.data();
    if (reachesData && (flags & InPlace)) {
        std::copy(input.begin(), input.end(), buffer.begin());
        in = buffer.data();
    }
    if (nullInput) in = nullptr;
    const int result = call(*cipher, op, in, len, buffer.data());

    if (!reachesData) {
        // Every failure, and 0, before the data: nothing written at all.
        check(result == expected);
        check(untouched(buffer.data(), buffer.size()));
        cipher->~R();
        return 0;
    }

    // The call reached the data; only ECB padDecrypt may still fail.
    const size_t inLen = inputBytes(op, len);
    check(inLen <= input.size());
    int allowed;  // bytes that may have changed
    if (op == PadDecrypt && k.mode == R::ECB) {
        check(result == R::ErrCorruptData || (result >= len - 16 && result < len));
        allowed = result >= 0 ? result : len - 16;
        // The padding check agrees with the decrypted last block.
        R twin;
        check(twin.init(R::ECB, R::Decrypt, key, k.keyLen, nullptr) == 0);
        unsigned char last[16];
        check(twin.blockDecrypt(input.data() + len - 16, 128, last) == 128);
        const int pad = pkcs7Pad(last);
        check(result == (pad < 0 ? int(R::ErrCorruptData) : len - pad));
    } else {
        const int want = op == BlockEncrypt || op == BlockDecrypt ? 128 * (len / 128)
                         : op == PadEncrypt                       ? int(room)
                                                                  : len;
        check(result == want);
        allowed = op == BlockEncrypt || op == BlockDecrypt ? result / 8 : result;
    }
    // Out of place, everything past the allowed bytes keeps the fill; in
    // place, past the input too.
    if (flags & InPlace) {
        for (size_t i = size_t(allowed); i < buffer.size(); ++i)
            check(buffer[i] == (i < input.size() ? input[i] : kFill));
    } else {
        check(untouched(buffer.data() + allowed, buffer.size() - size_t(allowed)));
    }
    if (result <= 0) {
        cipher->~R();
        return 0;
    }

    // Calls are not chained: the same call again, out of place, gives the same.
    Bytes again(room + kGuard, kFill);
    check(call(*cipher, op, input.data(), len, again.data()) == result);
    check(memcmp(again.data(), buffer.data(), size_t(allowed)) == 0);

    // Round trip through a twin that runs the other way, with the same key
    // and vector (a CFB1 object keyed for Decrypt could not encrypt back).
    const R::Direction other = op == BlockEncrypt || op == PadEncrypt ? R::Decrypt : R::Encrypt;
    R twin;
    check(twin.init(k.mode, other, key, k.keyLen, flags & NullVector ? nullptr : iv) == 0);
    Bytes back(room + 16, kFill);
    const unsigned char *produced = buffer.data();
    switch (op) {
    case BlockEncrypt:
    case BlockDecrypt: {
        // CFB1 keyed either way decrypts; the twin undoes what was done.
        const int r = op == BlockEncrypt ? twin.blockDecrypt(produced, result, back.data())
                                         : twin.blockEncrypt(produced, result, back.data());
        check(r == result);
        check(memcmp(back.data(), input.data(), size_t(result / 8)) == 0);
        break;
    }
    case PadEncrypt: {
        const int r = twin.padDecrypt(produced, result, back.data());
        if (k.mode == R::ECB) {
            check(r == len);
            check(memcmp(back.data(), input.data(), size_t(len)) == 0);
        } else {
            // CBC keeps the padding: the data, then p bytes of value p.
            check(r == result);
            check(memcmp(back.data(), input.data(), size_t(len)) == 0);
            for (int i = len; i < result; ++i) check(back[size_t(i)] == result - len);
        }
        break;
    }
    case PadDecrypt: {
        if (k.mode == R::ECB) {
            // Valid padding is canonical: padding the plaintext again gives
            // back the ciphertext.
            check(twin.padEncrypt(produced, result, back.data()) == len);
        } else {
            check(twin.blockEncrypt(produced, 8 * result, back.data()) == 8 * result);
        }
        check(memcmp(back.data(), input.data(), size_t(len)) == 0);
        break;
    }
    }
    cipher->~R();
    return 0;
}
