// One operation, repeated over a buffer of a given size, with callgrind's
// collection switched on around the repetitions only, so its instruction
// count divided by the bytes processed is the cost per byte, free of set-up.
// Usage: qolt_bench_count <operation> <bytes> <repetitions>
// (run under valgrind --tool=callgrind --collect-atstart=no).
#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <nettle/md5.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "md5.h"
#include "qolt/rijndael.h"

namespace {

using Op = std::function<void(const unsigned char *, size_t, unsigned char *)>;

const unsigned char kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const unsigned char kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

Op ours(Rijndael::Mode mode, Rijndael::Direction dir) {
    auto cipher = std::make_shared<Rijndael>();
    cipher->init(mode, dir, kKey, Rijndael::Key128, kIv);
    return [cipher, dir](const unsigned char *in, size_t n, unsigned char *out) {
        if (dir == Rijndael::Encrypt)
            cipher->blockEncrypt(in, int(8 * n), out);
        else
            cipher->blockDecrypt(in, int(8 * n), out);
    };
}

Op openssl(const EVP_CIPHER *type, int enc) {
    std::shared_ptr<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    EVP_CipherInit_ex(ctx.get(), type, nullptr, kKey, kIv, enc);
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    return [ctx](const unsigned char *in, size_t n, unsigned char *out) {
        int written = 0;
        EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, nullptr, kIv, -1);
        EVP_CipherUpdate(ctx.get(), out, &written, in, int(n));
    };
}

void nettleEncrypt(const void *ctx, size_t n, uint8_t *dst, const uint8_t *src) {
    aes128_encrypt(static_cast<const aes128_ctx *>(ctx), n, dst, src);
}
void nettleDecrypt(const void *ctx, size_t n, uint8_t *dst, const uint8_t *src) {
    aes128_decrypt(static_cast<const aes128_ctx *>(ctx), n, dst, src);
}

Op nettleAes(bool encrypt, bool cbc) {
    auto ctx = std::make_shared<aes128_ctx>();
    if (encrypt)
        aes128_set_encrypt_key(ctx.get(), kKey);
    else
        aes128_set_decrypt_key(ctx.get(), kKey);
    return [ctx, encrypt, cbc](const unsigned char *in, size_t n, unsigned char *out) {
        nettle_cipher_func *f = encrypt ? nettleEncrypt : nettleDecrypt;
        if (!cbc) return f(ctx.get(), n, out, in);
        unsigned char iv[16];
        memcpy(iv, kIv, 16);
        if (encrypt)
            cbc_encrypt(ctx.get(), f, 16, iv, n, out, in);
        else
            cbc_decrypt(ctx.get(), f, 16, iv, n, out, in);
    };
}

std::map<std::string, Op> operations() {
    std::map<std::string, Op> ops;
    ops["md5/ours"] = [](const unsigned char *in, size_t n, unsigned char *out) {
        Md5Context ctx;
        md5Start(&ctx);
        md5Add(&ctx, in, int(n));
        md5Finish(&ctx, out);
    };
    ops["md5/openssl"] = [](const unsigned char *in, size_t n, unsigned char *out) {
        MD5(in, n, out);
    };
    ops["md5/nettle"] = [](const unsigned char *in, size_t n, unsigned char *out) {
        md5_ctx ctx;
        md5_init(&ctx);
        md5_update(&ctx, n, in);
        md5_digest(&ctx, 16, out);
    };
    ops["aes128-ecb-encrypt/ours"] = ours(Rijndael::ECB, Rijndael::Encrypt);
    ops["aes128-ecb-decrypt/ours"] = ours(Rijndael::ECB, Rijndael::Decrypt);
    ops["aes128-cbc-encrypt/ours"] = ours(Rijndael::CBC, Rijndael::Encrypt);
    ops["aes128-cbc-decrypt/ours"] = ours(Rijndael::CBC, Rijndael::Decrypt);
    ops["aes128-ecb-encrypt/openssl"] = openssl(EVP_aes_128_ecb(), 1);
    ops["aes128-ecb-decrypt/openssl"] = openssl(EVP_aes_128_ecb(), 0);
    ops["aes128-cbc-encrypt/openssl"] = openssl(EVP_aes_128_cbc(), 1);
    ops["aes128-cbc-decrypt/openssl"] = openssl(EVP_aes_128_cbc(), 0);
    ops["aes128-ecb-encrypt/nettle"] = nettleAes(true, false);
    ops["aes128-ecb-decrypt/nettle"] = nettleAes(false, false);
    ops["aes128-cbc-encrypt/nettle"] = nettleAes(true, true);
    ops["aes128-cbc-decrypt/nettle"] = nettleAes(false, true);
    return ops;
}

}  // namespace

int main(int argc, char **argv) {
    std::map<std::string, Op> ops = operations();
    if (argc != 4 || ops.count(argv[1]) == 0) {
        fprintf(stderr, "usage: %s <operation> <bytes> <repetitions>\noperations:", argv[0]);
        for (const auto &op : ops) fprintf(stderr, " %s", op.first.c_str());
        fprintf(stderr, "\n");
        return 2;
    }
    const Op &op = ops[argv[1]];
    const size_t bytes = strtoul(argv[2], nullptr, 10);
    const long reps = strtol(argv[3], nullptr, 10);
    std::vector<unsigned char> in(bytes), out(bytes + 16);
    for (size_t i = 0; i < bytes; ++i) in[i] = static_cast<unsigned char>(i * 131 + 7);

    op(in.data(), bytes, out.data());  // warm: first-call resolution outside the count
    CALLGRIND_TOGGLE_COLLECT;
    for (long r = 0; r < reps; ++r) op(in.data(), bytes, out.data());
    CALLGRIND_TOGGLE_COLLECT;
    printf("%s %02x\n", argv[1], out[0]);
    return 0;
}
