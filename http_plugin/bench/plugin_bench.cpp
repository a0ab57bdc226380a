// The plugin's exports per call against the same work composed from the
// libraries a user would pick: qolt_plugin_auth against g_strdup_printf,
// ASCII upper-casing, OpenSSL's MD5() and hex by a digit table (and, for
// long texts, against OpenSSL's MD5() alone);
// qolt_plugin_auth_decode against g_base64_decode and OpenSSL EVP
// AES-128-CBC.
#include <glib.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "protocol.h"
#include "qolt/http_plugin.h"

namespace bench {
namespace {

// The composition's common part: g_strdup_printf, ASCII upper-casing and
// OpenSSL's MD5.
void composedDigest(const char *first, const char *second, unsigned char digest[16]) {
    char *salted = g_strdup_printf(QOLT_SALT_PREFIX "%s%s" QOLT_SALT_SUFFIX, first, second);
    size_t n = strlen(salted);
    for (size_t i = 0; i < n; ++i)
        if (salted[i] >= 'a' && salted[i] <= 'z') salted[i] = char(salted[i] - 0x20);
    MD5(reinterpret_cast<const unsigned char *>(salted), n, digest);
    g_free(salted);
}

// The composition, with a digit table for the hex.
char *composedAuth(const char *first, const char *second) {
    static const char kDigits[] = "0123456789abcdef";
    unsigned char digest[16];
    composedDigest(first, second, digest);
    char *out = static_cast<char *>(g_malloc0(33));
    for (int i = 0; i < 16; ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 15];
    }
    return out;
}

// The same with one snprintf("%02x") per digest byte, to show what the digit
// table saves.
char *composedAuthSnprintf(const char *first, const char *second) {
    unsigned char digest[16];
    composedDigest(first, second, digest);
    char *out = static_cast<char *>(g_malloc0(33));
    for (int i = 0; i < 16; ++i) snprintf(out + 2 * i, 3, "%02x", digest[i]);
    return out;
}

char *oursAuth(const char *first, const char *second) {
    char *s = const_cast<char *>(second);
    return qolt_plugin_auth(first, &s);
}

using AuthFn = std::function<char *(const char *, const char *)>;

// Texts of textLength characters each.  Long texts also race OpenSSL's MD5()
// alone over the salted text, prepared beforehand: the digest's own speed.
void authCase(size_t textLength) {
    const std::string group = "auth/" + std::to_string(textLength);
    // Mixed-case letters and digits, as user names and passwords are.
    auto texts = std::make_shared<std::pair<std::string, std::string>>();
    const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    Bytes r = randomBytes(2 * textLength, textLength);
    for (size_t i = 0; i < textLength; ++i) {
        texts->first += kChars[r[i] % 62];
        texts->second += kChars[r[textLength + i] % 62];
    }
    std::vector<std::pair<const char *, AuthFn>> contenders = {
        {"ours", oursAuth},
        {"composition", composedAuth},
        {"composition-snprintf", composedAuthSnprintf},
    };
    const bool large = textLength >= 4096;
    const size_t saltedBytes = 2 * textLength + sizeof(QOLT_SALT_PREFIX QOLT_SALT_SUFFIX) - 1;
    if (large) {
        contenders.pop_back();
        auto salted = std::make_shared<std::string>(QOLT_SALT_PREFIX + texts->first +
                                                    texts->second + QOLT_SALT_SUFFIX);
        for (char &c : *salted)
            if (c >= 'a' && c <= 'z') c = char(c - 0x20);
        contenders.push_back({"openssl-md5", [salted](const char *, const char *) {
                                  static const char kDigits[] = "0123456789abcdef";
                                  unsigned char digest[16];
                                  MD5(reinterpret_cast<const unsigned char *>(salted->data()),
                                      salted->size(), digest);
                                  char *out = static_cast<char *>(g_malloc0(33));
                                  for (int i = 0; i < 16; ++i) {
                                      out[2 * i] = kDigits[digest[i] >> 4];
                                      out[2 * i + 1] = kDigits[digest[i] & 15];
                                  }
                                  return out;
                              }});
    }

    checks().push_back({group, [group, texts, contenders] {
                            char *want = oursAuth(texts->first.c_str(), texts->second.c_str());
                            Bytes ours(want, want + 33);
                            g_free(want);
                            for (const auto &c : contenders) {
                                char *got = c.second(texts->first.c_str(), texts->second.c_str());
                                Bytes theirs(got, got + 33);
                                g_free(got);
                                std::string why = compare(group, c.first, ours, theirs);
                                if (!why.empty()) return why;
                            }
                            return std::string();
                        }});
    for (const auto &c : contenders) {
        AuthFn fn = c.second;
        add(group, c.first, large ? saltedBytes : 0, [fn, texts](benchmark::State &state) {
            for (auto _ : state) {
                char *out = fn(texts->first.c_str(), texts->second.c_str());
                benchmark::DoNotOptimize(out);
                g_free(out);
            }
        });
    }
}

const char kKeyText[] = "bench-key";

// The composition keeps an EVP context keyed once, as the plugin keeps its
// cipher keyed between calls.
struct ComposedDecoder {
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    ComposedDecoder() {
        const auto key = serverCredentialKey(kKeyText);
        EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), credentialVector());
        EVP_CIPHER_CTX_set_padding(ctx, 0);
    }
    ~ComposedDecoder() { EVP_CIPHER_CTX_free(ctx); }
    char *decode(const char *encoded) {
        gsize length = 0;
        guchar *data = g_base64_decode(encoded, &length);
        if (length == 0) {
            g_free(data);
            return nullptr;
        }
        char *out = static_cast<char *>(g_malloc0(length + 1));
        int written = 0;
        EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, credentialVector());
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char *>(out), &written, data, int(length));
        g_free(data);
        return out;
    }
};

// A 20-character text, zero-padded to two blocks and encrypted by OpenSSL:
// 32 bytes, 44 characters of base64.
std::string makeCredential() {
    const auto key = serverCredentialKey(kKeyText);
    unsigned char plain[32] = {};
    memcpy(plain, "member-password-2026", 20);
    Bytes cipher(32);
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), credentialVector());
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, cipher.data(), &n, plain, 32);
    EVP_CIPHER_CTX_free(ctx);
    return base64Encode(cipher);
}

void decodeCase() {
    const std::string group = "auth-decode/44";
    qolt_plugin_auth_decode_init(kKeyText);
    auto text = std::make_shared<std::string>(makeCredential());
    auto composed = std::make_shared<ComposedDecoder>();

    checks().push_back({group, [group, text, composed] {
                            if (text->size() != 44) return group + ": credential not 44 characters";
                            char *a = qolt_plugin_auth_decode(text->c_str());
                            char *b = composed->decode(text->c_str());
                            Bytes ours(a, a + 33), theirs(b, b + 33);
                            g_free(a);
                            g_free(b);
                            if (memcmp(ours.data(), "member-password-2026", 21) != 0)
                                return group + ": ours does not give the plain text back";
                            return compare(group, "composition", ours, theirs);
                        }});
    add(group, "ours", 0, [text](benchmark::State &state) {
        for (auto _ : state) {
            char *out = qolt_plugin_auth_decode(text->c_str());
            benchmark::DoNotOptimize(out);
            g_free(out);
        }
    });
    add(group, "composition", 0, [text, composed](benchmark::State &state) {
        for (auto _ : state) {
            char *out = composed->decode(text->c_str());
            benchmark::DoNotOptimize(out);
            g_free(out);
        }
    });
    add("auth-decode-init/9", "ours", 0, [](benchmark::State &state) {
        for (auto _ : state) qolt_plugin_auth_decode_init(kKeyText);
    });
}

}  // namespace

void registerPlugin() {
    authCase(10);
    authCase(20);
    authCase(512 * 1024);
    decodeCase();
}

}  // namespace bench
