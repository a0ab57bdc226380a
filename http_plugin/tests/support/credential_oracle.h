// Credentials as the QOLT server makes them, by independent code: OpenSSL's
// AES-128-CBC with the server's key derivation and vector, GLib's base64.
#ifndef QOLT_CREDENTIAL_ORACLE_H
#define QOLT_CREDENTIAL_ORACLE_H

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>

#include "protocol.h"
#include "test_support.h"

// AES-128-CBC by OpenSSL with the plugin's vector; pkcs7 selects OpenSSL's
// padding, otherwise the plaintext must already be whole blocks.
inline Bytes opensslEncrypt(const std::string &keyText, const Bytes &plain, bool pkcs7) {
    const auto key = serverCredentialKey(keyText.c_str());
    Bytes out(plain.size() + 16);
    int len = 0, tail = 0;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    EXPECT_EQ(1,
              EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), credentialVector()));
    EVP_CIPHER_CTX_set_padding(ctx, pkcs7 ? 1 : 0);
    EXPECT_EQ(1, EVP_EncryptUpdate(ctx, out.data(), &len, plain.data(), int(plain.size())));
    EXPECT_EQ(1, EVP_EncryptFinal_ex(ctx, out.data() + len, &tail));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(size_t(len + tail));
    return out;
}

inline Bytes zeroPadded(const std::string &text) {
    Bytes b(text.begin(), text.end());
    b.resize((b.size() + 15) / 16 * 16, 0);
    return b;
}

// The base64 credential of a text zero-padded to whole blocks.
inline std::string credential(const std::string &keyText, const std::string &text) {
    return base64Encode(opensslEncrypt(keyText, zeroPadded(text), false));
}

#endif  // QOLT_CREDENTIAL_ORACLE_H
