// Which thread shows the dialog.  GTK+ 2 is driven by one thread at a time,
// the GTK+ thread: the thread that owns GLib's default main context, the one
// that runs its loop, and while no loop runs, the process's main thread,
// which is where a client builds its windows before it enters gtk_main().
// A client's network thread that reports an error must never draw, nor run
// a nested loop of the default context (it would run the client's own
// timeouts and watches): its call is handed to the GTK+ thread through an
// idle source on the default context, and waits there until the dialog is
// closed.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "dialog.h"

namespace {

// How long a call waits for the GTK+ thread to take its dialog.  A GTK+
// thread that is blocked (waiting for this very caller, say), or a main
// thread that never runs a loop, never will: the message then goes to the
// standard error stream instead.
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

// Without a display (GTK+ not initialised, say) there is no dialog.  GDK's
// default display is a pointer that gtk_init() sets once and nothing
// clears, so any thread may read it.
bool haveDisplay() { return gdk_display_get_default() != nullptr; }

// In the GTK+ thread: the dialog, or the message on the standard error
// stream.
void showHere(const pelidor::ShownText &shown, GtkWidget *parent) {
    if (haveDisplay())
        pelidor::runDialog(shown, parent);
    else
        writeToStderr(shown);
}

// Linux numbers the main thread's task as the process.
bool isMainThread() { return gettid() == getpid(); }

enum class Phase { Waiting, Showing, Done, Abandoned };

// A dialog handed to the GTK+ thread; shared by the caller and the idle
// callback, which may outlive the caller's wait when the caller gave up.
struct HandOver {
    std::atomic<int> refs{2};  // the caller's and the idle source's
    std::mutex mutex;
    std::condition_variable changed;
    Phase phase = Phase::Waiting;
    const pelidor::ShownText *shown = nullptr;  // the caller's, while it waits
    GtkWidget *parent = nullptr;
};

// GLib's lock orders each hand-over already, but GLib takes it with futexes
// that a thread sanitizer does not see; this counter, raised after a
// hand-over is set up and read before one is taken, shows the order to it.
std::atomic<unsigned> handOvers{0};

void release(gpointer data) {
    auto *h = static_cast<HandOver *>(data);
    if (h->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete h;
}

// Dispatched by whichever thread iterates the default context, which makes
// it the GTK+ thread; never by the caller, which only waits.
gboolean showHandedOver(gpointer data) {
    handOvers.load(std::memory_order_acquire);
    HandOver &h = *static_cast<HandOver *>(data);
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        if (h.phase == Phase::Abandoned) return G_SOURCE_REMOVE;
        h.phase = Phase::Showing;
    }
    h.changed.notify_all();
    // Idle callbacks run without the GDK lock of a client that uses
    // gdk_threads_init(): take it, as gdk_threads_add_idle() would (a no-op
    // for other clients).
    gdk_threads_enter();
    showHere(*h.shown, h.parent);
    gdk_threads_leave();
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        h.phase = Phase::Done;
    }
    h.changed.notify_all();
    return G_SOURCE_REMOVE;
}

// Hands the dialog to the GTK+ thread and waits until it has been closed.
// False when no thread took it in time.
bool handOver(const pelidor::ShownText &shown, GtkWidget *parent) {
    auto *state = new HandOver;
    state->shown = &shown;
    state->parent = parent;
    handOvers.fetch_add(1, std::memory_order_release);
    GSource *source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, showHandedOver, state, release);
    g_source_attach(source, g_main_context_default());
    bool taken;
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        taken = state->changed.wait_for(lock, kHandOverWait,
                                        [&] { return state->phase != Phase::Waiting; });
        if (taken)
            state->changed.wait(lock, [&] { return state->phase == Phase::Done; });
        else
            state->phase = Phase::Abandoned;
    }
    // Never dispatched now: gone from the context, its reference released.
    if (!taken) g_source_destroy(source);
    g_source_unref(source);
    release(state);
    return taken;
}

}  // namespace

void pelidor::showMessage(ShownText shown, GtkWidget *parent) {
    GMainContext *context = g_main_context_default();
    if (g_main_context_is_owner(context)) {
        // This thread runs the loop (or holds the context): the GTK+ thread.
        showHere(shown, parent);
    } else if (isMainThread() && g_main_context_acquire(context)) {
        // No loop runs: the main thread is the GTK+ thread, and holds the
        // context while its dialog runs, so that other calls wait for it.
        showHere(shown, parent);
        g_main_context_release(context);
    } else if (!haveDisplay() || !handOver(shown, parent)) {
        // Another thread runs the loop, or none does and the main thread
        // will: its dialog waits for that thread.
        writeToStderr(shown);
    }
    g_free(shown.text);
}
