// qolt_plugin_auth: the salted, upper-cased MD5 digest of two texts.
#include "qolt/http_plugin.h"

#include <glib.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "hex.h"
#include "md5.h"
#include "protocol.h"

namespace {

const char kEmpty[] = "";

// Copies n bytes, folding a-z to A-Z: ASCII only, no locale, bytes
// 0x80-0xFF as they are.  Sixteen bytes at a time where SSE2 is there (every
// x86-64), since compilers vectorise the plain loop only at -O3.
inline void foldCopy(unsigned char *to, const unsigned char *from, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    // Signed compares: bytes from 0x80 up are negative, so below 'a'.
    const __m128i belowA = _mm_set1_epi8('a' - 1), pastZ = _mm_set1_epi8('z' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20);
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
        const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(c, belowA), _mm_cmplt_epi8(c, pastZ));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i),
                         _mm_xor_si128(c, _mm_and_si128(lower, caseBit)));
    }
#endif
    for (; i < n; ++i) {
        const unsigned char c = from[i];
        to[i] = static_cast<unsigned char>(static_cast<unsigned char>(c - 'a') < 26 ? c - 0x20 : c);
    }
}

// MD5 of the salted text S (prefix, first, second, suffix) upper-cased, fed
// through a buffer on the stack, sixteen blocks at a time so that MD5 runs
// its block loop rather than a call per block: S is never built.  The
// bytes digested are those of joining, folding and digesting in turn (the
// salt holds no conversion, so formatting would give the same bytes), but
// nothing is allocated, nothing is read twice, and no length limit of
// printf applies.
class FoldedDigest {
public:
    FoldedDigest() { md5Start(&ctx_); }

    void add(const char *text, size_t n) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
        while (n > 0) {
            const size_t take = n < kChunk - fill_ ? n : kChunk - fill_;
            foldCopy(chunk_ + fill_, p, take);
            fill_ += take;
            p += take;
            n -= take;
            if (fill_ == kChunk) {
                md5Add(&ctx_, chunk_, int(kChunk));
                fill_ = 0;
            }
        }
    }

    void finish(unsigned char digest[16]) {
        md5Add(&ctx_, chunk_, static_cast<int>(fill_));
        md5Finish(&ctx_, digest);
    }

private:
    static constexpr size_t kChunk = 16 * 64;
    Md5Context ctx_;
    unsigned char chunk_[kChunk];
    size_t fill_ = 0;
};

}  // namespace

extern "C" char *qolt_plugin_auth(const char *first, char **second) {
    // A missing text counts as the empty text.
    const char *one = first ? first : kEmpty;
    const char *two = (second && *second) ? *second : kEmpty;

    FoldedDigest md5;
    md5.add(QOLT_SALT_PREFIX, sizeof(QOLT_SALT_PREFIX) - 1);
    md5.add(one, strlen(one));
    md5.add(two, strlen(two));
    md5.add(QOLT_SALT_SUFFIX, sizeof(QOLT_SALT_SUFFIX) - 1);
    unsigned char digest[16];
    md5.finish(digest);
    char *result = static_cast<char *>(g_malloc0(33));
    hexEncodeLower(digest, sizeof digest, result);
    return result;
}
