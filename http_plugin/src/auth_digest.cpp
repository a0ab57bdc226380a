// qolt_plugin_auth: the salted, upper-cased MD5 digest of two texts.
#include "qolt/http_plugin.h"

#include <glib.h>

#include <cstring>

#include "hex.h"
#include "md5.h"
#include "salt.h"

namespace {

const char kEmpty[] = "";

// md5Add counts in a signed 32-bit int; a longer text goes in whole blocks of
// this size, so every piece but the last keeps pending empty.
const size_t kMd5Piece = size_t(1) << 30;

// Copies n bytes, folding a-z to A-Z: ASCII only, no locale, bytes
// 0x80-0xFF as they are.  The store is unconditional so that the loop
// vectorises.
char *foldCopy(char *to, const char *from, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(from[i]);
        const bool lower = static_cast<unsigned char>(c - 'a') < 26;
        to[i] = static_cast<char>(lower ? c - 0x20 : c);
    }
    return to + n;
}

// The salted text S (prefix, first, second, suffix), already upper-cased.
// Joined and folded in one pass rather than by g_strdup_printf and a second
// pass: the salt holds no conversion, so the bytes are the same, and printf
// formatting costs many times the digest itself (and gives NULL past
// INT_MAX).
char *foldedSaltedText(const char *first, const char *second, size_t *length) {
    const size_t prefix = sizeof(QOLT_SALT_PREFIX) - 1, suffix = sizeof(QOLT_SALT_SUFFIX) - 1;
    const size_t one = strlen(first), two = strlen(second);
    // Both texts lie in memory, so their sum cannot overflow.
    *length = prefix + one + two + suffix;
    char *salted = static_cast<char *>(g_malloc(*length + 1));
    char *p = foldCopy(salted, QOLT_SALT_PREFIX, prefix);
    p = foldCopy(p, first, one);
    p = foldCopy(p, second, two);
    p = foldCopy(p, QOLT_SALT_SUFFIX, suffix);
    *p = '\0';
    return salted;
}

}  // namespace

extern "C" char *qolt_plugin_auth(const char *first, char **second) {
    // A missing text counts as the empty text.
    const char *one = first ? first : kEmpty;
    const char *two = (second && *second) ? *second : kEmpty;

    size_t length;
    char *salted = foldedSaltedText(one, two, &length);
    Md5Context ctx;
    unsigned char digest[16];
    md5Start(&ctx);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(salted);
    size_t left = length;
    while (left > kMd5Piece) {
        md5Add(&ctx, p, static_cast<int>(kMd5Piece));
        p += kMd5Piece;
        left -= kMd5Piece;
    }
    md5Add(&ctx, p, static_cast<int>(left));
    md5Finish(&ctx, digest);

    g_free(salted);

    char *result = static_cast<char *>(g_malloc0(33));
    hexEncodeLower(digest, sizeof digest, result);
    return result;
}
