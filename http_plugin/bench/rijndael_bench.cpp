// Rijndael against OpenSSL (EVP, and the low-level AES_* calls for one block
// and the key set-up) and nettle, for AES-128/192/256.  "ours" is the class
// through the plugin's exports, on the backend the processor chooses;
// "ours-vaes-256", "ours-aes-ni", "ours-ssse3", "ours-bitsliced" and
// "ours-tables" run those backends' loops directly, to show what each backend
// is worth.  Which code the peers run is chosen by the environment:
// OPENSSL_ia32cap=~0x200020200000000 and NETTLE_FAT_OVERRIDE=vendor:intel
// select their table code, OPENSSL_ia32cap=~0x200000200000000 OpenSSL's
// SSSE3 code (tools/bench.sh).
//
// The bitsliced backend's peer is BearSSL's constant-time aes_ct64
// ("bearssl-ct64"), which has no ECB: its CTR stands in for ECB encryption
// and its CBC decryption for ECB decryption, each the same rounds on four
// blocks at a time plus an XOR.
#include <bearssl/bearssl_block.h>
#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <openssl/aes.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "bench_support.h"
#include "qolt/rijndael.h"
#include "rijndael_dispatch.h"

namespace bench {
namespace {

enum Op { EcbEncrypt, EcbDecrypt, CbcEncrypt, CbcDecrypt, Cfb1Encrypt, Cfb1Decrypt };

const char *opName(Op op) {
    switch (op) {
    case EcbEncrypt: return "ecb-encrypt";
    case EcbDecrypt: return "ecb-decrypt";
    case CbcEncrypt: return "cbc-encrypt";
    case CbcDecrypt: return "cbc-decrypt";
    case Cfb1Encrypt: return "cfb1-encrypt";
    case Cfb1Decrypt: return "cfb1-decrypt";
    }
    return "?";
}

bool encrypting(Op op) { return op == EcbEncrypt || op == CbcEncrypt || op == Cfb1Encrypt; }

// One contender keyed once for one case; run() transforms `in` into `out`
// from the fixed vector, every call independent of the last.
struct Runner {
    virtual ~Runner() = default;
    virtual void run(const unsigned char *in, size_t n, unsigned char *out) = 0;
};

struct Ours : Runner {
    Rijndael cipher;
    bool enc;
    Ours(Op op, const Bytes &key, const Bytes &iv) : enc(encrypting(op)) {
        Rijndael::Mode mode = op <= EcbDecrypt   ? Rijndael::ECB
                              : op <= CbcDecrypt ? Rijndael::CBC
                                                 : Rijndael::CFB1;
        Rijndael::KeyLength length = key.size() == 16   ? Rijndael::Key128
                                     : key.size() == 24 ? Rijndael::Key192
                                                        : Rijndael::Key256;
        // CFB1 runs the cipher forwards either way: key it for Encrypt.
        Rijndael::Direction dir =
            enc || mode == Rijndael::CFB1 ? Rijndael::Encrypt : Rijndael::Decrypt;
        if (cipher.init(mode, dir, key.data(), length, iv.data()) != 0) abort();
    }
    void run(const unsigned char *in, size_t n, unsigned char *out) override {
        int bits = int(n * 8);
        if ((enc ? cipher.blockEncrypt(in, bits, out) : cipher.blockDecrypt(in, bits, out)) != bits)
            abort();
    }
};

// One backend's loops on a schedule it expanded itself, as the class would.
struct Backend : Runner {
    const RijndaelBackend &b;
    Op op;
    unsigned rounds;
    unsigned char rk[15 * 16];
    Bytes iv;
    Backend(const RijndaelBackend &backend, Op o, const Bytes &key, const Bytes &vector)
        : b(backend), op(o), rounds(unsigned(key.size() / 4 + 6)), iv(vector) {
        b.expandKey(key.data(), rounds, rk);
        if (op == EcbDecrypt || op == CbcDecrypt) b.invertKey(rounds, rk);
    }
    void run(const unsigned char *in, size_t n, unsigned char *out) override {
        const size_t blocks = n / 16;
        switch (op) {
        case EcbEncrypt: b.ecbEncrypt(rk, rounds, in, out, blocks); break;
        case EcbDecrypt: b.ecbDecrypt(rk, rounds, in, out, blocks); break;
        case CbcEncrypt: b.cbcEncrypt(rk, rounds, iv.data(), in, out, blocks); break;
        case CbcDecrypt: b.cbcDecrypt(rk, rounds, iv.data(), in, out, blocks); break;
        case Cfb1Encrypt: b.cfb1Encrypt(rk, rounds, iv.data(), in, out, blocks); break;
        case Cfb1Decrypt: b.cfb1Decrypt(rk, rounds, iv.data(), in, out, blocks); break;
        }
    }
};

// The backends worth a row of their own beside "ours": every other one the
// processor runs, narrower and software ones included (to show what each is
// worth); the tables always.
std::vector<std::pair<std::string, const RijndaelBackend *>> backendContenders() {
    std::vector<std::pair<std::string, const RijndaelBackend *>> list;
    const RijndaelBackendEntry &running = rijndaelRunningBackend();
    for (size_t i = 0; i < kRijndaelBackendCount; ++i) {
        const RijndaelBackendEntry &e = kRijndaelBackends[i];
        if (e.id != running.id && rijndaelBackendSupported(e.id))
            list.emplace_back(std::string("ours-") + e.name, e.backend);
    }
    return list;
}

// BearSSL's aes_ct64 on a copy of the input, as its calls work in place;
// the copy is a small part of the time (a few percent at 4 KiB).
struct BearSsl : Runner {
    Op op;
    Bytes iv;
    br_aes_ct64_cbcenc_keys cbcEnc;
    br_aes_ct64_cbcdec_keys cbcDec;
    br_aes_ct64_ctr_keys ctr;
    BearSsl(Op o, const Bytes &key, const Bytes &vector) : op(o), iv(vector) {
        br_aes_ct64_cbcenc_init(&cbcEnc, key.data(), key.size());
        br_aes_ct64_cbcdec_init(&cbcDec, key.data(), key.size());
        br_aes_ct64_ctr_init(&ctr, key.data(), key.size());
    }
    void run(const unsigned char *in, size_t n, unsigned char *out) override {
        unsigned char chain[16];
        memcpy(chain, iv.data(), 16);
        if (out != in) memcpy(out, in, n);
        switch (op) {
        case EcbEncrypt: br_aes_ct64_ctr_run(&ctr, chain, 0, out, n); break;
        case EcbDecrypt:
        case CbcDecrypt: br_aes_ct64_cbcdec_run(&cbcDec, chain, out, n); break;
        case CbcEncrypt: br_aes_ct64_cbcenc_run(&cbcEnc, chain, out, n); break;
        default: abort();
        }
    }
    // Whether the output is ours: the stand-ins compute something else.
    static bool same(Op op) { return op == CbcEncrypt || op == CbcDecrypt; }
};

// The stand-ins' outputs, built from our ECB (checked against the peers
// itself): CTR is the encryption of the 12-byte vector and a 32-bit
// big-endian counter from 0, XORed in; CBC decryption is ECB decryption
// with the previous ciphertext XORed in.
Bytes standIn(Op op, const Bytes &key, const Bytes &iv, const Bytes &in) {
    Rijndael c;
    const Rijndael::KeyLength length = key.size() == 16   ? Rijndael::Key128
                                       : key.size() == 24 ? Rijndael::Key192
                                                          : Rijndael::Key256;
    Bytes out(in.size());
    if (op == EcbEncrypt) {
        c.init(Rijndael::ECB, Rijndael::Encrypt, key.data(), length);
        Bytes counters(in.size());
        for (size_t i = 0; i < in.size() / 16; ++i) {
            memcpy(&counters[16 * i], iv.data(), 12);
            for (int b = 0; b < 4; ++b) counters[16 * i + 12 + b] = uint8_t(i >> (24 - 8 * b));
        }
        c.blockEncrypt(counters.data(), int(8 * in.size()), out.data());
        for (size_t i = 0; i < in.size(); ++i) out[i] ^= in[i];
    } else {
        c.init(Rijndael::CBC, Rijndael::Decrypt, key.data(), length, iv.data());
        c.blockDecrypt(in.data(), int(8 * in.size()), out.data());
    }
    return out;
}

const EVP_CIPHER *evpCipher(Op op, size_t keyBytes) {
    const size_t k = keyBytes;
    switch (op) {
    case EcbEncrypt:
    case EcbDecrypt:
        return k == 16 ? EVP_aes_128_ecb() : k == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
    case CbcEncrypt:
    case CbcDecrypt:
        return k == 16 ? EVP_aes_128_cbc() : k == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
    case Cfb1Encrypt:
    case Cfb1Decrypt:
        return k == 16 ? EVP_aes_128_cfb1() : k == 24 ? EVP_aes_192_cfb1() : EVP_aes_256_cfb1();
    }
    return nullptr;
}

struct OpenSsl : Runner {
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    Bytes iv;
    OpenSsl(Op op, const Bytes &key, const Bytes &vector) : iv(vector) {
        if (!EVP_CipherInit_ex(ctx, evpCipher(op, key.size()), nullptr, key.data(), iv.data(),
                               encrypting(op) ? 1 : 0))
            abort();
        EVP_CIPHER_CTX_set_padding(ctx, 0);
    }
    ~OpenSsl() override { EVP_CIPHER_CTX_free(ctx); }
    void run(const unsigned char *in, size_t n, unsigned char *out) override {
        // Back to the vector for every message, as ours starts from it.
        int length = 0;
        if (!EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, iv.data(), -1) ||
            !EVP_CipherUpdate(ctx, out, &length, in, int(n)) || size_t(length) != n)
            abort();
    }
};

// nettle's per-size contexts and functions.
struct Nettle128 {
    using Ctx = aes128_ctx;
    static void setEnc(Ctx *c, const uint8_t *k) { aes128_set_encrypt_key(c, k); }
    static void setDec(Ctx *c, const uint8_t *k) { aes128_set_decrypt_key(c, k); }
    static void enc(const void *c, size_t n, uint8_t *d, const uint8_t *s) {
        aes128_encrypt(static_cast<const Ctx *>(c), n, d, s);
    }
    static void dec(const void *c, size_t n, uint8_t *d, const uint8_t *s) {
        aes128_decrypt(static_cast<const Ctx *>(c), n, d, s);
    }
};
struct Nettle192 {
    using Ctx = aes192_ctx;
    static void setEnc(Ctx *c, const uint8_t *k) { aes192_set_encrypt_key(c, k); }
    static void setDec(Ctx *c, const uint8_t *k) { aes192_set_decrypt_key(c, k); }
    static void enc(const void *c, size_t n, uint8_t *d, const uint8_t *s) {
        aes192_encrypt(static_cast<const Ctx *>(c), n, d, s);
    }
    static void dec(const void *c, size_t n, uint8_t *d, const uint8_t *s) {
        aes192_decrypt(static_cast<const Ctx *>(c), n, d, s);
    }
};
struct Nettle256 {
    using Ctx = aes256_ctx;
    static void setEnc(Ctx *c, const uint8_t *k) { aes256_set_encrypt_key(c, k); }
    static void setDec(Ctx *c, const uint8_t *k) { aes256_set_decrypt_key(c, k); }
    static void enc(const void *c, size_t n, uint8_t *d, const uint8_t *s) {
        aes256_encrypt(static_cast<const Ctx *>(c), n, d, s);
    }
    static void dec(const void *c, size_t n, uint8_t *d, const uint8_t *s) {
        aes256_decrypt(static_cast<const Ctx *>(c), n, d, s);
    }
};

template <class N>
struct Nettle : Runner {
    typename N::Ctx ctx;
    Op op;
    Bytes iv;
    Nettle(Op o, const Bytes &key, const Bytes &vector) : op(o), iv(vector) {
        if (encrypting(op))
            N::setEnc(&ctx, key.data());
        else
            N::setDec(&ctx, key.data());
    }
    void run(const unsigned char *in, size_t n, unsigned char *out) override {
        uint8_t chain[16];
        switch (op) {
        case EcbEncrypt: N::enc(&ctx, n, out, in); break;
        case EcbDecrypt: N::dec(&ctx, n, out, in); break;
        case CbcEncrypt:
            memcpy(chain, iv.data(), 16);
            cbc_encrypt(&ctx, N::enc, 16, chain, n, out, in);
            break;
        case CbcDecrypt:
            memcpy(chain, iv.data(), 16);
            cbc_decrypt(&ctx, N::dec, 16, chain, n, out, in);
            break;
        default: abort();
        }
    }
};

std::unique_ptr<Runner> makeNettle(Op op, const Bytes &key, const Bytes &iv) {
    switch (key.size()) {
    case 16: return std::make_unique<Nettle<Nettle128>>(op, key, iv);
    case 24: return std::make_unique<Nettle<Nettle192>>(op, key, iv);
    default: return std::make_unique<Nettle<Nettle256>>(op, key, iv);
    }
}

// Registers one bulk case: its agreement check and one benchmark per contender.
void bulkCase(Op op, size_t keyBytes, bool withNettle, size_t bytes = 4096) {
    const std::string group =
        "aes" + std::to_string(keyBytes * 8) + "-" + opName(op) + "/" + std::to_string(bytes);
    const Bytes key = randomBytes(keyBytes, 100 + keyBytes);
    const Bytes iv = randomBytes(16, 7);
    auto input = std::make_shared<Bytes>(randomBytes(bytes, 200 + keyBytes + op));

    std::vector<std::pair<std::string, std::shared_ptr<Runner>>> contenders;
    contenders.emplace_back("ours", std::make_shared<Ours>(op, key, iv));
    for (const auto &b : backendContenders())
        contenders.emplace_back(b.first, std::make_shared<Backend>(*b.second, op, key, iv));
    contenders.emplace_back("openssl", std::make_shared<OpenSsl>(op, key, iv));
    if (withNettle) contenders.emplace_back("nettle", makeNettle(op, key, iv));
    // BearSSL has neither CFB1 nor ECB decryption.
    const bool bear = op <= CbcDecrypt;
    if (bear) contenders.emplace_back("bearssl-ct64", std::make_shared<BearSsl>(op, key, iv));

    checks().push_back({group, [group, contenders, input, bytes, op, key, iv, bear] {
                            Bytes want(bytes), got(bytes);
                            contenders[0].second->run(input->data(), bytes, want.data());
                            for (size_t i = 1; i < contenders.size(); ++i) {
                                contenders[i].second->run(input->data(), bytes, got.data());
                                const bool standIn =
                                    contenders[i].first == "bearssl-ct64" && !BearSsl::same(op);
                                std::string why = compare(
                                    group, contenders[i].first,
                                    standIn ? bench::standIn(op, key, iv, *input) : want, got);
                                if (!why.empty()) return why;
                            }
                            // In place gives the same bytes as out of place.
                            Bytes inPlace = *input;
                            contenders[0].second->run(inPlace.data(), bytes, inPlace.data());
                            return compare(group, "ours in place", want, inPlace);
                        }});
    for (const auto &c : contenders) {
        std::shared_ptr<Runner> runner = c.second;
        add(group, c.first, bytes, [runner, input, bytes](benchmark::State &state) {
            Bytes out(bytes);
            for (auto _ : state) {
                runner->run(input->data(), bytes, out.data());
                benchmark::ClobberMemory();
            }
        });
    }
}

// One block, 16 bytes, through each library's single-block call.
void oneBlockCase() {
    const std::string group = "aes128-one-block/16";
    const Bytes key = randomBytes(16, 300);
    auto input = std::make_shared<Bytes>(randomBytes(16, 301));

    auto ours = std::make_shared<Rijndael>();
    ours->init(Rijndael::ECB, Rijndael::Encrypt, key.data(), Rijndael::Key128);
    auto ossl = std::make_shared<AES_KEY>();
    AES_set_encrypt_key(key.data(), 128, ossl.get());
    auto nettle = std::make_shared<aes128_ctx>();
    aes128_set_encrypt_key(nettle.get(), key.data());

    checks().push_back({group, [group, ours, ossl, nettle, input] {
                            Bytes want(16), got(16);
                            ours->blockEncrypt(input->data(), 128, want.data());
                            AES_encrypt(input->data(), got.data(), ossl.get());
                            std::string why = compare(group, "openssl", want, got);
                            if (!why.empty()) return why;
                            aes128_encrypt(nettle.get(), 16, got.data(), input->data());
                            return compare(group, "nettle", want, got);
                        }});
    add(group, "ours", 16, [ours, input](benchmark::State &state) {
        unsigned char out[16];
        for (auto _ : state) {
            ours->blockEncrypt(input->data(), 128, out);
            benchmark::DoNotOptimize(out);
        }
    });
    // One block through a backend's loops, as the class would run it, and
    // through aes_ct64's CBC encryption from a zero vector, which is ECB.
    const std::pair<std::string, std::shared_ptr<Runner>> runners[] = {
        {"ours-tables",
         std::make_shared<Backend>(kRijndaelTablesBackend, EcbEncrypt, key, Bytes(16))},
        {"ours-bitsliced",
         std::make_shared<Backend>(kRijndaelBitslicedBackend, EcbEncrypt, key, Bytes(16))},
        {"bearssl-ct64", std::make_shared<BearSsl>(CbcEncrypt, key, Bytes(16))}};
    for (const auto &r : runners) {
        std::shared_ptr<Runner> runner = r.second;
        checks().push_back({group + " " + r.first, [group, ours, r, input] {
                                Bytes want(16), got(16);
                                ours->blockEncrypt(input->data(), 128, want.data());
                                r.second->run(input->data(), 16, got.data());
                                return compare(group, r.first, want, got);
                            }});
        add(group, r.first, 16, [runner, input](benchmark::State &state) {
            unsigned char out[16];
            for (auto _ : state) {
                runner->run(input->data(), 16, out);
                benchmark::DoNotOptimize(out);
            }
        });
    }
    add(group, "openssl", 16, [ossl, input](benchmark::State &state) {
        unsigned char out[16];
        for (auto _ : state) {
            AES_encrypt(input->data(), out, ossl.get());
            benchmark::DoNotOptimize(out);
        }
    });
    add(group, "nettle", 16, [nettle, input](benchmark::State &state) {
        unsigned char out[16];
        for (auto _ : state) {
            aes128_encrypt(nettle.get(), 16, out, input->data());
            benchmark::DoNotOptimize(out);
        }
    });
}

// Key set-up for decryption, checked by decrypting one block with each.
void keySetupCase() {
    const std::string group = "aes128-decrypt-key-setup/16";
    auto key = std::make_shared<Bytes>(randomBytes(16, 400));
    auto iv = std::make_shared<Bytes>(randomBytes(16, 401));
    auto block = std::make_shared<Bytes>(randomBytes(16, 402));

    checks().push_back({group, [group, key, iv, block] {
                            Rijndael ours;
                            ours.init(Rijndael::ECB, Rijndael::Decrypt, key->data(),
                                      Rijndael::Key128, iv->data());
                            AES_KEY ossl;
                            AES_set_decrypt_key(key->data(), 128, &ossl);
                            aes128_ctx nettle;
                            aes128_set_decrypt_key(&nettle, key->data());
                            Bytes want(16), got(16);
                            ours.blockDecrypt(block->data(), 128, want.data());
                            AES_decrypt(block->data(), got.data(), &ossl);
                            std::string why = compare(group, "openssl", want, got);
                            if (!why.empty()) return why;
                            aes128_decrypt(&nettle, 16, got.data(), block->data());
                            return compare(group, "nettle", want, got);
                        }});
    add(group, "ours", 0, [key, iv](benchmark::State &state) {
        Rijndael cipher;
        for (auto _ : state) {
            cipher.init(Rijndael::CBC, Rijndael::Decrypt, key->data(), Rijndael::Key128,
                        iv->data());
            benchmark::DoNotOptimize(&cipher);
            benchmark::ClobberMemory();
        }
    });
    add(group, "ours-tables", 0, [key](benchmark::State &state) {
        unsigned char rk[15 * 16];
        for (auto _ : state) {
            kRijndaelTablesBackend.expandKey(key->data(), 10, rk);
            kRijndaelTablesBackend.invertKey(10, rk);
            benchmark::DoNotOptimize(rk);
            benchmark::ClobberMemory();
        }
    });
    add(group, "openssl", 0, [key](benchmark::State &state) {
        AES_KEY ossl;
        for (auto _ : state) {
            AES_set_decrypt_key(key->data(), 128, &ossl);
            benchmark::DoNotOptimize(&ossl);
            benchmark::ClobberMemory();
        }
    });
    add(group, "nettle", 0, [key](benchmark::State &state) {
        aes128_ctx nettle;
        for (auto _ : state) {
            aes128_set_decrypt_key(&nettle, key->data());
            benchmark::DoNotOptimize(&nettle);
            benchmark::ClobberMemory();
        }
    });
}

}  // namespace

// The core's clock, for cycles per byte where no cycle counter can be read
// (virtual machines): a chain of dependent additions, one cycle each on
// every x86-64 core, so the time of one is the time of a cycle.
void clockCase() {
#if defined(__x86_64__)
    add("clock/1000", "add-chain", 0, [](benchmark::State &state) {
        for (auto _ : state) {
            uint64_t x = 0;
            for (int i = 0; i < 100; ++i)
                __asm__ volatile(".rept 10\n\taddq $1, %0\n\t.endr" : "+r"(x));
            benchmark::DoNotOptimize(x);
        }
    });
#endif
}

void registerRijndael() {
    clockCase();
    for (size_t keyBytes : {16, 24, 32})
        for (Op op : {EcbEncrypt, EcbDecrypt, CbcDecrypt, CbcEncrypt}) bulkCase(op, keyBytes, true);
    for (Op op : {EcbEncrypt, EcbDecrypt, CbcDecrypt, CbcEncrypt}) bulkCase(op, 16, true, 1 << 20);
    // One block through each library's bulk call, EVP's included.
    bulkCase(EcbEncrypt, 16, true, 16);
    // nettle and BearSSL have no CFB1.
    bulkCase(Cfb1Encrypt, 16, false);
    bulkCase(Cfb1Decrypt, 16, false);
    oneBlockCase();
    keySetupCase();
}

}  // namespace bench
