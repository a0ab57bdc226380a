// A GoogleTest fixture for tests against a real X server: GTK+ is started
// with gtk_init_check(), a watchdog fails the test if a dialog never comes
// or never goes, and every GLib warning or critical fails the test too.
#ifndef PELIDOR_GUI_FIXTURE_H
#define PELIDOR_GUI_FIXTURE_H

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>

inline constexpr int kLogDomainCount = 5;

// What a test saw of the message dialog shown during one call.
struct SeenDialog {
    int sightings = 0;      // message dialogs among the toplevels at once
    std::string text;       // "text" property
    std::string labelText;  // what the label displays
    bool labelShown = false;
    bool secondaryText = false;
    bool useMarkup = false;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    int buttons = 0;           // buttons in the action area
    bool closeButton = false;  // the one button is gtk-close, response Close
    GtkWindow *transientFor = nullptr;
    bool destroyWithParent = false;
    bool visible = false;
    bool finalized = false;  // set when the dialog object is freed
    bool hasTitle = true;    // the window has a title (GNOME alerts have none)
    // A long message's scrolled area: shown or not, its text up to the first
    // italic character, and from there (the cut mark).
    bool restShown = false;
    std::string restText;
    std::string restMark;
    GtkWrapMode restWrap = GTK_WRAP_NONE;
    bool focusOnClose = false;  // the window's focus widget is the Close button

    // Filled in by showAndClose(call, {}, true), which closes the dialog once
    // it is on the screen: the seconds from the call to the dialog's
    // map-event, and the dialog's window, its Close button and the screen,
    // in the screen's coordinates (Xvfb has no window manager, so no frame).
    double mapSeconds = -1;
    GdkRectangle window = {0, 0, 0, 0};
    GdkRectangle close = {0, 0, 0, 0};
    GdkRectangle screen = {0, 0, 0, 0};
    // The scrolled area, on the screen; the height of a line of its font;
    // whether it scrolls sideways (its horizontal scroll bar is shown).
    GdkRectangle rest = {0, 0, 0, 0};
    int restLineHeight = 0;
    bool restScrollsSideways = false;
};

class GuiTest : public ::testing::Test {
public:
    using React = std::function<void(GtkDialog *)>;

    // Runs call() with fd 2 redirected to a temporary file; returns what was
    // written there.
    static std::string captureStderr(const std::function<void()> &call);

    // The dialog's text view (of a long message), or null.
    static GtkWidget *textViewOf(GtkDialog *dialog);

    // Lets the main loop run until done() holds or timeoutMs passes.
    static bool iterateUntil(const std::function<bool()> &done, int timeoutMs);

protected:
    void SetUp() override;
    void TearDown() override;

    // Runs call() (which is to show one dialog) from inside the main loop
    // and watches for message dialogs among the toplevel windows. When one
    // appears, it is recorded and handed to react(), which by default
    // answers it with Close. Returns what was seen; seen.sightings is 0
    // when no dialog appeared before call() returned. With waitForMap, the
    // dialog is answered only once it is mapped, and its time to map and
    // its place on the screen are recorded; react(), if given, is then
    // called instead of answering, and must answer the dialog itself.
    SeenDialog showAndClose(const std::function<void()> &call, React react = {},
                            bool waitForMap = false);

    // A real, shown toplevel window to be the dialogs' parent.
    GtkWidget *makeParent();

    // Gives a long test this many seconds before the watchdog fails it.
    void extendWatchdog(unsigned seconds);

private:
    static gboolean watchdog(gpointer self);
    guint watchdogId_ = 0;
    guint logHandlers_[kLogDomainCount] = {};
};

#endif  // PELIDOR_GUI_FIXTURE_H
