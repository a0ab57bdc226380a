// Uses the Rijndael class of the linked plugin, loads the same plugin by the
// path that its CMake package or pkg-config gives (QOLT_PLUGIN) and calls an
// export, links the error library, and prints the files that define what it
// calls.  The linked plugin and the loaded one must be one object in memory.
// Built by find_package (CMakeLists.txt here) and by pkg-config
// (check_install.sh).
#include <dlfcn.h>
#include <glib.h>
#include <link.h>

#include <cstdio>
#include <cstring>

#include <pelidor/gui_errhandler.h>
#include <qolt/http_plugin.h>
#include <qolt/rijndael.h>

int main() {
    int failures = 0;
    // FIPS-197 appendix C.1: AES-128 of 00112233...eeff under 00010203...0e0f.
    unsigned char key[16], block[16], out[16], back[16];
    for (int i = 0; i < 16; ++i) {
        key[i] = static_cast<unsigned char>(i);
        block[i] = static_cast<unsigned char>(i * 0x11);
    }
    static const unsigned char expected[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                               0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};
    Rijndael encrypt, decrypt;
    encrypt.init(Rijndael::ECB, Rijndael::Encrypt, key, Rijndael::Key128, nullptr);
    decrypt.init(Rijndael::ECB, Rijndael::Decrypt, key, Rijndael::Key128, nullptr);
    if (encrypt.blockEncrypt(block, 128, out) != 128 || std::memcmp(out, expected, 16) != 0 ||
        decrypt.blockDecrypt(out, 128, back) != 128 || std::memcmp(back, block, 16) != 0) {
        std::printf("FAIL Rijndael\n");
        ++failures;
    }

    void *plugin = dlopen(QOLT_PLUGIN, RTLD_NOW);
    if (!plugin) {
        std::printf("FAIL dlopen %s: %s\n", QOLT_PLUGIN, dlerror());
        return 1;
    }
    auto auth =
        reinterpret_cast<char *(*)(const char *, char **)>(dlsym(plugin, "qolt_plugin_auth"));
    char second[] = "wachtwoord";
    char *secondText = second;
    char *loaded = auth ? auth("gebruiker", &secondText) : nullptr;
    char *linked = qolt_plugin_auth("gebruiker", &secondText);
    if (!loaded || std::strcmp(loaded, linked) != 0 || std::strlen(linked) != 32) {
        std::printf("FAIL digest: loaded %s, linked %s\n", loaded ? loaded : "(null)", linked);
        ++failures;
    }
    g_free(loaded);
    g_free(linked);
    // The plugin folder holds a link to the shared object the loader found:
    // dlopen() of either path gives the object already loaded.
    int plugins = 0;
    dl_iterate_phdr(
        [](dl_phdr_info *object, size_t, void *count) {
            if (std::strstr(object->dlpi_name, "qolt_http_plugin")) ++*static_cast<int *>(count);
            return 0;
        },
        &plugins);
    if (plugins != 1) {
        std::printf("FAIL the plugin is loaded %d times\n", plugins);
        ++failures;
    }
    qolt_gui_errhandler(nullptr, PELIDOR_ACT_UPDATE_POSTINGS, 9999, nullptr);

    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(auth), &info))
        std::printf("defined in %s\n", info.dli_fname);
    if (dladdr(reinterpret_cast<void *>(&qolt_gui_errhandler), &info))
        std::printf("defined in %s\n", info.dli_fname);
    dlclose(plugin);
    return failures ? 1 : 0;
}
