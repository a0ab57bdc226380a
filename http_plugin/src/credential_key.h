// The credential key and vector, shared with the QOLT server that makes the
// credentials: AES-128-CBC, key = the first 16 bytes of KEY_PREFIX followed by
// the client's key text, zero-filled; the vector is the 16 ASCII bytes below.
#ifndef QOLT_CREDENTIAL_KEY_H
#define QOLT_CREDENTIAL_KEY_H

// Three upper-case letters; they take 3 of the 16 key bytes, so at most the
// first 13 bytes of the key text reach the key.
#define QOLT_KEY_PREFIX "PLQ"

static_assert(sizeof(QOLT_KEY_PREFIX) - 1 == 3, "key prefix is 3 characters");

// 16 characters; the terminator is not part of the vector.
#define QOLT_CREDENTIAL_IV "p0tzqe7rmvh3wjc8"

static_assert(sizeof(QOLT_CREDENTIAL_IV) - 1 == 16, "vector is one AES block");

#endif  // QOLT_CREDENTIAL_KEY_H
