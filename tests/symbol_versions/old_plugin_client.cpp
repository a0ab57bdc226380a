// A client built before the plugin had symbol versions: linked against a
// twin whose node is unnamed, so it references the plain names.  Run against
// the real plugin, it calls the C exports and the cipher class, and prints
// the file that defines them.
#include <dlfcn.h>
#include <glib.h>

#include <cstdio>
#include <cstring>

#include "qolt/http_plugin.h"
#include "qolt/rijndael.h"

int main() {
    int failures = 0;

    char second[] = "wachtwoord";
    char *secondText = second;
    char *digest = qolt_plugin_auth("gebruiker", &secondText);
    if (digest == nullptr || std::strlen(digest) != 32 ||
        std::strspn(digest, "0123456789abcdef") != 32) {
        std::printf("FAIL qolt_plugin_auth: %s\n", digest ? digest : "(null)");
        ++failures;
    }
    g_free(digest);

    qolt_plugin_auth_decode_init("sleutel");
    if (qolt_plugin_auth_decode("") != nullptr) {
        std::printf("FAIL qolt_plugin_auth_decode of the empty text is not NULL\n");
        ++failures;
    }

    // FIPS-197 appendix C.1: AES-128 of 00112233...eeff under 00010203...0e0f.
    unsigned char key[16], block[16], out[16];
    for (int i = 0; i < 16; ++i) {
        key[i] = static_cast<unsigned char>(i);
        block[i] = static_cast<unsigned char>(i * 0x11);
    }
    static const unsigned char expected[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                               0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};
    Rijndael cipher;
    int rc = cipher.init(Rijndael::ECB, Rijndael::Encrypt, key, Rijndael::Key128, nullptr);
    int bits = cipher.blockEncrypt(block, 128, out);
    if (rc != 0 || bits != 128 || std::memcmp(out, expected, 16) != 0) {
        std::printf("FAIL Rijndael: init %d, blockEncrypt %d\n", rc, bits);
        ++failures;
    }

    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&qolt_plugin_auth), &info) == 0) {
        std::printf("FAIL dladdr\n");
        return 1;
    }
    std::printf("defined in %s\n", info.dli_fname);
    return failures ? 1 : 0;
}
