// Which thread shows the dialog.  GTK+ 2 is driven by one thread at a time,
// the one that runs its main loop; a client's network thread that reports
// an error must not draw.  So a call from any other thread, while the loop
// runs, is handed to the loop's thread with g_main_context_invoke() and
// waits there until the dialog is closed.  With no loop running the call
// shows the dialog itself, as a call from the loop's thread does.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "dialog.h"

namespace {

// How long a call waits for the loop's thread to take its dialog.  A loop
// thread that is blocked (waiting for this very caller, say) never will:
// the message then goes to the standard error stream instead.
constexpr std::chrono::seconds kHandOverWait{5};

void writeToStderr(const pelidor::ShownText &shown) {
    std::fwrite(shown.text, 1, shown.length, stderr);
    if (shown.omitted > 0) {
        gchar *mark = pelidor::cutMark(shown.omitted);
        std::fprintf(stderr, "%s", mark);
        g_free(mark);
    }
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// In the thread that drives GTK+: the dialog, or without a display (GTK+
// not initialised, say) the message on the standard error stream.
void showHere(const pelidor::ShownText &shown, GtkWidget *parent) {
    if (gdk_display_get_default())
        pelidor::runDialog(shown, parent);
    else
        writeToStderr(shown);
}

enum class Phase { Waiting, Showing, Done, Abandoned };

// A dialog handed to the loop's thread; shared by the caller and the idle
// callback, which may outlive the caller's wait when the caller gave up.
struct HandOver {
    std::atomic<int> refs{2};  // the caller's and the idle callback's
    std::mutex mutex;
    std::condition_variable changed;
    Phase phase = Phase::Waiting;
    const pelidor::ShownText *shown = nullptr;  // the caller's, while it waits
    GtkWidget *parent = nullptr;
    GThread *caller = nullptr;
};

// GLib's lock orders each hand-over already, but GLib takes it with futexes
// that a thread sanitizer does not see; this counter, raised after a
// hand-over is set up and read before one is taken, shows the order to it.
std::atomic<unsigned> handOvers{0};

void release(gpointer data) {
    auto *h = static_cast<HandOver *>(data);
    if (h->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete h;
}

gboolean showHandedOver(gpointer data) {
    handOvers.load(std::memory_order_acquire);
    HandOver &h = *static_cast<HandOver *>(data);
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        if (h.phase == Phase::Abandoned) return G_SOURCE_REMOVE;
        h.phase = Phase::Showing;
    }
    h.changed.notify_all();
    // Dispatched from the loop, where idle callbacks run without the GDK
    // lock of a client that uses gdk_threads_init(): take it, as
    // gdk_threads_add_idle() would (a no-op for other clients).  Unless
    // g_main_context_invoke() found the loop free and called this from the
    // caller's own thread.
    const bool loopThread = g_thread_self() != h.caller;
    if (loopThread) gdk_threads_enter();
    showHere(*h.shown, h.parent);
    if (loopThread) gdk_threads_leave();
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        h.phase = Phase::Done;
    }
    h.changed.notify_all();
    return G_SOURCE_REMOVE;
}

// Hands the dialog to the thread that owns the default main context and
// waits until it has been closed.  False when that thread did not take it
// in time.
bool handOver(const pelidor::ShownText &shown, GtkWidget *parent) {
    auto *state = new HandOver;
    state->shown = &shown;
    state->parent = parent;
    state->caller = g_thread_self();
    handOvers.fetch_add(1, std::memory_order_release);
    g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, showHandedOver, state, release);
    bool shownThere;
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        shownThere = state->changed.wait_for(lock, kHandOverWait,
                                             [&] { return state->phase != Phase::Waiting; });
        if (shownThere)
            state->changed.wait(lock, [&] { return state->phase == Phase::Done; });
        else
            state->phase = Phase::Abandoned;
    }
    release(state);
    return shownThere;
}

}  // namespace

void pelidor::showMessage(ShownText shown, GtkWidget *parent) {
    GMainContext *context = g_main_context_default();
    // Owning the default context: this thread runs the loop, or none does.
    if (g_main_context_acquire(context)) {
        showHere(shown, parent);
        g_main_context_release(context);
    } else if (!handOver(shown, parent)) {
        writeToStderr(shown);
    }
    g_free(shown.text);
}
