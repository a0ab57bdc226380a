// The real dialogs on a real X server: what qolt_gui_dialog_show and
// qolt_gui_errhandler put on screen, for every action and result code, read
// back from the live GtkMessageDialog and closed by the test.
#include <atomic>
#include <climits>
#include <cstdio>
#include <mutex>
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
// GTK+ is driven by one thread: the one that runs the default main context's
// loop, else the main thread.  A call from any other thread waits for that
// thread, whatever it is doing when the call comes: running the loop,
// building windows before its loop, or about to enter it.  In every run no
// dialog is mapped, and no timer of the client's fires, off the main thread,
// and each call returns only once its dialog is gone.  (tools/check_tsan.sh
// runs every test whose name holds "Thread", under ThreadSanitizer.)

class GuiThreads : public GuiTest {};

constexpr int kRuns = 20;

// What happened on which thread, counted from any thread.
struct ThreadLog {
    std::thread::id main = std::this_thread::get_id();
    std::atomic<int> dialogMaps{0};
    std::atomic<int> dialogMapsOffMain{0};
    std::atomic<int> ticks{0};
    std::atomic<int> ticksOffMain{0};

    bool onMain() const { return std::this_thread::get_id() == main; }
};

// Every message dialog's "map", in the thread that maps it.
gboolean noteDialogMap(GSignalInvocationHint *, guint, const GValue *params, gpointer data) {
    auto *log = static_cast<ThreadLog *>(data);
    if (GTK_IS_MESSAGE_DIALOG(g_value_get_object(&params[0]))) {
        log->dialogMaps.fetch_add(1);
        if (!log->onMain()) log->dialogMapsOffMain.fetch_add(1);
    }
    return TRUE;
}

// A timer of the client's own.
gboolean clientTick(gpointer data) {
    auto *log = static_cast<ThreadLog *>(data);
    log->ticks.fetch_add(1);
    if (!log->onMain()) log->ticksOffMain.fetch_add(1);
    return G_SOURCE_CONTINUE;
}

struct LoopWatch {
    std::set<GObject *> answered;  // until freed: the next dialog may take the address
    std::vector<std::string> texts;
    std::vector<GtkWindow *> parents;
    std::vector<std::thread::id> answeredBy;
    std::atomic<int> finalized{0};
    std::mutex closedMutex;
    std::multiset<std::string> closed;  // the texts of the dialogs freed

    bool wasClosed(const std::string &text) {
        std::lock_guard<std::mutex> lock(closedMutex);
        return closed.count(text) > 0;
    }
};

struct Closing {
    LoopWatch *watch;
    std::string text;
};

// Answers every message dialog that comes, from the thread that iterates
// the default context.
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
            [](gpointer closingData, GObject *gone) {
                auto *closing = static_cast<Closing *>(closingData);
                closing->watch->answered.erase(gone);
                {
                    std::lock_guard<std::mutex> lock(closing->watch->closedMutex);
                    closing->watch->closed.insert(closing->text);
                }
                closing->watch->finalized.fetch_add(1);
                delete closing;
            },
            new Closing{watch, watch->texts.back()});
        gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
    }
    g_list_free(toplevels);
    return G_SOURCE_CONTINUE;
}

// What the main thread does while the workers make their first calls.
enum class MainThread {
    RunsTheLoop,         // already in gtk_main()
    BuildsWindowsFirst,  // builds, shows and destroys windows, then gtk_main()
    EntersTheLoopLater,  // 50 ms, then gtk_main()
};

// A client's windows built and torn down between gtk_init() and gtk_main()
// for about `ms` milliseconds: realised, shown, styled, unrealised.
void buildWindows(int ms) {
    const gint64 end = g_get_monotonic_time() + gint64{ms} * 1000;
    do {
        GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWidget *box = gtk_vbox_new(FALSE, 2);
        for (int i = 0; i < 12; ++i) {
            gtk_box_pack_start(GTK_BOX(box), gtk_label_new("Postings"), FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(box), gtk_button_new_with_label("Vernieuwen"), FALSE, FALSE,
                               0);
        }
        gtk_container_add(GTK_CONTAINER(window), box);
        gtk_widget_show_all(window);
        gtk_widget_hide(window);
        gtk_widget_unrealize(window);
        gtk_widget_destroy(window);
    } while (g_get_monotonic_time() < end);
}

// The call `i` of worker `w`: its text is its own, so that the test knows
// when its dialog is gone.
struct Call {
    bool direct;  // qolt_gui_dialog_show, else qolt_gui_errhandler with a parent
    std::string detail;
    std::string text;
};

Call callOf(int w, int i) {
    const std::string detail = std::to_string(w) + "-" + std::to_string(i);
    if (i % 2) return {true, detail, "Kop\nTekst " + detail};
    return {false, detail, expectedDialog(ACT_GET_MAIL, RES_SERVER_NOTICE, detail.c_str()).text};
}

struct Run {
    int early = 0;  // calls that returned before their dialog was freed
    LoopWatch watch;
    std::string err;
};

// One run: `workers` threads make `calls` calls each, alternating between
// the two exports, while the main thread does `what`, then runs gtk_main()
// until the last call has returned.
void runWorkers(Run &run, MainThread what, int workers, int calls, GtkWidget *parent) {
    std::atomic<int> early{0}, running{workers};
    std::vector<std::thread> threads;
    auto work = [&](int w) {
        for (int i = 0; i < calls; ++i) {
            const Call call = callOf(w, i);
            if (call.direct)
                qolt_gui_dialog_show("Kop", ("Tekst " + call.detail).c_str(), nullptr);
            else
                qolt_gui_errhandler(parent, ACT_GET_MAIL, RES_SERVER_NOTICE, call.detail.c_str());
            if (!run.watch.wasClosed(call.text)) early.fetch_add(1);
        }
        if (running.fetch_sub(1) == 1)
            g_idle_add(
                +[](gpointer) {
                    gtk_main_quit();
                    return G_SOURCE_REMOVE;
                },
                nullptr);
    };
    auto startAll = [&] {
        for (int w = 0; w < workers; ++w) threads.emplace_back(work, w);
    };
    const guint answering = g_timeout_add(2, answerDialogs, &run.watch);
    run.err = GuiTest::captureStderr([&] {
        switch (what) {
        case MainThread::RunsTheLoop:
            // Started from inside the loop, before the first call.
            g_idle_add(
                +[](gpointer start) {
                    (*static_cast<decltype(startAll) *>(start))();
                    return G_SOURCE_REMOVE;
                },
                &startAll);
            break;
        case MainThread::BuildsWindowsFirst:
            startAll();
            buildWindows(60);
            break;
        case MainThread::EntersTheLoopLater:
            startAll();
            g_usleep(50 * 1000);
            break;
        }
        gtk_main();
        for (std::thread &t : threads) t.join();
    });
    g_source_remove(answering);
    run.early = early.load();
}

// Runs the case kRuns times with the client's timer and the dialog-map
// watch in place, and checks every run.
void expectEveryRunOnTheMainThread(MainThread what, int workers, int calls) {
    ThreadLog log;
    gpointer widgetClass = g_type_class_ref(GTK_TYPE_WIDGET);
    const guint map = g_signal_lookup("map", GTK_TYPE_WIDGET);
    const gulong hook = g_signal_add_emission_hook(map, 0, noteDialogMap, &log, nullptr);
    const guint timer = g_timeout_add(3, clientTick, &log);
    GtkWidget *parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    for (int r = 0; r < kRuns; ++r) {
        SCOPED_TRACE("run " + std::to_string(r + 1));
        const int mapsBefore = log.dialogMaps.load();
        const int offBefore = log.dialogMapsOffMain.load();
        const int ticksBefore = log.ticks.load(), ticksOffBefore = log.ticksOffMain.load();
        Run run;
        runWorkers(run, what, workers, calls, parent);
        const int total = workers * calls;
        EXPECT_EQ("", run.err) << "no call gave up on its dialog";
        EXPECT_EQ(0, run.early) << "calls returned before their dialog was closed";
        EXPECT_EQ(total, run.watch.finalized.load());
        EXPECT_EQ(total, log.dialogMaps.load() - mapsBefore) << "every dialog was mapped";
        ASSERT_EQ(size_t(total), run.watch.texts.size());
        std::multiset<std::string> expected, seen(run.watch.texts.begin(), run.watch.texts.end());
        for (int w = 0; w < workers; ++w)
            for (int i = 0; i < calls; ++i) expected.insert(callOf(w, i).text);
        EXPECT_TRUE(expected == seen) << "every call showed its own dialog once";
        for (size_t i = 0; i < run.watch.texts.size(); ++i) {
            SCOPED_TRACE(run.watch.texts[i]);
            EXPECT_EQ(log.main, run.watch.answeredBy[i]);
            const bool direct = run.watch.texts[i].rfind("Kop\n", 0) == 0;
            EXPECT_EQ(direct ? nullptr : GTK_WINDOW(parent), run.watch.parents[i]);
        }
        const int mapsOff = log.dialogMapsOffMain.load() - offBefore;
        const int ticks = log.ticks.load() - ticksBefore;
        const int ticksOff = log.ticksOffMain.load() - ticksOffBefore;
        EXPECT_EQ(0, mapsOff) << "a dialog was mapped off the main thread";
        EXPECT_EQ(0, ticksOff) << "the client's timer ran off the main thread";
        std::printf(
            "[ THREADS  ] run %2d: %d calls, %d dialogs mapped, %d off the main thread; "
            "%d timer ticks, %d off it\n",
            r + 1, total, log.dialogMaps.load() - mapsBefore, mapsOff, ticks, ticksOff);
    }
    EXPECT_GT(log.ticks.load(), 0) << "the timer ran at all";
    g_source_remove(timer);
    g_signal_remove_emission_hook(map, hook);
    g_type_class_unref(widgetClass);
    gtk_widget_destroy(parent);
}

// A worker calls while the main thread builds its windows after gtk_init()
// and before gtk_main(): the dialogs wait for gtk_main(), never drawn beside
// the main thread's widgets.
TEST_F(GuiThreads, WorkerCallsWhileMainThreadBuildsWindows) {
    extendWatchdog(240);
    expectEveryRunOnTheMainThread(MainThread::BuildsWindowsFirst, 1, 3);
}

// A worker calls 50 ms before the main thread enters gtk_main(): its dialogs
// and the client's timer all run in gtk_main(), on the main thread.
TEST_F(GuiThreads, WorkerCallsJustBeforeTheLoopRuns) {
    extendWatchdog(240);
    expectEveryRunOnTheMainThread(MainThread::EntersTheLoopLater, 1, 3);
}

// While the main thread runs the loop: one worker, then two at once.
TEST_F(GuiThreads, WorkerCallsWhileTheLoopRuns) {
    extendWatchdog(240);
    expectEveryRunOnTheMainThread(MainThread::RunsTheLoop, 1, 6);
}

TEST_F(GuiThreads, TwoWorkersCallWhileTheLoopRuns) {
    extendWatchdog(240);
    expectEveryRunOnTheMainThread(MainThread::RunsTheLoop, 2, 4);
}

// Whichever thread runs the default context's loop drives GTK+: a call from
// the main thread while a worker runs it is shown by the worker.
TEST_F(GuiThreads, MainThreadCallGoesToTheThreadRunningTheLoop) {
    LoopWatch watch;
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    std::atomic<bool> running{false};
    std::thread::id loopThread;
    std::thread runner([&] {
        loopThread = std::this_thread::get_id();
        const guint answering = g_timeout_add(2, answerDialogs, &watch);
        g_idle_add(
            +[](gpointer flag) {
                static_cast<std::atomic<bool> *>(flag)->store(true);
                return G_SOURCE_REMOVE;
            },
            &running);
        g_main_loop_run(loop);
        g_source_remove(answering);
    });
    while (!running.load()) g_usleep(1000);
    const std::string err = captureStderr([] { qolt_gui_dialog_show("Kop", "Tekst", nullptr); });
    g_main_loop_quit(loop);
    runner.join();
    g_main_loop_unref(loop);
    EXPECT_EQ("", err);
    ASSERT_EQ(1u, watch.texts.size());
    EXPECT_EQ("Kop\nTekst", watch.texts[0]);
    EXPECT_EQ(loopThread, watch.answeredBy[0]);
    EXPECT_EQ(1, watch.finalized.load());
}

// No thread takes the call: the main thread waits for the caller and never
// runs a loop, or holds the default context without running one.  The
// message goes to stderr after a while and both threads go on; the dialog
// never comes afterwards either.
TEST_F(GuiThreads, NoThreadTakesTheCallGivesTheMessageOnStderr) {
    extendWatchdog(30);
    for (const bool holdsContext : {false, true}) {
        SCOPED_TRACE(holdsContext ? "main thread holds the context" : "no loop at all");
        GMainContext *context = g_main_context_default();
        if (holdsContext) {
            ASSERT_TRUE(g_main_context_acquire(context));
        }
        const std::string err = captureStderr([] {
            std::thread caller(
                [] { qolt_gui_errhandler(nullptr, ACT_CHECK_MAIL, RES_NO_CONNECTION, nullptr); });
            caller.join();
        });
        if (holdsContext) g_main_context_release(context);
        EXPECT_EQ(
            "Het controleren op nieuwe QOLT Mail is mislukt\n"
            "Is de internetverbinding wel actief ?\n",
            err);
        const SeenDialog seen = showAndClose([] { iterateUntil([] { return false; }, 200); });
        EXPECT_EQ(0, seen.sightings);
    }
}

}  // namespace
