/* A client built before the error library had symbol versions: linked
 * against a twin whose node is unnamed, so it references the plain names.
 * Run against the real library (no display needed), it reports an invalid
 * result code, which writes one line to the standard error stream, and
 * prints the file that defines both exports. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <stdio.h>

#include "pelidor/gui_errhandler.h"

int main(void) {
    qolt_gui_errhandler(NULL, 0, 9999, NULL);
    void (*show)(const char *, const char *, GtkWidget *) = qolt_gui_dialog_show;
    void (*handle)(GtkWidget *, unsigned int, int, const char *) = qolt_gui_errhandler;
    Dl_info shown, handled;
    if (dladdr((void *)show, &shown) == 0 || dladdr((void *)handle, &handled) == 0) {
        printf("FAIL dladdr\n");
        return 1;
    }
    printf("defined in %s\ndefined in %s\n", shown.dli_fname, handled.dli_fname);
    return 0;
}
