// Credentials as the QOLT server makes them, by independent code: OpenSSL's
// AES-128-CBC with the plugin's key derivation and vector, GLib's base64.
// Include after test_support.h, with the plugin's private headers on the path.
#ifndef QOLT_CREDENTIAL_ORACLE_H
#define QOLT_CREDENTIAL_ORACLE_H

#include <glib.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

#include "credential_key.h"
#include "test_support.h"

// The key: the first 16 bytes of the prefix and the key text, zero-filled.
inline Bytes credentialKey(const std::string &keyText) {
    std::string k = QOLT_KEY_PREFIX + keyText;
    Bytes key(16, 0);
    memcpy(key.data(), k.data(), k.size() < 16 ? k.size() : 16);
    return key;
}

// AES-128-CBC by OpenSSL with the plugin's vector; pkcs7 selects OpenSSL's
// padding, otherwise the plaintext must already be whole blocks.
inline Bytes opensslEncrypt(const std::string &keyText, const Bytes &plain, bool pkcs7) {
    Bytes key = credentialKey(keyText);
    Bytes out(plain.size() + 16);
    int len = 0, tail = 0;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    EXPECT_EQ(1, EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(),
                                    reinterpret_cast<const unsigned char *>(QOLT_CREDENTIAL_IV)));
    EVP_CIPHER_CTX_set_padding(ctx, pkcs7 ? 1 : 0);
    EXPECT_EQ(1, EVP_EncryptUpdate(ctx, out.data(), &len, plain.data(), int(plain.size())));
    EXPECT_EQ(1, EVP_EncryptFinal_ex(ctx, out.data() + len, &tail));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(size_t(len + tail));
    return out;
}

inline std::string base64(const Bytes &b) {
    gchar *text = g_base64_encode(b.data(), b.size());
    std::string s(text);
    g_free(text);
    return s;
}

inline Bytes zeroPadded(const std::string &text) {
    Bytes b(text.begin(), text.end());
    b.resize((b.size() + 15) / 16 * 16, 0);
    return b;
}

// The base64 credential of a text zero-padded to whole blocks.
inline std::string credential(const std::string &keyText, const std::string &text) {
    return base64(opensslEncrypt(keyText, zeroPadded(text), false));
}

#endif  // QOLT_CREDENTIAL_ORACLE_H
