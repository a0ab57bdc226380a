// qolt_demo_client: drives qolt_http_plugin the way the Pelidor client does.
// It loads the plugin with dlopen, finds the exports by name with dlsym,
// calls them and releases every returned text with g_free.
//
//   qolt_demo_client [--plugin PATH] [digest FIRST SECOND]
#include <dlfcn.h>
#include <glib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kDefaultFirst[] = "demo-user";
const char kDefaultSecond[] = "demo-password";

using AuthFn = char *(*)(const char *, char **);

struct Plugin {
    void *handle = nullptr;
    AuthFn auth = nullptr;
};

// Loads the plugin and resolves its exports; one clear line on failure.
bool loadPlugin(const char *path, Plugin *plugin) {
    plugin->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!plugin->handle) {
        fprintf(stderr, "qolt_demo_client: cannot load plugin: %s\n", dlerror());
        return false;
    }
    plugin->auth = reinterpret_cast<AuthFn>(dlsym(plugin->handle, "qolt_plugin_auth"));
    if (!plugin->auth) {
        fprintf(stderr, "qolt_demo_client: plugin %s lacks the export qolt_plugin_auth\n", path);
        return false;
    }
    return true;
}

void printDigest(const Plugin &plugin, const char *first, const char *second) {
    char *secondText = const_cast<char *>(second);
    char *digest = plugin.auth(first, &secondText);
    printf("digest(\"%s\", \"%s\") = %s\n", first, second, digest);
    g_free(digest);
}

int usage() {
    fprintf(stderr, "usage: qolt_demo_client [--plugin PATH] [digest FIRST SECOND]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    const char *pluginPath = QOLT_DEFAULT_PLUGIN;
    std::vector<const char *> args;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--plugin") == 0) {
            if (++i == argc) return usage();
            pluginPath = argv[i];
        } else {
            args.push_back(argv[i]);
        }
    }

    Plugin plugin;
    if (!loadPlugin(pluginPath, &plugin)) {
        if (plugin.handle) dlclose(plugin.handle);
        return 1;
    }

    int status = 0;
    if (args.empty()) {
        printDigest(plugin, kDefaultFirst, kDefaultSecond);
    } else if (strcmp(args[0], "digest") == 0 && args.size() == 3) {
        printDigest(plugin, args[1], args[2]);
    } else {
        status = usage();
    }
    dlclose(plugin.handle);
    return status;
}
