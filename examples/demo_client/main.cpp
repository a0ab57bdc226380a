// qolt_demo_client: drives both libraries the way the Pelidor client does.
//
// The plugin is loaded at run time with dlopen and its exports are found by
// name with dlsym; every text it returns is released with g_free.  Failures
// to load it are reported through the error library with the client's
// result codes (7: location empty, 8: cannot load, 9: export missing).
//
//   qolt_demo_client [--plugin PATH] [--close-after MS] [COMMAND ...]
//     (no command)          the whole tour on built-in defaults
//     digest FIRST SECOND   the authentication digest of two texts
//     encode KEYTEXT TEXT   a credential for TEXT, as the server makes it
//     decode KEYTEXT BASE64 the text of a credential
//     dialog ACTION RESULT [DETAIL]   the error dialog of two codes
//
// The plugin location is --plugin, else $QOLT_PLUGIN, else the plugin of the
// build tree.  --close-after closes each dialog after MS milliseconds.
#include <dlfcn.h>
#include <glib.h>
#include <gtk/gtk.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pelidor/gui_errhandler.h"
#include "protocol.h"
#include "qolt/rijndael.h"

namespace {

const char kDefaultFirst[] = "demo-user";
const char kDefaultSecond[] = "demo-password";
const char kDefaultKeyText[] = "demo-sleutel";
const char kDefaultSecret[] = "Een geheime tekst van de demo";

// What the client was doing when the plugin failed: updating the postings.
const unsigned kAction = ACT_UPDATE_POSTINGS;

using AuthFn = char *(*)(const char *, char **);
using DecodeInitFn = void (*)(const char *);
using DecodeFn = char *(*)(const char *);
// The exported cipher, reached by its C++ symbols as a client that loads the
// plugin at run time must: the object pointer is the first argument.
using CtorFn = void (*)(Rijndael *);
using InitFn = int (*)(Rijndael *, Rijndael::Mode, Rijndael::Direction, const unsigned char *,
                       Rijndael::KeyLength, const unsigned char *);
using BlockFn = int (*)(Rijndael *, const unsigned char *, int, unsigned char *);

struct Plugin {
    void *handle = nullptr;
    AuthFn auth = nullptr;
    DecodeInitFn decodeInit = nullptr;
    DecodeFn decode = nullptr;
    CtorFn construct = nullptr;
    CtorFn destroy = nullptr;
    InitFn init = nullptr;
    BlockFn blockEncrypt = nullptr;
};

struct Options {
    std::string pluginPath = QOLT_DEFAULT_PLUGIN;
    bool pluginPathSet = false;
    int closeAfterMs = 0;
    bool display = false;
};

Options options;

// Responds Close to every dialog on screen; keeps running until removed.
gboolean closeDialogs(gpointer) {
    GList *windows = gtk_window_list_toplevels();
    for (GList *w = windows; w; w = w->next)
        if (GTK_IS_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
            gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_CLOSE);
    g_list_free(windows);
    return TRUE;
}

// Shows the error dialog of two codes, or says in one line why it cannot.
void showError(unsigned action, int result, const char *detail) {
    if (!options.display) {
        fprintf(stderr, "qolt_demo_client: error (action %u, result %d); no display to show it\n",
                action, result);
        return;
    }
    guint timer = 0;
    if (options.closeAfterMs > 0)
        timer = g_timeout_add(guint(options.closeAfterMs), closeDialogs, nullptr);
    qolt_gui_errhandler(nullptr, action, result, detail);
    if (timer) g_source_remove(timer);
}

template <typename F>
bool resolve(const Plugin &plugin, const char *name, F *out) {
    *out = reinterpret_cast<F>(dlsym(plugin.handle, name));
    if (*out) return true;
    fprintf(stderr, "qolt_demo_client: the plugin lacks the export %s\n", name);
    return false;
}

// Loads the plugin and its exports, reporting failures as the client does.
bool loadPlugin(Plugin *plugin) {
    if (options.pluginPathSet && options.pluginPath.empty()) {
        fprintf(stderr, "qolt_demo_client: the plugin location is empty\n");
        showError(kAction, RES_PLUGIN_LOCATION_UNSET, nullptr);
        return false;
    }
    plugin->handle = dlopen(options.pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin->handle) {
        fprintf(stderr, "qolt_demo_client: cannot load the plugin: %s\n", dlerror());
        showError(kAction, RES_PLUGIN_LOAD_FAILED, nullptr);
        return false;
    }
    bool ok = resolve(*plugin, "qolt_plugin_auth", &plugin->auth) &&
              resolve(*plugin, "qolt_plugin_auth_decode_init", &plugin->decodeInit) &&
              resolve(*plugin, "qolt_plugin_auth_decode", &plugin->decode) &&
              resolve(*plugin, "_ZN8RijndaelC1Ev", &plugin->construct) &&
              resolve(*plugin, "_ZN8RijndaelD1Ev", &plugin->destroy) &&
              resolve(*plugin, "_ZN8Rijndael4initENS_4ModeENS_9DirectionEPKhNS_9KeyLengthES3_",
                      &plugin->init) &&
              resolve(*plugin, "_ZN8Rijndael12blockEncryptEPKhiPh", &plugin->blockEncrypt);
    if (!ok) showError(kAction, RES_PLUGIN_FAILED, nullptr);
    return ok;
}

void printDigest(const Plugin &plugin, const char *first, const char *second) {
    char *secondText = const_cast<char *>(second);
    char *digest = plugin.auth(first, &secondText);
    printf("digest(\"%s\", \"%s\") = %s\n", first, second, digest);
    g_free(digest);
}

// A credential as the server makes one: the text zero-padded to whole blocks,
// AES-128-CBC with the shared key derivation and vector, then base64.
std::string encodeCredential(const Plugin &plugin, const char *keyText, const char *text) {
    const auto key = serverCredentialKey(keyText);

    size_t length = strlen(text);
    if (length > size_t(INT_MAX / 8 - 16)) return {};
    std::vector<unsigned char> data((length + 15) / 16 * 16, 0);
    memcpy(data.data(), text, length);

    alignas(Rijndael) unsigned char storage[sizeof(Rijndael)];
    Rijndael *cipher = reinterpret_cast<Rijndael *>(storage);
    plugin.construct(cipher);
    int status = plugin.init(cipher, Rijndael::CBC, Rijndael::Encrypt, key.data(), Rijndael::Key128,
                             credentialVector());
    if (status == 0)
        status = plugin.blockEncrypt(cipher, data.data(), int(data.size() * 8), data.data());
    plugin.destroy(cipher);
    if (status < 0) return {};

    gchar *b64 = g_base64_encode(data.data(), data.size());
    std::string out(b64);
    g_free(b64);
    return out;
}

void printDecoded(const Plugin &plugin, const char *keyText, const char *encoded) {
    plugin.decodeInit(keyText);
    char *text = plugin.decode(encoded);
    if (text)
        printf("decoded: \"%s\"\n", text);
    else
        printf("decoded: (nothing: the text decodes to no bytes)\n");
    g_free(text);
}

bool parseNumber(const char *s, long long *out) {
    char *end = nullptr;
    errno = 0;
    *out = strtoll(s, &end, 0);
    return errno == 0 && end != s && *end == '\0';
}

int showDialogCommand(const char *actionText, const char *resultText, const char *detail) {
    long long action = 0, result = 0;
    if (!parseNumber(actionText, &action) || !parseNumber(resultText, &result)) {
        fprintf(stderr, "qolt_demo_client: action and result must be numbers\n");
        return 2;
    }
    showError(unsigned(action), int(result), detail);
    return 0;
}

void tour(const Plugin &plugin) {
    printDigest(plugin, kDefaultFirst, kDefaultSecond);
    std::string credential = encodeCredential(plugin, kDefaultKeyText, kDefaultSecret);
    printf("credential(\"%s\", \"%s\") = %s\n", kDefaultKeyText, kDefaultSecret,
           credential.c_str());
    printDecoded(plugin, kDefaultKeyText, credential.c_str());
    if (options.display) {
        printf("dialog: action %u, result %d (close it to finish)\n", unsigned(ACT_UPDATE_POSTINGS),
               int(RES_DNS_FAILED));
        showError(ACT_UPDATE_POSTINGS, RES_DNS_FAILED, nullptr);
    }
}

int usage() {
    fprintf(stderr,
            "usage: qolt_demo_client [--plugin PATH] [--close-after MS]\n"
            "         [digest FIRST SECOND | encode KEYTEXT TEXT | decode KEYTEXT BASE64 |\n"
            "          dialog ACTION RESULT [DETAIL]]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (const char *env = getenv("QOLT_PLUGIN")) {
        options.pluginPath = env;
        options.pluginPathSet = true;
    }
    std::vector<const char *> args;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) {
            options.pluginPath = argv[++i];
            options.pluginPathSet = true;
        } else if (strcmp(argv[i], "--close-after") == 0 && i + 1 < argc) {
            options.closeAfterMs = atoi(argv[++i]);
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            return usage();
        } else {
            args.push_back(argv[i]);
        }
    }

    options.display = gtk_init_check(nullptr, nullptr);
    if (!options.display) fprintf(stderr, "qolt_demo_client: no display; dialogs are not shown\n");

    const size_t n = args.size();
    const char *command = n ? args[0] : "";
    if (n && strcmp(command, "dialog") == 0) {
        if (n != 3 && n != 4) return usage();
        return showDialogCommand(args[1], args[2], n == 4 ? args[3] : nullptr);
    }

    Plugin plugin;
    if (!loadPlugin(&plugin)) {
        if (plugin.handle) dlclose(plugin.handle);
        return 1;
    }

    int status = 0;
    if (n == 0) {
        tour(plugin);
    } else if (strcmp(command, "digest") == 0 && n == 3) {
        printDigest(plugin, args[1], args[2]);
    } else if (strcmp(command, "encode") == 0 && n == 3) {
        std::string credential = encodeCredential(plugin, args[1], args[2]);
        if (credential.empty()) {
            fprintf(stderr, "qolt_demo_client: the text cannot be encoded\n");
            status = 1;
        } else {
            printf("%s\n", credential.c_str());
        }
    } else if (strcmp(command, "decode") == 0 && n == 3) {
        printDecoded(plugin, args[1], args[2]);
    } else {
        status = usage();
    }
    dlclose(plugin.handle);
    return status;
}
