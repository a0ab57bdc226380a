/* A C client of the installed tree, built with pkg-config alone: it links
 * the error library, loads the plugin from the path that qolt-http-plugin.pc
 * gives, as the Pelidor client does, and prints the files that define what
 * it calls.  It includes <resolv.h>, whose RES_TIMEOUT the error library's
 * header leaves alone.  Usage: client PLUGIN */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <glib.h>
#include <resolv.h>
#include <stdio.h>
#include <string.h>

#include <pelidor/gui_errhandler.h>

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    void *plugin = dlopen(argv[1], RTLD_NOW);
    if (!plugin) {
        /* What the client does when its plugin cannot be loaded (no display: a line only). */
        qolt_gui_errhandler(NULL, ACT_UPDATE_POSTINGS, RES_PLUGIN_LOAD_FAILED, NULL);
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    char *(*auth)(const char *, char **) =
        (char *(*)(const char *, char **))dlsym(plugin, "qolt_plugin_auth");
    void (*decode_init)(const char *) =
        (void (*)(const char *))dlsym(plugin, "qolt_plugin_auth_decode_init");
    char *(*decode)(const char *) =
        (char *(*)(const char *))dlsym(plugin, "qolt_plugin_auth_decode");
    if (!auth || !decode_init || !decode) {
        fprintf(stderr, "an export is missing\n");
        return 1;
    }

    int failures = 0;
    char *second = "wachtwoord";
    char *digest = auth("gebruiker", &second);
    if (strlen(digest) != 32 || strspn(digest, "0123456789abcdef") != 32) {
        printf("FAIL digest %s\n", digest);
        ++failures;
    }
    g_free(digest);
    decode_init("sleutel");
    if (decode("") != NULL) {
        printf("FAIL decoding the empty text gives no NULL\n");
        ++failures;
    }
    /* An invalid result code: one line on the standard error stream, no dialog. */
    qolt_gui_errhandler(NULL, ACT_UPDATE_POSTINGS, 9999, NULL);

    Dl_info info;
    if (dladdr((void *)auth, &info)) printf("defined in %s\n", info.dli_fname);
    if (dladdr((void *)qolt_gui_errhandler, &info)) printf("defined in %s\n", info.dli_fname);
    dlclose(plugin);
    return failures ? 1 : 0;
}
