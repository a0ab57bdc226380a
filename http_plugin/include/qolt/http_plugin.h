/* qolt_http_plugin: the HTTP authentication plugin of the Pelidor client.
 *
 * The client loads qolt_http_plugin.so.2 at run time and looks these
 * C-linkage functions up by name (dlsym).  All of them may also be linked
 * directly.  The plugin also exports the AES class Rijndael (qolt/rijndael.h).  Nothing here
 * reports an error: each function degrades to a well-defined result on bad input.
 *
 * Ownership: every text returned by this plugin is a new zero-filled buffer
 * from the GLib allocator (g_malloc0).  The caller owns it from the moment it
 * is returned and MUST release it with g_free().  Texts passed in are only
 * read; the plugin keeps no pointer to them after the call returns.
 */
#ifndef QOLT_HTTP_PLUGIN_H
#define QOLT_HTTP_PLUGIN_H

#include "qolt/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Authentication digest of two texts.
 *
 * The two texts are placed between the plugin's fixed salt prefix and suffix,
 * the whole salted text is folded to upper case (ASCII a-z only, no locale;
 * bytes 0x80-0xFF are left alone) and its MD5 digest (RFC 1321) is returned
 * as 32 lower-case hexadecimal digits followed by a zero byte, in a 33-byte
 * buffer.  The digits are lower case as part of the interface.
 *
 * first:  NUL-terminated text; NULL counts as the empty text.
 * second: address of a text pointer; only *second is read, nothing is
 *         written through it.  A NULL second or NULL *second counts as the
 *         empty text.
 *
 * Returns: never NULL; free with g_free().
 * Thread safety: keeps no state; may be called from several threads at once.
 */
QOLT_API char *qolt_plugin_auth(const char *first, char **second);

/* Key set-up for credential decoding.
 *
 * Keys the plugin's one process-wide AES-128-CBC cipher for decryption.  The
 * key is the first 16 bytes of the plugin's 3-letter key prefix followed by
 * keyText, zero-filled when shorter; so only the first 13 bytes of keyText
 * matter.  The vector is fixed.  May be called again at any time to re-key.
 *
 * keyText: NUL-terminated text, only read; NULL counts as the empty text.
 *
 * Thread safety: rewrites the shared cipher.  It MUST NOT overlap any other
 * call of qolt_plugin_auth_decode_init or qolt_plugin_auth_decode.
 */
QOLT_API void qolt_plugin_auth_decode_init(const char *keyText);

/* Decodes a credential: base64 text (RFC 4648, white space allowed) of
 * AES-128-CBC ciphertext, decrypted with the key of the last key set-up.
 *
 * encoded: NUL-terminated base64 text, only read.
 *
 * Returns: NULL when encoded is NULL, empty, or decodes to no bytes.
 * Otherwise a new zero-filled buffer of (decoded length + 1) bytes holding
 * the decrypted bytes, so always terminated; free it with g_free().  No
 * padding is removed: a plaintext zero-padded to whole blocks comes back as
 * the text itself, any other padding stays at its end.  Input that cannot be
 * decrypted (malformed base64, a length that is not whole 16-byte blocks, no
 * key set-up yet) gives the empty text "", never NULL.  A wrong key or a
 * damaged ciphertext is not detected: the result is garbled.
 *
 * Thread safety: only reads the shared cipher; decodes may run in several
 * threads at once, but never at the same time as a key set-up.
 */
QOLT_API char *qolt_plugin_auth_decode(const char *encoded);

#ifdef __cplusplus
}
#endif

#endif /* QOLT_HTTP_PLUGIN_H */
