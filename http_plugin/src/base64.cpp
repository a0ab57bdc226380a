// Strict base64 decoding (RFC 4648).  One pass over the text with a state per
// position in the group of four; the bytes go straight into the caller's
// target, each step testing its writes against the target size first.
// Characters are looked up in a table computed from the alphabet text at
// compile time (base64_alphabet.h), which gives what strchr would.
#include "base64.h"

#include <cctype>
#include <climits>
#include <cstdlib>

#include "base64_alphabet.h"

namespace {

const unsigned char kPad = '=';

// isspace takes an unsigned char value (or EOF); a plain char from 0x80 up
// would arrive negative.
inline bool isSpace(unsigned char c) { return isspace(c) != 0; }

}  // namespace

int base64Decode(const char *text, unsigned char *target, uint64_t targetSize) {
    if (text == nullptr) return 0;

    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    int state = 0;  // position of the next character within its group
    int i = 0;      // byte being completed == bytes complete so far

    const signed char *const value = kBase64Values.value;
    for (;; ++p) {
        if (state == 0) {
            // Whole groups of four alphabet characters, the bulk of any text,
            // in one step each: the same bound tests and the same bytes as
            // the four single steps below.  Anything else (white space, a
            // pad, the end, a group that would not fit) is left to them.
            // Each byte is read only after the one before it proved not to
            // be the terminator.
            for (;;) {
                const int w = value[p[0]];
                if (w < 0) break;
                const int x = value[p[1]];
                if (x < 0) break;
                const int y = value[p[2]];
                if (y < 0) break;
                const int z = value[p[3]];
                if (z < 0) break;
                if (i > INT_MAX - 3) break;
                if (target != nullptr) {
                    if (static_cast<uint64_t>(i) + 2 >= targetSize) break;
                    target[i] = static_cast<unsigned char>(w << 2 | x >> 4);
                    target[i + 1] = static_cast<unsigned char>((x & 0x0F) << 4 | y >> 2);
                    target[i + 2] = static_cast<unsigned char>((y & 0x03) << 6 | z);
                }
                i += 3;
                p += 4;
            }
        }

        const unsigned char c = *p;
        const int found = value[c];
        if (found < 0) {
            if (c == 0) return state == 0 ? i : -1;  // an incomplete group must be padded
            if (isSpace(c)) continue;
            if (c == kPad) break;
            return -1;
        }
        const unsigned v = static_cast<unsigned>(found);

        // Each step stores its first byte with a plain store and the next step
        // ORs into it, so old target contents never leak into the result.
        switch (state) {
        case 0:
            if (target != nullptr) {
                if (static_cast<uint64_t>(i) >= targetSize) return -1;
                target[i] = static_cast<unsigned char>(v << 2);
            }
            state = 1;
            break;
        case 1:
            if (i == INT_MAX) return -1;  // the result would not fit an int
            if (target != nullptr) {
                if (static_cast<uint64_t>(i) + 1 >= targetSize) return -1;
                target[i] = static_cast<unsigned char>(target[i] | (v >> 4));
                target[i + 1] = static_cast<unsigned char>((v & 0x0F) << 4);
            }
            ++i;
            state = 2;
            break;
        case 2:
            if (i == INT_MAX) return -1;
            if (target != nullptr) {
                if (static_cast<uint64_t>(i) + 1 >= targetSize) return -1;
                target[i] = static_cast<unsigned char>(target[i] | (v >> 2));
                target[i + 1] = static_cast<unsigned char>((v & 0x03) << 6);
            }
            ++i;
            state = 3;
            break;
        case 3:
            if (i == INT_MAX) return -1;
            if (target != nullptr) {
                if (static_cast<uint64_t>(i) >= targetSize) return -1;
                target[i] = static_cast<unsigned char>(target[i] | v);
            }
            ++i;
            state = 0;
            break;
        default: abort();  // state only ever takes the values 0 to 3
        }
    }

    // p stands on the first pad.
    ++p;
    switch (state) {
    case 0:  // after a complete group
    case 1:  // after a single character
        return -1;
    case 2:  // one byte of data: a second pad must follow, white space aside
        while (isSpace(*p)) ++p;
        if (*p != kPad) return -1;
        ++p;
        break;
    case 3:  // two bytes of data: the single pad closes the group
        break;
    default: abort();
    }
    for (; *p != 0; ++p)
        if (!isSpace(*p)) return -1;

    // States 1 and 2 parked the last character's unused low bits at target[i]
    // (inside the target: their bound test covered i); RFC 4648 section 3.5
    // lets a decoder reject them when they are not zero, and we do.
    if (target != nullptr && target[i] != 0) return -1;
    return i;
}
