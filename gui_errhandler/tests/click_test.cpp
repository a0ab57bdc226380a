// A dialog closed the way a user closes it: xdotool moves the X server's
// pointer onto the Close button and clicks, from outside this process.
#include <signal.h>

#include <string>

#include "gui_fixture.h"
#include "pelidor/gui_errhandler.h"

namespace {

struct Clicker {
    GtkDialog *dialog = nullptr;
    bool spawned = false;
    GPid pid = 0;
    bool exited = false;
    int status = -1;
    int response = GTK_RESPONSE_NONE;
    std::string failure;
};

// Waits until the dialog is on screen and laid out, then starts xdotool on
// the button's centre; the event loop keeps running for it to deliver the
// click.
gboolean clickWhenMapped(gpointer data) {
    auto *c = static_cast<Clicker *>(data);
    GtkWidget *area = gtk_dialog_get_action_area(c->dialog);
    GList *children = gtk_container_get_children(GTK_CONTAINER(area));
    GtkWidget *button = children ? GTK_WIDGET(children->data) : nullptr;
    g_list_free(children);
    // GDK clears "withdrawn" when the X server reports the window mapped.
    GdkWindow *window = gtk_widget_get_window(GTK_WIDGET(c->dialog));
    if (!window || (gdk_window_get_state(window) & GDK_WINDOW_STATE_WITHDRAWN) || !button ||
        !gtk_widget_get_mapped(button))
        return G_SOURCE_CONTINUE;

    // Our own requests (the button's input window among them) may still sit
    // in Xlib's buffer; the click must not reach the server before they do.
    gdk_display_sync(gtk_widget_get_display(button));

    GtkAllocation box;
    gtk_widget_get_allocation(button, &box);
    gint x = 0, y = 0;
    // A GtkButton has no X window of its own: its allocation is relative to
    // the dialog's window.
    gdk_window_get_origin(gtk_widget_get_window(button), &x, &y);
    x += box.x + box.width / 2;
    y += box.y + box.height / 2;

    const std::string xs = std::to_string(x), ys = std::to_string(y);
    // No --sync: it waits for a motion that never comes when the pointer is
    // already there. The server handles the move before the click anyway.
    gchar *argv[] = {const_cast<gchar *>("xdotool"),
                     const_cast<gchar *>("mousemove"),
                     const_cast<gchar *>(xs.c_str()),
                     const_cast<gchar *>(ys.c_str()),
                     const_cast<gchar *>("click"),
                     const_cast<gchar *>("1"),
                     nullptr};
    GError *error = nullptr;
    c->spawned =
        g_spawn_async(nullptr, argv, nullptr,
                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                      nullptr, nullptr, &c->pid, &error);
    if (!c->spawned) {
        c->failure = std::string("cannot run xdotool: ") + error->message;
        g_error_free(error);
        gtk_dialog_response(c->dialog, GTK_RESPONSE_CANCEL);  // let the call return
        return G_SOURCE_REMOVE;
    }
    g_child_watch_add(
        c->pid,
        +[](GPid pid, gint status, gpointer self) {
            auto *clicker = static_cast<Clicker *>(self);
            clicker->exited = true;
            clicker->status = status;
            g_spawn_close_pid(pid);
        },
        c);
    return G_SOURCE_REMOVE;
}

class GuiClick : public GuiTest {};

TEST_F(GuiClick, PointerClickOnCloseEndsTheCall) {
    GtkWidget *parent = makeParent();
    Clicker clicker;
    SeenDialog seen = showAndClose(
        [&] { qolt_gui_errhandler(parent, ACT_GET_MAIL, RES_TIMEOUT, nullptr); },
        [&](GtkDialog *dialog) {
            clicker.dialog = dialog;
            g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog *, gint id, gpointer c) {
                                 static_cast<Clicker *>(c)->response = id;
                             }),
                             &clicker);
            g_timeout_add(10, clickWhenMapped, &clicker);
        });
    EXPECT_EQ("", clicker.failure);
    EXPECT_EQ(1, seen.sightings);
    EXPECT_EQ(
        "Het ophalen van QOLT Mail is mislukt\n"
        "Maximumtijd voor ophalen gegevens verlopen",
        seen.text);
    EXPECT_EQ(GTK_RESPONSE_CLOSE, clicker.response) << "the Close button was clicked";
    EXPECT_TRUE(seen.finalized);
    if (clicker.spawned) {
        if (!iterateUntil([&] { return clicker.exited; }, 5000)) {
            ADD_FAILURE() << "xdotool did not finish";
            kill(clicker.pid, SIGTERM);
        }
        EXPECT_TRUE(WIFEXITED(clicker.status) && WEXITSTATUS(clicker.status) == 0)
            << clicker.status;
    }
    gtk_widget_destroy(parent);
}

}  // namespace
