// qolt_plugin_auth: the salted, upper-cased MD5 digest of two texts.
#include "qolt/http_plugin.h"

#include <glib.h>

#include <climits>
#include <cstring>

#include "hex.h"
#include "md5.h"
#include "salt.h"

namespace {

const char kEmpty[] = "";

// md5Add counts in a signed 32-bit int; a longer text goes in whole blocks of
// this size, so every piece but the last keeps pending empty.
const size_t kMd5Piece = size_t(1) << 30;

// The salted text S.  g_strdup_printf measures its output in an int and
// gives NULL past INT_MAX, so a text that long is joined by g_strconcat.
char *saltedText(const char *first, const char *second) {
    size_t total = sizeof(QOLT_SALT_PREFIX) - 1 + strlen(first) + strlen(second) +
                   sizeof(QOLT_SALT_SUFFIX) - 1;
    if (total < size_t(INT_MAX))
        return g_strdup_printf(QOLT_SALT_PREFIX "%s%s" QOLT_SALT_SUFFIX, first, second);
    return g_strconcat(QOLT_SALT_PREFIX, first, second, QOLT_SALT_SUFFIX, nullptr);
}

}  // namespace

extern "C" char *qolt_plugin_auth(const char *first, char **second) {
    // A missing text counts as the empty text.
    const char *one = first ? first : kEmpty;
    const char *two = (second && *second) ? *second : kEmpty;

    char *salted = saltedText(one, two);
    size_t length = strlen(salted);

    // The salted text belongs to this call and is not needed in its own case
    // afterwards, so it is folded in place rather than in a copy.  ASCII
    // only, no locale: bytes 0x80-0xFF stay as they are.  The store is
    // unconditional so that the loop vectorises.
    unsigned char *upper = reinterpret_cast<unsigned char *>(salted);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = upper[i];
        const bool lower = static_cast<unsigned char>(c - 'a') < 26;
        upper[i] = static_cast<unsigned char>(lower ? c - 0x20 : c);
    }

    Md5Context ctx;
    unsigned char digest[16];
    md5Start(&ctx);
    const unsigned char *p = upper;
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
