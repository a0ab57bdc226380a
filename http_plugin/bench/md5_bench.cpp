// MD5 (RFC 1321) of 64 B, 1 KiB and 1 MiB: ours against OpenSSL's MD5(),
// nettle, GLib's GChecksum and libgcrypt.
#include <gcrypt.h>
#include <glib.h>
#include <nettle/md5.h>
#include <openssl/md5.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench_support.h"
#include "md5.h"

namespace bench {
namespace {

using Digest = void (*)(const Bytes &, unsigned char *);

void ours(const Bytes &in, unsigned char *out) {
    Md5Context ctx;
    md5Start(&ctx);
    md5Add(&ctx, in.data(), static_cast<int>(in.size()));
    md5Finish(&ctx, out);
}

void openssl(const Bytes &in, unsigned char *out) { MD5(in.data(), in.size(), out); }

void nettle(const Bytes &in, unsigned char *out) {
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, in.size(), in.data());
    md5_digest(&ctx, MD5_DIGEST_SIZE, out);
}

// One GChecksum, reset per message, as a program hashing many messages would
// keep it; the allocation of g_checksum_new is not counted.
GChecksum *glibChecksum() {
    static GChecksum *checksum = g_checksum_new(G_CHECKSUM_MD5);
    return checksum;
}

void glib(const Bytes &in, unsigned char *out) {
    GChecksum *checksum = glibChecksum();
    g_checksum_reset(checksum);
    g_checksum_update(checksum, in.data(), gssize(in.size()));
    gsize length = 16;
    g_checksum_get_digest(checksum, out, &length);
}

void libgcrypt(const Bytes &in, unsigned char *out) {
    gcry_md_hash_buffer(GCRY_MD_MD5, out, in.data(), in.size());
}

const struct {
    const char *name;
    Digest fn;
} kContenders[] = {
    {"ours", ours}, {"openssl", openssl},     {"nettle", nettle},
    {"glib", glib}, {"libgcrypt", libgcrypt},
};

const size_t kSizes[] = {64, 1024, 1 << 20};

}  // namespace

void registerMd5() {
    if (!gcry_check_version(GCRYPT_VERSION)) {
        fprintf(stderr, "libgcrypt: version mismatch\n");
        abort();
    }
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);

    for (size_t size : kSizes) {
        const std::string group = "md5/" + std::to_string(size);
        auto input = std::make_shared<Bytes>(randomBytes(size, size));
        checks().push_back({group, [group, input] {
                                Bytes want(16), got(16);
                                ours(*input, want.data());
                                for (const auto &c : kContenders) {
                                    c.fn(*input, got.data());
                                    std::string why = compare(group, c.name, want, got);
                                    if (!why.empty()) return why;
                                }
                                return std::string();
                            }});
        for (const auto &c : kContenders) {
            Digest fn = c.fn;
            add(group, c.name, size, [fn, input](benchmark::State &state) {
                unsigned char digest[16];
                for (auto _ : state) {
                    fn(*input, digest);
                    benchmark::DoNotOptimize(digest);
                }
            });
        }
    }
}

}  // namespace bench
