// Strict base64 decoding (RFC 4648 section 4: the standard alphabet with "="
// padding), internal to the plugin.
#ifndef QOLT_BASE64_H
#define QOLT_BASE64_H

#include <cstdint>

// Decodes the NUL-terminated text into target and returns the number of
// decoded bytes, which stand in target[0] to target[result - 1], or -1.
//
// The decoder is strict.  White space (isspace) may stand anywhere and is
// skipped.  The call fails on any other byte outside the alphabet (bytes 0x80
// and above, the URL-safe "-" and "_"), on a group left incomplete without
// padding, on a pad as the first or second character of a group or after a
// complete group, on anything but white space after the padding, and, when
// target is given, on leftover bits that are not zero in the last character
// before the padding ("QR==" fails where "QQ==" gives one byte).
//
// Target size: every write is tested against targetSize; no byte at or beyond
// target[targetSize] is ever written.  Text that ends with a complete group
// fits exactly: "QUJD" decodes into 3 bytes.  A padded last group needs one
// byte more than its data, because the group's leftover bits are parked at the
// byte after the data and checked there: "QUI=" (2 bytes of data) needs a
// target of 3 bytes, "QQ==" (1 byte) needs 2, and the byte at the returned
// index then holds zero.  strlen(text) + 1 bytes are always enough for any
// text that is otherwise valid.
//
// The previous contents of target do not matter and it need not be cleared.
// On failure the bytes already written stay there.
//
// Counting mode: with target null, targetSize is ignored and the call returns
// the number of bytes the text decodes to, under the same rules except the
// leftover-bits check (it needs the stored bits): "QR==" counts 1.
//
// A null text is the empty text and gives 0.  Text that would decode to more
// than INT_MAX bytes gives -1.  No state is kept between calls; calls on
// different targets may run in parallel.
int base64Decode(const char *text, unsigned char *target, uint64_t targetSize);

#endif  // QOLT_BASE64_H
