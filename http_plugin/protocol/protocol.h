// What the plugin shares with the QOLT server, in one place: the salt of the
// authentication digest, and the key and vector of the credentials.  The
// plugin derives its key from here when it decodes; the server's side (the
// tests' oracle, the benchmarks, the fuzz targets and the demo client, which
// make credentials) derives the same key from here when it encrypts.  Both
// sides must agree byte for byte, so the rule is written once.
#ifndef QOLT_PROTOCOL_H
#define QOLT_PROTOCOL_H

#include <array>
#include <cstddef>
#include <cstring>

// --- The digest's salt -----------------------------------------------------
// A prefix of a three-letter service tag and a version tag (v, digit, full
// stop, digit), and a suffix of nine lower-case letters.  Only their
// upper-cased form enters the digest.  Macros, so that they join other
// literals ("%s" formats, sizeof).
#define QOLT_SALT_PREFIX "QLTv2.1"
#define QOLT_SALT_SUFFIX "pelidorxq"

static_assert(sizeof(QOLT_SALT_PREFIX) - 1 == 7, "salt prefix is 7 characters");
static_assert(sizeof(QOLT_SALT_SUFFIX) - 1 == 9, "salt suffix is 9 characters");

// --- The credentials' key and vector -----------------------------------------
// AES-128-CBC.  The key is the first 16 bytes of the key prefix followed by
// the client's key text, zero-filled; the prefix's three upper-case letters
// take 3 of the 16 bytes, so at most the first 13 bytes of the key text count.
#define QOLT_KEY_PREFIX "PLQ"

static_assert(sizeof(QOLT_KEY_PREFIX) - 1 == 3, "key prefix is 3 characters");

// 16 characters; the terminator is not part of the vector.
#define QOLT_CREDENTIAL_IV "p0tzqe7rmvh3wjc8"

static_assert(sizeof(QOLT_CREDENTIAL_IV) - 1 == 16, "vector is one AES block");

constexpr size_t kCredentialKeyBytes = 16;

// The credential key of a key text, written to key[0..15]; a null key text
// counts as "".  Only the prefix and at most 13 bytes of the text are read,
// so an enormous key text costs nothing and gives the same key.  The caller
// owns the buffer, so the plugin keeps its key where it can wipe it.
inline void credentialKey(const char *keyText, unsigned char *key) {
    const size_t prefix = sizeof(QOLT_KEY_PREFIX) - 1;
    memcpy(key, QOLT_KEY_PREFIX, prefix);
    memset(key + prefix, 0, kCredentialKeyBytes - prefix);
    if (keyText) memcpy(key + prefix, keyText, strnlen(keyText, kCredentialKeyBytes - prefix));
}

// The vector's 16 bytes, as the cipher takes them.
inline const unsigned char *credentialVector() {
    return reinterpret_cast<const unsigned char *>(QOLT_CREDENTIAL_IV);
}

// The server's side: the same key as a value, for programs that encrypt
// credentials and need no wiping.
inline std::array<unsigned char, kCredentialKeyBytes> serverCredentialKey(const char *keyText) {
    std::array<unsigned char, kCredentialKeyBytes> key;
    credentialKey(keyText, key.data());
    return key;
}

#endif  // QOLT_PROTOCOL_H
