// The real dialogs on a real X server: what qolt_gui_dialog_show and
// qolt_gui_errhandler put on screen, for every action and result code, read
// back from the live GtkMessageDialog and closed by the test.
#include <atomic>
#include <climits>
#include <set>
#include <string>
#include <thread>
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
                                       g_timeout_add(
                                           20,
                                           +[](gpointer window) {
                                               gtk_widget_destroy(GTK_WIDGET(window));
                                               return G_SOURCE_REMOVE;
                                           },
                                           parent);
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
    SeenDialog seen =
        showAndClose([&] { qolt_gui_errhandler(w.button, ACT_GET_MAIL, RES_TIMEOUT, nullptr); });
    expectErrorDialog(seen,
                      "Het ophalen van QOLT Mail is mislukt\n"
                      "Maximumtijd voor ophalen gegevens verlopen",
                      GTK_WINDOW(w.window));
    gtk_widget_destroy(w.window);
}

TEST_F(GuiErrhandler, LooseLabelGivesNoParent) {
    GtkWidget *label = gtk_label_new("los");
    g_object_ref_sink(label);
    SeenDialog seen =
        showAndClose([&] { qolt_gui_errhandler(label, 12, RES_SERVER_NOTICE, "let op"); });
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
    const std::vector<std::pair<int, std::string>> cases = {{30, "30"},
                                                            {-1, "-1"},
                                                            {31, "31"},
                                                            {1000, "1000"},
                                                            {INT_MAX, "2147483647"},
                                                            {INT_MIN, "-2147483648"}};
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
    SeenDialog seen =
        showAndClose([] { qolt_gui_errhandler(nullptr, 4, RES_PARSE_FAILED, nullptr); });
    expectErrorDialog(seen, expectedDialog(4, 11, "").text, nullptr);
    EXPECT_EQ(
        "Het ophalen van QOLT Mail is mislukt\n"
        "Het parsen van de gegevens is mislukt :\n",
        seen.text);
    seen = showAndClose([] { qolt_gui_errhandler(nullptr, 12, RES_SERVER_NOTICE, nullptr); });
    expectErrorDialog(seen, "Servermededeling ontvangen: ", nullptr);
}

TEST_F(GuiErrhandler, NullDetailIgnoredByOtherResults) {
    SeenDialog seen =
        showAndClose([] { qolt_gui_errhandler(nullptr, 3, RES_NO_CONNECTION, nullptr); });
    expectErrorDialog(seen,
                      "Het controleren op nieuwe QOLT Mail is mislukt\n"
                      "Is de internetverbinding wel actief ?",
                      nullptr);
}

TEST_F(GuiErrhandler, ParentDestroyedWhileRunning) {
    GtkWidget *parent = makeParent();
    SeenDialog seen =
        showAndClose([&] { qolt_gui_errhandler(parent, 0, RES_SERVER_NOTICE, "%s%s%n"); },
                     [&](GtkDialog *) { gtk_widget_destroy(parent); });
    EXPECT_EQ(
        "Het updaten van de lijst met postings is mislukt.\n"
        "Servermededeling ontvangen: %s%s%n",
        seen.text);
    EXPECT_TRUE(seen.finalized);
}

// ---- calls from other threads ---------------------------------------------
// A call from a thread other than the one running the GTK+ main loop is
// handed to that thread and waits there; with no loop running, the call
// shows its dialog where it is made.  (tools/check_tsan.sh runs every test
// whose name holds "Thread".)

class GuiThreads : public GuiTest {};

struct LoopWatch {
    std::set<GObject *> answered;  // until freed: the next dialog may take the address
    std::vector<std::string> texts;
    std::vector<GtkWindow *> parents;
    std::vector<std::thread::id> answeredBy;
    std::atomic<int> finalized{0};
};

// Answers every message dialog that comes, from the loop's thread.
gboolean answerDialogs(gpointer data) {
    auto *watch = static_cast<LoopWatch *>(data);
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *l = toplevels; l; l = l->next) {
        if (!GTK_IS_MESSAGE_DIALOG(l->data) || watch->answered.count(G_OBJECT(l->data))) continue;
        GtkDialog *dialog = GTK_DIALOG(l->data);
        watch->answered.insert(G_OBJECT(dialog));
        gchar *text = nullptr;
        g_object_get(dialog, "text", &text, nullptr);
        watch->texts.push_back(text ? text : "");
        g_free(text);
        watch->parents.push_back(gtk_window_get_transient_for(GTK_WINDOW(dialog)));
        watch->answeredBy.push_back(std::this_thread::get_id());
        g_object_weak_ref(
            G_OBJECT(dialog),
            [](gpointer w, GObject *gone) {
                static_cast<LoopWatch *>(w)->answered.erase(gone);
                static_cast<LoopWatch *>(w)->finalized.fetch_add(1);
            },
            watch);
        gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
    }
    g_list_free(toplevels);
    return G_SOURCE_CONTINUE;
}

// While this thread runs the main loop, a second thread calls both exports
// 100 times: every dialog is shown and closed in this thread, and every
// call returns only once its dialog is gone.
TEST_F(GuiThreads, SecondThreadCallsWhileTheLoopRuns) {
    constexpr int kCalls = 100;
    extendWatchdog(120);
    GtkWidget *parent = makeParent();
    LoopWatch watch;
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    const guint answering = g_timeout_add(2, answerDialogs, &watch);
    std::atomic<int> early{0};
    std::thread caller;
    // Started from inside the loop, so that it runs before the first call.
    auto start = [&] {
        caller = std::thread([&] {
            for (int i = 0; i < kCalls; ++i) {
                if (i % 2)
                    qolt_gui_dialog_show("Kop", ("Tekst " + std::to_string(i)).c_str(), nullptr);
                else
                    qolt_gui_errhandler(parent, ACT_GET_MAIL, RES_TIMEOUT, nullptr);
                if (watch.finalized.load() != i + 1) early.fetch_add(1);
            }
            g_main_loop_quit(loop);
        });
    };
    g_idle_add(
        +[](gpointer f) {
            (*static_cast<decltype(start) *>(f))();
            return G_SOURCE_REMOVE;
        },
        &start);
    g_main_loop_run(loop);
    caller.join();
    g_source_remove(answering);
    g_main_loop_unref(loop);

    EXPECT_EQ(0, early.load()) << "calls returned before their dialog was closed";
    EXPECT_EQ(kCalls, watch.finalized.load());
    ASSERT_EQ(size_t(kCalls), watch.texts.size());
    for (int i = 0; i < kCalls; ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_EQ(std::this_thread::get_id(), watch.answeredBy[i]) << "shown by the loop's thread";
        if (i % 2) {
            EXPECT_EQ("Kop\nTekst " + std::to_string(i), watch.texts[i]);
            EXPECT_EQ(nullptr, watch.parents[i]);
        } else {
            EXPECT_EQ(
                "Het ophalen van QOLT Mail is mislukt\n"
                "Maximumtijd voor ophalen gegevens verlopen",
                watch.texts[i]);
            EXPECT_EQ(GTK_WINDOW(parent), watch.parents[i]);
        }
    }
    gtk_widget_destroy(parent);
}

// No thread runs the loop (this one only waits): the second thread shows
// the dialog itself and runs its loop, which closes it.
TEST_F(GuiThreads, SecondThreadShowsItselfWhenNoLoopRuns) {
    std::thread::id shownBy, callerId;
    SeenDialog seen = showAndClose(
        [&] {
            std::thread caller([] { qolt_gui_dialog_show("Kop", "Tekst", nullptr); });
            callerId = caller.get_id();
            caller.join();
        },
        [&](GtkDialog *dialog) {
            shownBy = std::this_thread::get_id();
            gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
        });
    expectErrorDialog(seen, "Kop\nTekst", nullptr);
    EXPECT_EQ(callerId, shownBy);
}

// The loop's thread waits for the caller instead of running the loop: the
// dialog cannot be shown, so the message goes to stderr after a while and
// both threads go on; the dialog never comes afterwards either.
TEST_F(GuiThreads, LoopThreadWaitingForTheCallerGetsTheMessageOnStderr) {
    GMainContext *context = g_main_context_default();
    ASSERT_TRUE(g_main_context_acquire(context));
    const std::string err = captureStderr([] {
        std::thread caller(
            [] { qolt_gui_errhandler(nullptr, ACT_CHECK_MAIL, RES_NO_CONNECTION, nullptr); });
        caller.join();
    });
    g_main_context_release(context);
    EXPECT_EQ(
        "Het controleren op nieuwe QOLT Mail is mislukt\n"
        "Is de internetverbinding wel actief ?\n",
        err);
    const SeenDialog seen = showAndClose([] { iterateUntil([] { return false; }, 200); });
    EXPECT_EQ(0, seen.sightings);
}

}  // namespace
