// The credential key as the QOLT server derives it, written once for every
// program that makes credentials the server's way: the tests' oracle, the
// benchmarks, the fuzz target and the demo client.  The plugin derives its
// key in its own code; this copy stays independent of it.
#ifndef QOLT_SERVER_KEY_H
#define QOLT_SERVER_KEY_H

#include <array>
#include <cstring>

#include "credential_key.h"

// The first 16 bytes of the key prefix followed by the key text, zero-filled:
// at most 13 bytes of the text count.  A null key text counts as "".
inline std::array<unsigned char, 16> serverCredentialKey(const char *keyText) {
    std::array<unsigned char, 16> key{};
    const size_t prefix = sizeof(QOLT_KEY_PREFIX) - 1;
    memcpy(key.data(), QOLT_KEY_PREFIX, prefix);
    for (size_t i = 0; keyText && keyText[i] && prefix + i < key.size(); ++i)
        key[prefix + i] = static_cast<unsigned char>(keyText[i]);
    return key;
}

#endif  // QOLT_SERVER_KEY_H
