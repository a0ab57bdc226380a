// The error dialog: one helper owns its whole life. The text is composed
// once and handed over as the argument of a "%s" format, so a per-cent sign
// in a server notice is shown as itself, never expanded.
//
// Long messages (long_text.h has the rule): GTK+ 2 lays out a label's text
// in time that grows with the square of its lines (1 MiB of lines took
// minutes), several times over to choose its width, and a text view's
// unbroken runs likewise; and a label does not break a word longer than the
// screen.  So at most pelidor::kShownBytes bytes ever reach GTK+, the label
// gets the whole message only when it has few enough bytes and lines to fit,
// and a long one is shown in a scrolled text view of bounded size, which
// lays out one paragraph at a time and only the ones in view.
#include "pelidor/gui_errhandler.h"

#include <cstring>

#include "dialog.h"
#include "long_text.h"

namespace {

// Room left around the dialog for the window manager's frame (title bar and
// borders), which the dialog's size request does not include.
constexpr int kFrameWidth = 32;
constexpr int kFrameHeight = 64;
// No readable font has lines lower than this: a message with more lines
// than the screen holds at this height cannot fit, and is not measured.
constexpr int kMinLineHeight = 8;
// The scrolled area of a long message: at most this wide, in pixels (wider
// text scrolls sideways), and as high as the screen leaves free up to
// kRestLines lines of its font, down to kRestMinHeight pixels.
constexpr int kRestMaxWidth = 560;
constexpr int kRestMinWidth = 160;
constexpr int kRestLines = 20;
constexpr int kRestMinHeight = 32;
// The area's height while the rest of the dialog is measured: taller than
// the dialog's icon, so that the area, not the icon beside it, sets the
// height of their row.
constexpr int kMeasureHeight = 128;

void noteDestroyed(GtkWidget *, gpointer destroyed) { *static_cast<gboolean *>(destroyed) = TRUE; }

// The window the dialog is transient for: the parent's toplevel when that
// is a window (the parent itself when it is one), else none.  GTK+ refuses
// a parent that is not a window; a widget inside a window stands for it,
// and a widget in no window, or an object that is no widget, for nothing.
GtkWindow *parentWindow(GtkWidget *parent) {
    if (!parent || !GTK_IS_WIDGET(parent)) return nullptr;
    GtkWidget *toplevel = gtk_widget_get_toplevel(parent);
    return GTK_IS_WINDOW(toplevel) && gtk_widget_is_toplevel(toplevel) ? GTK_WINDOW(toplevel)
                                                                       : nullptr;
}

// The area a dialog may take: the parent's monitor (else the primary one),
// within the desktop's work area when the window manager publishes one
// (_NET_WORKAREA, which leaves out panels), less room for the frame.
GdkRectangle usableArea(GtkWindow *parent) {
    GdkScreen *screen = parent ? gtk_window_get_screen(parent) : gdk_screen_get_default();
    GdkWindow *parentWindow = parent ? gtk_widget_get_window(GTK_WIDGET(parent)) : nullptr;
    const gint monitor = parentWindow ? gdk_screen_get_monitor_at_window(screen, parentWindow)
                                      : gdk_screen_get_primary_monitor(screen);
    GdkRectangle area;
    gdk_screen_get_monitor_geometry(screen, monitor, &area);

    GdkAtom type = GDK_NONE;
    gint format = 0, length = 0;
    guchar *data = nullptr;
    // The first desktop's x, y, width and height, as four 32-bit items.
    if (gdk_property_get(gdk_screen_get_root_window(screen),
                         gdk_atom_intern_static_string("_NET_WORKAREA"),
                         gdk_atom_intern_static_string("CARDINAL"), 0, 4 * 4, FALSE, &type, &format,
                         &length, &data)) {
        // GDK returns 32-bit items as longs.
        if (format == 32 && length >= gint(4 * sizeof(long))) {
            const long *v = reinterpret_cast<const long *>(data);
            const GdkRectangle work = {gint(v[0]), gint(v[1]), gint(v[2]), gint(v[3])};
            GdkRectangle inside;
            if (gdk_rectangle_intersect(&area, &work, &inside)) area = inside;
        }
        g_free(data);
    }
    area.width -= kFrameWidth;
    area.height -= kFrameHeight;
    return area;
}

GtkRequisition sizeOf(GtkWidget *widget) {
    GtkRequisition size;
    gtk_widget_size_request(widget, &size);
    return size;
}

bool fits(GtkWidget *dialog, const GdkRectangle &area) {
    const GtkRequisition size = sizeOf(dialog);
    return size.width <= area.width && size.height <= area.height;
}

// The height of a line of the widget's font.
int lineHeight(GtkWidget *widget) {
    gtk_widget_ensure_style(widget);
    PangoFontMetrics *metrics = pango_context_get_metrics(
        gtk_widget_get_pango_context(widget), gtk_widget_get_style(widget)->font_desc, nullptr);
    const int height = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) +
                                    pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    return MAX(height, kMinLineHeight);
}

// The header of a long message for the label, when it is short; else "".
gchar *headerForLabel(const pelidor::ShownText &shown) {
    if (!shown.wholeHeader || shown.headerLength > pelidor::kHeaderLabelBytes ||
        pelidor::countLines(shown.text, shown.headerLength) > pelidor::kHeaderLabelLines)
        return g_strdup("");
    return g_strndup(shown.text, shown.headerLength);
}

// A widget showing a text reads in the direction of the text's first strong
// character, as each of a text view's paragraphs does, so that the label
// and the scrolled area stand alike; a text without one keeps the default.
void followDirection(GtkWidget *widget, const char *text, size_t length) {
    // GTK+ 2's own text view picks a paragraph's direction with this
    // function, which pango has since deprecated without a replacement of
    // its own.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const PangoDirection direction = pango_find_base_dir(text, static_cast<gint>(length));
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (direction == PANGO_DIRECTION_RTL)
        gtk_widget_set_direction(widget, GTK_TEXT_DIR_RTL);
    else if (direction == PANGO_DIRECTION_LTR)
        gtk_widget_set_direction(widget, GTK_TEXT_DIR_LTR);
}

// The label holds the header, the area the rest: a copy of a selection that
// starts at the area's start is the header, its line feed and the
// selection, so that one select-all and copy takes the whole message.
void copyWithHeader(GtkTextView *view, gpointer header) {
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(view);
    GtkTextIter start, end;
    if (!gtk_text_buffer_get_selection_bounds(buffer, &start, &end) ||
        !gtk_text_iter_is_start(&start))
        return;  // GTK+ copies the selection
    gchar *selected = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    gchar *text = g_strconcat(static_cast<const gchar *>(header), "\n", selected, nullptr);
    gtk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(view), GDK_SELECTION_CLIPBOARD),
                           text, -1);
    g_free(text);
    g_free(selected);
    g_signal_stop_emission_by_name(view, "copy-clipboard");
}

// Fills the area: words wrap at spaces and inside a word only where it is
// too long for a line, but a paragraph that holds a run too long for pango
// to wrap by words in time wraps anywhere.
GtkTextBuffer *areaBuffer(const char *text, size_t length, size_t omitted) {
    GtkTextBuffer *buffer = gtk_text_buffer_new(nullptr);
    gtk_text_buffer_set_text(buffer, text, static_cast<gint>(length));
    GtkTextTag *anywhere = nullptr;
    size_t byte = 0;
    glong offset = 0;
    for (const pelidor::Range &r : pelidor::paragraphsWithLongRuns(text, length)) {
        if (!anywhere)
            anywhere =
                gtk_text_buffer_create_tag(buffer, nullptr, "wrap-mode", GTK_WRAP_CHAR, nullptr);
        offset += g_utf8_strlen(text + byte, static_cast<gssize>(r.begin - byte));
        const glong end =
            offset + g_utf8_strlen(text + r.begin, static_cast<gssize>(r.end - r.begin));
        GtkTextIter from, to;
        gtk_text_buffer_get_iter_at_offset(buffer, &from, static_cast<gint>(offset));
        gtk_text_buffer_get_iter_at_offset(buffer, &to, static_cast<gint>(end));
        gtk_text_buffer_apply_tag(buffer, anywhere, &from, &to);
        byte = r.end;
        offset = end;
    }
    if (omitted > 0) {
        GtkTextTag *markStyle = gtk_text_buffer_create_tag(
            buffer, nullptr, "style", PANGO_STYLE_ITALIC, "weight", PANGO_WEIGHT_BOLD, nullptr);
        gchar *mark = pelidor::cutMark(omitted);
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(buffer, &end);
        gtk_text_buffer_insert_with_tags(buffer, &end, mark, -1, markStyle, nullptr);
        g_free(mark);
    }
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    return buffer;
}

// Turns the dialog into the long form: the header in the label, and the
// rest of the shown text, with the cut mark when bytes were left out, in a
// read-only scrolled text view below it, as wide as the screen allows up
// to kRestMaxWidth and as high as it leaves free.  The label keeps the
// header only where it takes no room that the area needs: on one line, or
// with the area at its full height; else the header leads the area's text.
void makeLong(GtkMessageDialog *dialog, const pelidor::ShownText &shown, const GdkRectangle &area) {
    GtkWidget *label = dialog->label;
    gchar *header = headerForLabel(shown);
    g_object_set(dialog, "text", header, nullptr);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    followDirection(label, header, std::strlen(header));

    GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    GtkWidget *view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 4);
    gtk_text_view_set_right_margin(GTK_TEXT_VIEW(view), 4);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_box_pack_start(GTK_BOX(gtk_message_dialog_get_message_area(dialog)), scrolled, TRUE, TRUE,
                       0);
    gtk_widget_show_all(scrolled);

    // What the rest of the dialog takes, measured with the area at its
    // smallest: first its width, then, with the header wrapped to the
    // area's width, its height.
    gtk_widget_set_size_request(label, kRestMinWidth, -1);
    gtk_widget_set_size_request(scrolled, kRestMinWidth, kRestMinHeight);
    const int width = CLAMP(area.width - (sizeOf(GTK_WIDGET(dialog)).width - kRestMinWidth),
                            kRestMinWidth, kRestMaxWidth);
    gtk_widget_set_size_request(label, width, -1);
    const int wanted = kRestLines * lineHeight(view);
    const auto fitArea = [&] {
        gtk_widget_set_size_request(scrolled, width, kMeasureHeight);
        const int free = area.height - (sizeOf(GTK_WIDGET(dialog)).height - kMeasureHeight);
        const int height = CLAMP(free, kRestMinHeight, wanted);
        gtk_widget_set_size_request(scrolled, width, height);
        return height;
    };
    bool headerInLabel = *header != '\0';
    if (headerInLabel) {
        const int height = fitArea();
        const bool oneLine =
            pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(label))) <= 1;
        headerInLabel = (oneLine || height >= wanted) && fits(GTK_WIDGET(dialog), area);
    }
    if (headerInLabel) {
        // GTK+ 2 places a label's text by the room left beside its size
        // request, at its start for the text's direction: the request is
        // the wrapped header's own width, which wraps it the same way.
        PangoRectangle logical;
        pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &logical);
        gtk_widget_set_size_request(label, MIN(logical.width, width), -1);
    } else {
        g_object_set(dialog, "text", "", nullptr);
        gtk_widget_hide(label);
        fitArea();
    }

    // The buffer is filled, with its cursor at the start, before the view
    // shows it, and once the view is in place: each change to a shown
    // buffer, and to the view's place, lays the paragraph in view out anew.
    const size_t skip = headerInLabel ? shown.headerLength + 1 : 0;
    const char *text = shown.text + skip;
    const size_t length = shown.length - skip;
    followDirection(view, text, length);
    GtkTextBuffer *buffer = areaBuffer(text, length, shown.omitted);
    gtk_text_view_set_buffer(GTK_TEXT_VIEW(view), buffer);
    g_object_unref(buffer);
    if (headerInLabel)
        g_signal_connect_data(
            view, "copy-clipboard", G_CALLBACK(copyWithHeader), header,
            +[](gpointer data, GClosure *) { g_free(data); }, GConnectFlags(0));
    else
        g_free(header);

    // The text view would otherwise take the focus from the Close button.
    GtkWidget *close = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CLOSE);
    if (close) gtk_widget_grab_focus(close);
}

}  // namespace

void pelidor::runDialog(const ShownText &shown, GtkWidget *parent) {
    GtkWindow *window = parentWindow(parent);
    const GdkRectangle area = usableArea(window);

    // Only a message that may fit is laid out whole, in the label: GTK+ lays
    // out any other in time that grows too fast with its lines.
    const bool mayFit =
        shown.omitted == 0 && shown.length <= kLabelBytes &&
        countLines(shown.text, shown.length) <= size_t(MAX(area.height, 0) / kMinLineHeight);
    GtkWidget *dialog =
        gtk_message_dialog_new(window, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_ERROR,
                               GTK_BUTTONS_CLOSE, "%s", mayFit ? shown.text : "");
    if (!dialog) return;
    if (mayFit) followDirection(GTK_MESSAGE_DIALOG(dialog)->label, shown.text, shown.length);
    if (!mayFit || !fits(dialog, area)) makeLong(GTK_MESSAGE_DIALOG(dialog), shown, area);

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
}

extern "C" void qolt_gui_dialog_show(const char *header, const char *body, GtkWidget *parent) {
    pelidor::showMessage(pelidor::composeShownText(header, body), parent);
}
