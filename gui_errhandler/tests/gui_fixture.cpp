#include "gui_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr guint kWatchdogSeconds = 10;
// A last resort beyond the watchdog: if even the main loop is stuck, the
// default SIGALRM action ends the process and CTest reports the failure.
constexpr unsigned kAlarmSeconds = 30;

// The domains whose warnings would tell of a misused widget; null is the
// messages without a domain.
const char *const kLogDomains[kLogDomainCount] = {"Gtk", "Gdk", "GLib", "GLib-GObject", nullptr};

void failOnLog(const gchar *domain, GLogLevelFlags level, const gchar *message, gpointer) {
    ADD_FAILURE() << "GLib log message (level " << level << ") from "
                  << (domain ? domain : "(no domain)") << ": " << message;
}

std::vector<GtkMessageDialog *> messageDialogs() {
    std::vector<GtkMessageDialog *> found;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *l = toplevels; l; l = l->next)
        if (GTK_IS_MESSAGE_DIALOG(l->data)) found.push_back(GTK_MESSAGE_DIALOG(l->data));
    g_list_free(toplevels);
    return found;
}

GtkWidget *findTextView(GtkWidget *widget) {
    if (GTK_IS_TEXT_VIEW(widget)) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget *found = nullptr;
    for (GList *l = children; l && !found; l = l->next) found = findTextView(GTK_WIDGET(l->data));
    g_list_free(children);
    return found;
}

void recordRest(GtkWidget *dialog, SeenDialog &seen);

void record(GtkMessageDialog *dialog, SeenDialog &seen) {
    gchar *text = nullptr;
    gchar *secondary = nullptr;
    gboolean markup = FALSE;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    g_object_get(dialog, "text", &text, "secondary-text", &secondary, "use-markup", &markup,
                 "message-type", &type, nullptr);
    seen.text = text ? text : "(null)";
    seen.secondaryText = secondary != nullptr;
    seen.useMarkup = markup;
    seen.type = type;
    g_free(text);
    g_free(secondary);

    if (GTK_IS_LABEL(dialog->label)) {
        seen.labelText = gtk_label_get_text(GTK_LABEL(dialog->label));
        seen.labelShown = gtk_widget_get_visible(dialog->label);
    }

    GtkWidget *area = gtk_dialog_get_action_area(GTK_DIALOG(dialog));
    GList *children = gtk_container_get_children(GTK_CONTAINER(area));
    seen.buttons = static_cast<int>(g_list_length(children));
    if (seen.buttons == 1 && GTK_IS_BUTTON(children->data)) {
        GtkButton *button = GTK_BUTTON(children->data);
        const gchar *label = gtk_button_get_label(button);
        seen.closeButton =
            gtk_button_get_use_stock(button) && label && std::string(label) == GTK_STOCK_CLOSE &&
            gtk_dialog_get_response_for_widget(GTK_DIALOG(dialog), GTK_WIDGET(button)) ==
                GTK_RESPONSE_CLOSE;
    }
    g_list_free(children);

    seen.transientFor = gtk_window_get_transient_for(GTK_WINDOW(dialog));
    seen.destroyWithParent = gtk_window_get_destroy_with_parent(GTK_WINDOW(dialog));
    seen.visible = gtk_widget_get_visible(GTK_WIDGET(dialog));
    // GtkMessageDialog sets the empty title: the window manager shows none.
    const gchar *title = gtk_window_get_title(GTK_WINDOW(dialog));
    seen.hasTitle = title && *title;
    GtkWidget *close = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
    seen.focusOnClose = close && gtk_window_get_focus(GTK_WINDOW(dialog)) == close;
    recordRest(GTK_WIDGET(dialog), seen);
}

gchar *bufferText(GtkTextBuffer *buffer, const GtkTextIter *from, const GtkTextIter *to) {
    return gtk_text_buffer_get_text(buffer, from, to, TRUE);
}

// The dialog's text view, if any, with its text split at the first italic
// character.
void recordRest(GtkWidget *dialog, SeenDialog &seen) {
    GtkWidget *view = findTextView(dialog);
    if (!view) return;
    seen.restShown =
        gtk_widget_get_visible(view) && gtk_widget_get_visible(gtk_widget_get_parent(view));
    seen.restWrap = gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(view));
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start, mark, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    mark = start;
    for (;;) {
        GSList *tags = gtk_text_iter_get_tags(&mark);
        bool italic = false;
        for (GSList *t = tags; t; t = t->next) {
            PangoStyle style = PANGO_STYLE_NORMAL;
            gboolean set = FALSE;
            g_object_get(t->data, "style", &style, "style-set", &set, nullptr);
            italic = italic || (set && style == PANGO_STYLE_ITALIC);
        }
        g_slist_free(tags);
        if (italic || gtk_text_iter_is_end(&mark) ||
            !gtk_text_iter_forward_to_tag_toggle(&mark, nullptr))
            break;
    }
    gchar *text = bufferText(buffer, &start, &mark);
    seen.restText = text;
    g_free(text);
    text = bufferText(buffer, &mark, &end);
    seen.restMark = text;
    g_free(text);
}

void noteFinalized(gpointer seen, GObject *) { static_cast<SeenDialog *>(seen)->finalized = true; }

struct Watch {
    SeenDialog seen;
    GuiTest::React react;
    bool done = false;
    bool waitForMap = false;
    gint64 start = 0;
    GtkDialog *dialog = nullptr;
    guint mapSource = 0;  // closeWhenMapped while it polls
};

// The seconds from the call to the first message dialog's map-event.
gboolean noteMapped(GSignalInvocationHint *, guint, const GValue *params, gpointer data) {
    auto *watch = static_cast<Watch *>(data);
    GObject *instance = static_cast<GObject *>(g_value_get_object(&params[0]));
    if (GTK_IS_MESSAGE_DIALOG(instance) && watch->seen.mapSeconds < 0)
        watch->seen.mapSeconds = double(g_get_monotonic_time() - watch->start) / 1e6;
    return TRUE;
}

GdkRectangle onScreen(GtkWidget *widget) {
    GdkRectangle r;
    gtk_widget_get_allocation(widget, &r);
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
    // A toplevel's allocation is relative to itself; a button's (it has no
    // window of its own) to its toplevel's window.
    if (gtk_widget_is_toplevel(widget)) r.x = r.y = 0;
    r.x += x;
    r.y += y;
    return r;
}

// Once the dialog is mapped and its map-event seen: records where it is and
// answers it with Close.
gboolean closeWhenMapped(gpointer data) {
    auto *watch = static_cast<Watch *>(data);
    GtkWidget *dialog = GTK_WIDGET(watch->dialog);
    GdkWindow *window = gtk_widget_get_window(dialog);
    if (!window || (gdk_window_get_state(window) & GDK_WINDOW_STATE_WITHDRAWN) ||
        watch->seen.mapSeconds < 0)
        return G_SOURCE_CONTINUE;
    gdk_display_sync(gtk_widget_get_display(dialog));
    watch->seen.window = onScreen(dialog);
    GtkWidget *close = gtk_dialog_get_widget_for_response(watch->dialog, GTK_RESPONSE_CLOSE);
    if (close) watch->seen.close = onScreen(close);
    GdkScreen *screen = gtk_widget_get_screen(dialog);
    watch->seen.screen = {0, 0, gdk_screen_get_width(screen), gdk_screen_get_height(screen)};
    if (GtkWidget *view = findTextView(dialog)) {
        GtkWidget *scrolled = gtk_widget_get_parent(view);
        if (gtk_widget_get_visible(scrolled)) watch->seen.rest = onScreen(scrolled);
        PangoFontMetrics *metrics = pango_context_get_metrics(
            gtk_widget_get_pango_context(view), gtk_widget_get_style(view)->font_desc, nullptr);
        watch->seen.restLineHeight = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) +
                                                  pango_font_metrics_get_descent(metrics));
        pango_font_metrics_unref(metrics);
        if (GTK_IS_SCROLLED_WINDOW(scrolled)) {
            GtkWidget *bar = gtk_scrolled_window_get_hscrollbar(GTK_SCROLLED_WINDOW(scrolled));
            watch->seen.restScrollsSideways = bar && gtk_widget_get_visible(bar);
        }
    }
    watch->mapSource = 0;
    if (watch->react)
        watch->react(watch->dialog);
    else
        gtk_dialog_response(watch->dialog, GTK_RESPONSE_CLOSE);
    return G_SOURCE_REMOVE;
}

gboolean lookForDialog(gpointer data) {
    auto *watch = static_cast<Watch *>(data);
    const std::vector<GtkMessageDialog *> dialogs = messageDialogs();
    if (dialogs.empty()) return G_SOURCE_CONTINUE;
    watch->seen.sightings = static_cast<int>(dialogs.size());
    record(dialogs.front(), watch->seen);
    g_object_weak_ref(G_OBJECT(dialogs.front()), noteFinalized, &watch->seen);
    watch->done = true;
    if (watch->waitForMap) {
        watch->dialog = GTK_DIALOG(dialogs.front());
        watch->mapSource = g_timeout_add(5, closeWhenMapped, watch);
    } else if (watch->react)
        watch->react(GTK_DIALOG(dialogs.front()));
    else
        gtk_dialog_response(GTK_DIALOG(dialogs.front()), GTK_RESPONSE_CLOSE);
    return G_SOURCE_REMOVE;
}

// An Xvfb started without -noreset resets whenever its last client leaves
// and refuses connections meanwhile; under a parallel CTest that happens
// between test processes, so a refused display is tried again for a while.
bool openDisplay() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (gtk_init_check(nullptr, nullptr)) return true;
        if (!g_getenv("DISPLAY")) return false;
        g_usleep(50 * 1000);
    }
    return false;
}

}  // namespace

void GuiTest::SetUp() {
    if (!openDisplay()) {
        // Not a fault of the library: the machine has no X server for the
        // test.  77 is CTest's skip code (SKIP_RETURN_CODE); each dialog test
        // runs in a process of its own there.
        std::fprintf(stderr,
                     "skipped: no X server (DISPLAY=%s); install xvfb, or run the dialog tests "
                     "under xvfb-run -a, as tools/test.sh does\n",
                     g_getenv("DISPLAY") ? g_getenv("DISPLAY") : "");
        std::fflush(nullptr);
        std::_Exit(77);
    }
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL |
                                                    G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
    for (int i = 0; i < kLogDomainCount; ++i)
        logHandlers_[i] = g_log_set_handler(kLogDomains[i], levels, failOnLog, nullptr);
    watchdogId_ = g_timeout_add_seconds(kWatchdogSeconds, watchdog, this);
    alarm(kAlarmSeconds);
}

void GuiTest::TearDown() {
    alarm(0);
    if (watchdogId_) g_source_remove(watchdogId_);
    for (int i = 0; i < kLogDomainCount; ++i)
        if (logHandlers_[i]) g_log_remove_handler(kLogDomains[i], logHandlers_[i]);
    EXPECT_TRUE(messageDialogs().empty()) << "a message dialog outlived its call";
}

void GuiTest::extendWatchdog(unsigned seconds) {
    if (watchdogId_) g_source_remove(watchdogId_);
    watchdogId_ = g_timeout_add_seconds(seconds, watchdog, this);
    alarm(seconds + kAlarmSeconds);
}

gboolean GuiTest::watchdog(gpointer self) {
    ADD_FAILURE() << "watchdog: a dialog did not come or go in time";
    // Answering every dialog lets the blocked call return, so the test ends;
    // not with Close, which a test may be waiting for from elsewhere.
    for (GtkMessageDialog *dialog : messageDialogs())
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
    static_cast<GuiTest *>(self)->watchdogId_ = 0;
    return G_SOURCE_REMOVE;
}

SeenDialog GuiTest::showAndClose(const std::function<void()> &call, React react, bool waitForMap) {
    Watch watch;
    watch.react = std::move(react);
    watch.waitForMap = waitForMap;
    // The signal exists once the class does.
    gpointer widgetClass = g_type_class_ref(GTK_TYPE_WIDGET);
    const guint mapEvent = g_signal_lookup("map-event", GTK_TYPE_WIDGET);
    const gulong hook = g_signal_add_emission_hook(mapEvent, 0, noteMapped, &watch, nullptr);
    // Dispatched only once call() runs the dialog's nested main loop.
    const guint source = g_idle_add(lookForDialog, &watch);
    watch.start = g_get_monotonic_time();
    call();
    g_signal_remove_emission_hook(mapEvent, hook);
    g_type_class_unref(widgetClass);
    if (!watch.done) g_source_remove(source);
    // The watchdog answered a dialog that never came on screen.
    if (watch.mapSource) g_source_remove(watch.mapSource);
    return watch.seen;
}

std::string GuiTest::captureStderr(const std::function<void()> &call) {
    std::fflush(stderr);
    FILE *capture = std::tmpfile();
    if (!capture) {
        ADD_FAILURE() << "tmpfile() failed";
        call();
        return {};
    }
    const int saved = dup(STDERR_FILENO);
    dup2(fileno(capture), STDERR_FILENO);
    call();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);

    std::string text;
    std::rewind(capture);
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, capture)) > 0) text.append(buffer, n);
    std::fclose(capture);
    return text;
}

GtkWidget *GuiTest::textViewOf(GtkDialog *dialog) { return findTextView(GTK_WIDGET(dialog)); }

GtkWidget *GuiTest::makeParent() {
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Pelidor");
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    gtk_widget_show(window);
    return window;
}

bool GuiTest::iterateUntil(const std::function<bool()> &done, int timeoutMs) {
    const gint64 end = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
    while (!done()) {
        if (g_get_monotonic_time() > end) return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}
