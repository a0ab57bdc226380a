// qolt_plugin_auth_decode_init and qolt_plugin_auth_decode: base64 text of
// AES-128-CBC ciphertext back to plain text, with the plugin's one cipher.
#include <glib.h>

#include <cstring>

#include "base64.h"
#include "protocol.h"
#include "qolt/http_plugin.h"
#include "qolt/rijndael.h"
#include "wipe.h"

namespace {

// Constructed Unkeyed when the plugin is loaded, destroyed at unload or exit.
// Decodes only read it; a key set-up rewrites it (see the header's rules).
Rijndael sharedCipher;

}  // namespace

extern "C" void qolt_plugin_auth_decode_init(const char *keyText) {
    unsigned char *key = static_cast<unsigned char *>(g_malloc0(kCredentialKeyBytes));
    credentialKey(keyText, key);
    sharedCipher.init(Rijndael::CBC, Rijndael::Decrypt, key, Rijndael::Key128, credentialVector());

    qoltWipe(key, kCredentialKeyBytes);
    g_free(key);
    qoltWipeStackBelow();
    // The key text went through the C library's string functions.
    qoltClearEveryVectorRegister();
}

extern "C" char *qolt_plugin_auth_decode(const char *encoded) {
    if (!encoded) return nullptr;

    // strlen + 1 is enough for any valid text, the byte that a padded last
    // group needs beyond its data included.  Credentials are short: they are
    // decoded on the stack, and only a longer text takes its work buffer from
    // the heap.  The decoder never reads a target byte it has not written, so
    // the buffer needs no clearing.
    size_t size = strlen(encoded) + 1;
    unsigned char local[512];
    unsigned char *work =
        size <= sizeof local ? local : static_cast<unsigned char *>(g_malloc0(size));
    int count = base64Decode(encoded, work, size);
    if (count <= 0) {
        if (work != local) g_free(work);
        // Nothing decoded: null.  Malformed base64: an empty text, like
        // every undecryptable input.
        return count == 0 ? nullptr : static_cast<char *>(g_malloc0(1));
    }

    // One byte more than the data, so the text is always terminated.  CBC
    // padDecrypt keeps every byte and writes nothing when it fails (not
    // keyed, length not whole blocks), leaving an empty text.
    char *result = static_cast<char *>(g_malloc0(size_t(count) + 1));
    sharedCipher.padDecrypt(work, count, reinterpret_cast<unsigned char *>(result));
    if (work != local) g_free(work);
    qoltWipeStackBelow();
    qoltClearEveryVectorRegister();
    return result;
}
