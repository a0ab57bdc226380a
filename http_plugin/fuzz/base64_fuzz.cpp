// libFuzzer target for base64Decode: arbitrary bytes as text, checked for the
// decoder's invariants rather than against fixed answers.
//
// The text is copied into an allocation of exactly its length plus the
// terminator and every target is allocated at its exact size, so under
// AddressSanitizer a read past the terminator or a write at or beyond the
// target size stops the run.
#include "base64.h"

#include <glib.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr size_t kGuardLength = 8;
constexpr unsigned char kGuard = 0x5a;

void check(bool ok) {
    if (!ok) abort();
}

// Decodes into a target of size bytes filled with fill and followed by guard
// bytes in a separate check, then into an exact allocation for the sanitizer.
int decodeInto(const char *text, size_t size, unsigned char fill, std::string &out) {
    std::unique_ptr<unsigned char[]> guarded(new unsigned char[size + kGuardLength]);
    memset(guarded.get(), fill, size);
    memset(guarded.get() + size, kGuard, kGuardLength);
    int result = base64Decode(text, guarded.get(), size);
    for (size_t k = 0; k < kGuardLength; ++k) check(guarded[size + k] == kGuard);

    std::unique_ptr<unsigned char[]> exact(new unsigned char[size ? size : 1]);
    memset(exact.get(), fill, size);
    check(base64Decode(text, exact.get(), size) == result);
    if (result >= 0) {
        check(static_cast<size_t>(result) <= size);
        check(memcmp(exact.get(), guarded.get(), static_cast<size_t>(result)) == 0);
        out.assign(reinterpret_cast<const char *>(guarded.get()), static_cast<size_t>(result));
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The text is the input up to its first zero byte.
    std::unique_ptr<char[]> text(new char[size + 1]);
    memcpy(text.get(), data, size);
    text[size] = '\0';
    const size_t length = strlen(text.get());

    const int count = base64Decode(text.get(), nullptr, 0);

    // strlen + 1 bytes are always enough, and old contents never matter.
    std::string zeros, ones;
    const int result = decodeInto(text.get(), length + 1, 0x00, zeros);
    check(decodeInto(text.get(), length + 1, 0xff, ones) == result);
    check(result >= -1 && count >= -1);
    if (result < 0) {
        // Only the leftover-bits check separates the modes.
        if (count >= 0) check(strchr(text.get(), '=') != nullptr);
        return 0;
    }
    check(zeros == ones);
    check(count == result);

    // Accepted text is the canonical encoding of its bytes, white space aside.
    std::string bare;
    for (size_t k = 0; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (!isspace(c)) bare += static_cast<char>(c);
    }
    gchar *encoded = g_base64_encode(reinterpret_cast<const guchar *>(zeros.data()), zeros.size());
    check(bare == encoded);
    g_free(encoded);

    // The smallest target that holds it: the data, plus one byte for a padded
    // last group.  One byte less fails.
    const bool padded = bare.find('=') != std::string::npos;
    const size_t needed = static_cast<size_t>(result) + (padded ? 1 : 0);
    std::string exact;
    check(decodeInto(text.get(), needed, 0xff, exact) == result);
    check(exact == zeros);
    if (needed > 0) check(decodeInto(text.get(), needed - 1, 0x00, exact) == -1);
    return 0;
}
