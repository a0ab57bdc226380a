// The authentication salt, shared with the QOLT server: a prefix of a
// three-letter service tag and a version tag (v, digit, full stop, digit),
// and a suffix of nine lower-case letters.  The server must use the same
// values; only their upper-cased form enters the digest.
#ifndef QOLT_SALT_H
#define QOLT_SALT_H

#define QOLT_SALT_PREFIX "QLTv2.1"
#define QOLT_SALT_SUFFIX "pelidorxq"

static_assert(sizeof(QOLT_SALT_PREFIX) - 1 == 7, "salt prefix is 7 characters");
static_assert(sizeof(QOLT_SALT_SUFFIX) - 1 == 9, "salt suffix is 9 characters");

#endif  // QOLT_SALT_H
