// libFuzzer target for qolt_plugin_auth_decode on arbitrary text, after a
// key set-up from arbitrary key text.
//
// Byte 0 gives the key text's length (low 5 bits) and asks for a null key
// text (top bit); the key text follows, the rest of the input is the encoded
// text.  Both end at their first zero byte, as C texts do.
//
// Whatever the text, the call must not crash and must return null (text that
// decodes to no bytes) or a buffer of exactly the decoded length + 1 bytes
// (checked under AddressSanitizer), always terminated: "" for malformed
// base64 and for data that is not whole blocks, else the CBC decryption of
// the decoded bytes, which a cipher of our own, keyed from the same key text,
// must agree with.
#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "allocated_size.h"
#include "base64.h"
#include "protocol.h"
#include "qolt/http_plugin.h"
#include "qolt/rijndael.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const size_t keyLength = size ? std::min<size_t>(data[0] & 31u, size - 1) : 0;
    const bool nullKey = size && (data[0] & 0x80);
    const std::string keyText(reinterpret_cast<const char *>(data) + (size ? 1 : 0), keyLength);
    const std::string encoded(reinterpret_cast<const char *>(data) + (size ? 1 : 0) + keyLength,
                              size ? size - 1 - keyLength : 0);

    qolt_plugin_auth_decode_init(nullKey ? nullptr : keyText.c_str());

    // What the text decodes to, with the target size the export uses.
    const char *text = encoded.c_str();
    const size_t targetSize = strlen(text) + 1;
    std::vector<unsigned char> work(targetSize);
    const int count = base64Decode(text, work.data(), targetSize);

    char *result = qolt_plugin_auth_decode(text);
    if (count == 0) {
        check(result == nullptr);
        return 0;
    }
    check(result != nullptr);
    if (count < 0) {
        check(result[0] == '\0');
        const size_t size1 = allocatedSize(result);
        check(size1 == 0 || size1 == 1);
        g_free(result);
        return 0;
    }

    const size_t n = size_t(count);
    const size_t allocated = allocatedSize(result);
    check(allocated == 0 || allocated == n + 1);
    check(result[n] == '\0');
    if (n % 16 != 0) {
        for (size_t i = 0; i < n; ++i) check(result[i] == '\0');
    } else {
        const auto key = serverCredentialKey(nullKey ? nullptr : keyText.c_str());
        Rijndael cipher;
        check(cipher.init(Rijndael::CBC, Rijndael::Decrypt, key.data(), Rijndael::Key128,
                          credentialVector()) == 0);
        std::vector<unsigned char> plain(n);
        check(cipher.blockDecrypt(work.data(), int(8 * n), plain.data()) == int(8 * n));
        check(memcmp(plain.data(), result, n) == 0);
    }
    g_free(result);
    return 0;
}
