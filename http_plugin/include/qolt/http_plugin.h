/* qolt_http_plugin: the HTTP authentication plugin of the Pelidor client.
 *
 * The client loads qolt_http_plugin.so.2 at run time and looks these
 * C-linkage functions up by name (dlsym).  All of them may also be linked
 * directly.  Nothing here reports an error: each function degrades to a
 * well-defined result on bad input.
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

#ifdef __cplusplus
}
#endif

#endif /* QOLT_HTTP_PLUGIN_H */
