// The real dialogs on a real X server: what qolt_gui_dialog_show and
// qolt_gui_errhandler put on screen, for every action and result code, read
// back from the live GtkMessageDialog and closed by the test.
#include <climits>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "gui_fixture.h"
#include "pelidor/gui_errhandler.h"

namespace {

void expectErrorDialog(const SeenDialog &seen, const std::string &text, GtkWindow *parent) {
    EXPECT_EQ(1, seen.sightings) << "exactly one message dialog while the call runs";
    EXPECT_EQ(text, seen.text);
    EXPECT_EQ(text, seen.labelText);
    EXPECT_FALSE(seen.secondaryText);
    EXPECT_FALSE(seen.useMarkup);
    EXPECT_EQ(GTK_MESSAGE_ERROR, seen.type);
    EXPECT_EQ(1, seen.buttons);
    EXPECT_TRUE(seen.closeButton) << "the one button is the stock Close button";
    EXPECT_EQ(parent, seen.transientFor);
    EXPECT_TRUE(seen.destroyWithParent);
    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.finalized) << "the dialog is freed when the call returns";
    EXPECT_FALSE(seen.hasTitle) << "an alert's window has no title";
    EXPECT_FALSE(seen.restShown) << "a short message has no scrolled area";
}

// A shown window holding a box with a button: the button is the parent a
// client may pass (the widget that was clicked, say).
struct WindowWithButton {
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *button = gtk_button_new_with_label("Vernieuwen");
    explicit WindowWithButton(bool show = true) {
        GtkWidget *box = gtk_vbox_new(FALSE, 0);
        gtk_container_add(GTK_CONTAINER(box), button);
        gtk_container_add(GTK_CONTAINER(window), box);
        if (show) gtk_widget_show_all(window);
    }
};

// ---- qolt_gui_dialog_show, called directly as a client may -------------

class GuiDialogShow : public GuiTest {};
class GuiErrhandler : public GuiTest {};

TEST_F(GuiDialogShow, HeaderAndBodyAreTwoLines) {
    GtkWidget *parent = makeParent();
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show("A", "B", parent); });
    expectErrorDialog(seen, "A\nB", GTK_WINDOW(parent));
    gtk_widget_destroy(parent);
}

TEST_F(GuiDialogShow, NullHeaderShowsBodyAlone) {
    GtkWidget *parent = makeParent();
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show(nullptr, "Alleen dit", parent); });
    expectErrorDialog(seen, "Alleen dit", GTK_WINDOW(parent));
    gtk_widget_destroy(parent);
}

TEST_F(GuiDialogShow, ConversionSequencesShownLiterally) {
    // %n would write through a stack slot if the text were ever a format.
    const char *body = "100% %s %d %n %%";
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show("%s kop %x", body, nullptr); });
    expectErrorDialog(seen, std::string("%s kop %x\n") + body, nullptr);
}

TEST_F(GuiDialogShow, NullParentStillShowsDialog) {
    SeenDialog seen = showAndClose([] { qolt_gui_dialog_show("Kop", "Tekst", nullptr); });
    expectErrorDialog(seen, "Kop\nTekst", nullptr);
}

TEST_F(GuiDialogShow, NullBodyIsEmptyText) {
    SeenDialog seen = showAndClose([] { qolt_gui_dialog_show("Kop", nullptr, nullptr); });
    expectErrorDialog(seen, "Kop\n", nullptr);
    seen = showAndClose([] { qolt_gui_dialog_show(nullptr, nullptr, nullptr); });
    expectErrorDialog(seen, "", nullptr);
}

TEST_F(GuiDialogShow, Utf8AndEmptyTextsPassUnchanged) {
    SeenDialog seen = showAndClose([] { qolt_gui_dialog_show("", "café – €", nullptr); });
    expectErrorDialog(seen, "\ncafé – €", nullptr);
}

// The client destroys its main window while the dialog runs (a timeout of
// its own fires in the nested loop). The dialog goes with its parent; the
// call must return without touching the freed widget or making GTK warn.
TEST_F(GuiDialogShow, ParentDestroyedWhileRunning) {
    GtkWidget *parent = makeParent();
    bool parentGone = false;
    g_signal_connect(parent, "destroy", G_CALLBACK(+[](GtkWidget *, gpointer gone) {
                         *static_cast<bool *>(gone) = true;
                     }),
                     &parentGone);
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show("Kop", "Tekst", parent); },
                                   [&](GtkDialog *) {
                                       g_timeout_add(20, +[](gpointer window) {
                                           gtk_widget_destroy(GTK_WIDGET(window));
                                           return G_SOURCE_REMOVE;
                                       }, parent);
                                   });
    EXPECT_TRUE(parentGone);
    EXPECT_EQ(1, seen.sightings);
    EXPECT_TRUE(seen.finalized) << "the dialog was destroyed with its parent and freed";
}

// ---- parents that are not windows ------------------------------------------
// GTK+ refuses a parent that is not a GtkWindow; the library stands in the
// parent's toplevel window for it, or no parent. The fixture fails the test
// on any GTK+ or GLib warning.

TEST_F(GuiDialogShow, ButtonInsideWindowGivesThatWindow) {
    WindowWithButton w;
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show("Kop", "Tekst", w.button); });
    expectErrorDialog(seen, "Kop\nTekst", GTK_WINDOW(w.window));
    gtk_widget_destroy(w.window);
}

TEST_F(GuiDialogShow, ButtonInsideWindowNotYetShownGivesThatWindow) {
    WindowWithButton w(false);
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show(nullptr, "Tekst", w.button); });
    expectErrorDialog(seen, "Tekst", GTK_WINDOW(w.window));
    gtk_widget_destroy(w.window);
}

TEST_F(GuiDialogShow, LooseLabelGivesNoParent) {
    GtkWidget *label = gtk_label_new("los");
    g_object_ref_sink(label);
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show("Kop", "Tekst", label); });
    expectErrorDialog(seen, "Kop\nTekst", nullptr);
    gtk_widget_destroy(label);
    g_object_unref(label);
}

TEST_F(GuiDialogShow, ButtonInLooseBoxGivesNoParent) {
    GtkWidget *box = gtk_hbox_new(FALSE, 0);
    g_object_ref_sink(box);
    GtkWidget *button = gtk_button_new_with_label("los");
    gtk_container_add(GTK_CONTAINER(box), button);
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show(nullptr, "Tekst", button); });
    expectErrorDialog(seen, "Tekst", nullptr);
    gtk_widget_destroy(box);
    g_object_unref(box);
}

// The dialog goes with the button's window, as it goes with a window parent.
TEST_F(GuiDialogShow, ButtonsWindowDestroyedWhileRunning) {
    WindowWithButton w;
    SeenDialog seen = showAndClose([&] { qolt_gui_dialog_show("Kop", "Tekst", w.button); },
                                   [&](GtkDialog *) { gtk_widget_destroy(w.window); });
    EXPECT_EQ(1, seen.sightings);
    // Compared as addresses: the window is gone.
    EXPECT_EQ(static_cast<void *>(w.window), static_cast<void *>(seen.transientFor));
    EXPECT_TRUE(seen.finalized) << "the dialog was destroyed with the button's window and freed";
}

TEST_F(GuiErrhandler, ButtonInsideWindowGivesThatWindow) {
    WindowWithButton w;
    SeenDialog seen = showAndClose([&] { qolt_gui_errhandler(w.button, ACT_GET_MAIL, RES_TIMEOUT, nullptr); });
    expectErrorDialog(seen, "Het ophalen van QOLT Mail is mislukt\nMaximumtijd voor ophalen gegevens verlopen",
                      GTK_WINDOW(w.window));
    gtk_widget_destroy(w.window);
}

TEST_F(GuiErrhandler, LooseLabelGivesNoParent) {
    GtkWidget *label = gtk_label_new("los");
    g_object_ref_sink(label);
    SeenDialog seen = showAndClose([&] { qolt_gui_errhandler(label, 12, RES_SERVER_NOTICE, "let op"); });
    expectErrorDialog(seen, "Servermededeling ontvangen: let op", nullptr);
    gtk_widget_destroy(label);
    g_object_unref(label);
}

// ---- qolt_gui_errhandler: every action crossed with every result ----------

const char kDetail[] = "regel 12: '%s' verwacht, 100% %d";

class GuiErrhandlerMatrix : public GuiTest, public ::testing::WithParamInterface<unsigned int> {};

TEST_P(GuiErrhandlerMatrix, EveryResultCode) {
    const unsigned int action = GetParam();
    GtkWidget *parent = makeParent();
    for (int result = 0; result <= 29; ++result) {
        SCOPED_TRACE("action " + std::to_string(action) + ", result " + std::to_string(result));
        SeenDialog seen;
        const std::string err = captureStderr([&] {
            seen = showAndClose([&] { qolt_gui_errhandler(parent, action, result, kDetail); });
        });
        EXPECT_EQ("", err);
        const ExpectedDialog expected = expectedDialog(action, result, kDetail);
        if (expected.shown)
            expectErrorDialog(seen, expected.text, GTK_WINDOW(parent));
        else
            EXPECT_EQ(0, seen.sightings) << "result 0 shows nothing";
    }
    gtk_widget_destroy(parent);
}

INSTANTIATE_TEST_SUITE_P(Codes, GuiErrhandlerMatrix,
                         ::testing::Values(0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u,
                                           // no header:
                                           12u, 1000u, 0xFFFFFFFFu),
                         [](const ::testing::TestParamInfo<unsigned int> &param) {
                             return "Action" + std::to_string(param.param);
                         });

// ---- qolt_gui_errhandler: the edges -------------------------------------

TEST_F(GuiErrhandler, InvalidResultWritesOneLineAndShowsNothing) {
    const std::vector<std::pair<int, std::string>> cases = {
        {30, "30"}, {-1, "-1"}, {31, "31"}, {1000, "1000"},
        {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (unsigned int action : {0u, 3u, 12u, 0xFFFFFFFFu}) {
        for (const auto &c : cases) {
            const int result = c.first;
            const std::string &printed = c.second;
            SCOPED_TRACE("action " + std::to_string(action) + ", result " + printed);
            SeenDialog seen;
            const std::string err = captureStderr([&] {
                seen = showAndClose([&] { qolt_gui_errhandler(nullptr, action, result, "x"); });
            });
            EXPECT_EQ("qolt_gui_errhandler(): Ongeldige retval " + printed + "!\n", err);
            EXPECT_EQ(0, seen.sightings);
        }
    }
}

TEST_F(GuiErrhandler, NullDetailIsEmptyText) {
    SeenDialog seen = showAndClose([] { qolt_gui_errhandler(nullptr, 4, RES_PARSE_FAILED, nullptr); });
    expectErrorDialog(seen, expectedDialog(4, 11, "").text, nullptr);
    EXPECT_EQ("Het ophalen van QOLT Mail is mislukt\nHet parsen van de gegevens is mislukt :\n", seen.text);
    seen = showAndClose([] { qolt_gui_errhandler(nullptr, 12, RES_SERVER_NOTICE, nullptr); });
    expectErrorDialog(seen, "Servermededeling ontvangen: ", nullptr);
}

TEST_F(GuiErrhandler, NullDetailIgnoredByOtherResults) {
    SeenDialog seen = showAndClose([] { qolt_gui_errhandler(nullptr, 3, RES_NO_CONNECTION, nullptr); });
    expectErrorDialog(seen,
                      "Het controleren op nieuwe QOLT Mail is mislukt\nIs de internetverbinding wel actief ?",
                      nullptr);
}

TEST_F(GuiErrhandler, ParentDestroyedWhileRunning) {
    GtkWidget *parent = makeParent();
    SeenDialog seen = showAndClose([&] { qolt_gui_errhandler(parent, 0, RES_SERVER_NOTICE, "%s%s%n"); },
                                   [&](GtkDialog *) { gtk_widget_destroy(parent); });
    EXPECT_EQ("Het updaten van de lijst met postings is mislukt.\nServermededeling ontvangen: %s%s%n", seen.text);
    EXPECT_TRUE(seen.finalized);
}

}  // namespace
