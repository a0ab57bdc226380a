// qolt_gui_dialog_show: one helper owns the dialog's whole life. The text is
// composed once and handed over as the argument of a "%s" format, so a
// per-cent sign in a server notice is shown as itself, never expanded.
#include "pelidor/gui_errhandler.h"

namespace {

void noteDestroyed(GtkWidget *, gpointer destroyed) {
    *static_cast<gboolean *>(destroyed) = TRUE;
}

}  // namespace

extern "C" void qolt_gui_dialog_show(const char *header, const char *body, GtkWidget *parent) {
    if (!body) body = "";
    gchar *composed = header ? g_strdup_printf("%s\n%s", header, body) : g_strdup_printf("%s", body);
    // GTK+ takes the text as UTF-8 and its label code reads past the end of
    // one that is not (a lead byte such as 0xFF claims bytes beyond the
    // terminator).  A detail from a server may be Latin-1, so every byte that
    // is not UTF-8 becomes U+FFFD; valid text passes unchanged.
    gchar *text = g_utf8_make_valid(composed, -1);
    g_free(composed);

    GtkWidget *dialog = gtk_message_dialog_new(parent ? GTK_WINDOW(parent) : nullptr,
                                               GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_CLOSE, "%s", text);

    // If the caller destroys the parent while the dialog runs, the dialog is
    // destroyed with it and gtk_dialog_run() returns after dropping GTK's
    // last reference. Our own reference keeps the object valid until we are
    // done with it, and the flag keeps us from destroying it a second time.
    // (A GTK 2 toplevel is never floating, so a plain reference it is.)
    gboolean destroyed = FALSE;
    g_object_ref(dialog);
    g_signal_connect(dialog, "destroy", G_CALLBACK(noteDestroyed), &destroyed);

    gtk_dialog_run(GTK_DIALOG(dialog));

    if (!destroyed) gtk_widget_destroy(dialog);
    // Destruction dropped every handler, so the flag's address dies unused.
    g_object_unref(dialog);
    g_free(text);
}
