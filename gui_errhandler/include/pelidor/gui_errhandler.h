/* libpelidor_gui_errhandler: tells the user of the Pelidor client that an
 * operation against the QOLT server failed.
 *
 * The client passes two codes, the operation it was running (QoltGuiAction)
 * and how it ended (QoltGuiResult), and the library shows the fixed Dutch
 * header and message that belong to them in a modal GTK+ 2 error dialog with
 * a single Close button.  qolt_gui_dialog_show() is the dialog alone, for
 * texts of the client's own.
 *
 * Link with libpelidor_gui_errhandler.so.0 (pkg-config gtk+-2.0 for the
 * compiler flags); the header may be included from C and C++.
 *
 * Threads: both functions may be called from any thread, after gtk_init().
 * GTK+ is driven only by the thread that runs its main loop: a call from
 * another thread while that loop runs is handed to it (through
 * g_main_context_invoke() on the default main context) and waits until
 * the dialog is closed; a call from the loop's thread, or from any thread
 * while no loop runs, shows the dialog itself.  Both block in the dialog's
 * nested main loop until the user closes it; timeouts, idle callbacks and
 * I/O watches of the caller keep being dispatched meanwhile.  A client
 * that uses gdk_threads_init() must not hold the GDK lock in the other
 * thread while it calls.
 * The one case that cannot work is a loop thread that is blocked waiting
 * for the caller (joining it, say): the dialog is never taken, so after 5
 * seconds the message is written to stderr instead and the call returns.
 * Without a display (GTK+ not initialised) the message goes to stderr too.
 * Never a crash.
 *
 * Ownership: texts passed in are only read, and not kept after the call
 * returns.  Every temporary text comes from the GLib allocator and is
 * released before the call returns.  The library has no state.
 */
#ifndef PELIDOR_GUI_ERRHANDLER_H
#define PELIDOR_GUI_ERRHANDLER_H

#include <gtk/gtk.h>

#if defined(__GNUC__)
#define PELIDOR_GUI_API __attribute__((visibility("default")))
#else
#define PELIDOR_GUI_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The operation that failed.  The numbers are what crosses the interface
 * (the action argument is unsigned int); every code has a Dutch header that
 * is shown above the message.  Any other value is valid too and shows the
 * message without a header. */
typedef enum {
    ACT_UPDATE_POSTINGS      = 0,  /* the postings list update */
    ACT_GET_POSTING_INFO     = 1,
    ACT_GET_POSTING_MESSAGES = 2,
    ACT_CHECK_MAIL           = 3,
    ACT_GET_MAIL             = 4,
    ACT_SEND_MAIL            = 5,
    ACT_GET_NEWSGROUPS       = 6,
    ACT_GIVE_KUDOS           = 7,
    ACT_GET_KUDOS_BALANCE    = 8,
    ACT_CREATE_ACCOUNT       = 9,
    ACT_ADD_POSTING          = 10,
    ACT_GET_MYQOLT           = 11
} QoltGuiAction;

/* How the operation ended.  RES_OK shows nothing.  Results 5 to 9 stand
 * alone: their message is shown without the action's header.  Any value
 * outside 0 to 29 is invalid (see qolt_gui_errhandler). */
typedef enum {
    RES_OK                    = 0,
    RES_NO_CONNECTION         = 1,
    RES_BAD_LOGIN             = 2,
    RES_BANNED                = 3,
    RES_SERVER_FAILURE        = 4,
    RES_NO_NEW_POSTINGS       = 5,   /* no header */
    RES_PLUGINS_UNSUPPORTED   = 6,   /* no header */
    RES_PLUGIN_LOCATION_UNSET = 7,   /* no header */
    RES_PLUGIN_LOAD_FAILED    = 8,   /* no header */
    RES_PLUGIN_FAILED         = 9,   /* no header */
    RES_UNKNOWN_RESPONSE      = 10,
    RES_PARSE_FAILED          = 11,  /* shows the detail text */
    RES_EVENT_NOT_CACHED      = 12,
    RES_NO_DATA               = 13,  /* longer text for ACT_UPDATE_POSTINGS */
    RES_DNS_FAILED            = 14,  /* longer text for ACT_UPDATE_POSTINGS */
    RES_DNS_FAILED_2          = 15,  /* the texts of RES_DNS_FAILED */
    RES_CONNECTION_REFUSED    = 16,  /* longer text for ACT_UPDATE_POSTINGS */
    RES_READ_FAILED           = 17,
    RES_SEND_FAILED           = 18,
    RES_TIMEOUT               = 19,
    RES_REGISTRATION_CLOSED   = 20,
    RES_NAME_TAKEN            = 21,
    RES_IP_BANNED             = 22,
    RES_IP_RECENTLY_USED      = 23,
    RES_HTTP_INIT_FAILED      = 24,
    RES_POST_CANCELLED        = 25,
    RES_POST_MODERATED        = 26,
    RES_CLIENT_TOO_OLD        = 27,
    RES_RATE_LIMITED          = 28,
    RES_SERVER_NOTICE         = 29   /* shows the detail text */
} QoltGuiResult;

/* Shows one error message in a modal GTK+ 2 message dialog (error icon, one
 * Close button) and returns when the user has closed it.  The dialog's
 * window has no title, as the GNOME guidelines ask of an alert.
 *
 * header: first line or lines of the message; NULL shows the body alone.
 *         Otherwise the message is header, a line feed, then body.
 * body:   the message proper; NULL counts as the empty text.
 * parent: NULL or a GtkWidget.  The dialog is transient for, and destroyed
 *         with, the parent's toplevel window: the parent itself when it is
 *         a GtkWindow, the window that holds it when it is a widget inside
 *         one (a button, say).  A widget in no window, and NULL, give a
 *         dialog without a parent.  No GTK+ warning is printed either way.
 *         If the caller destroys that window while the dialog runs, the
 *         dialog goes with it and the call returns.
 *
 * The texts are shown literally: a per-cent sign is never taken as a
 * printf conversion and no markup is interpreted.  They are read as UTF-8:
 * every byte that is not part of valid UTF-8 (Latin-1 from a server, say)
 * is shown as U+FFFD, the replacement character; valid text is unchanged.
 *
 * Long messages.  At most the first 16 KiB (16384 bytes) of the message
 * are shown; a UTF-8 character that would straddle that limit is left out
 * whole.  Lines end where pango ends them: at LF, CR, CR LF, U+2028 and
 * U+2029; the text is shown as given.
 * - A message of at most 4096 bytes whose dialog fits the screen is shown
 *   whole in the dialog's label, as it always was.  The screen is the
 *   monitor of the parent's window, else the primary monitor, within the
 *   desktop's work area, less 32 pixels of width and 64 of height for the
 *   window frame.
 * - Any other message is shown whole (all of its shown bytes) in a
 *   scrolled area, where one select-all and copy takes all of it; the label
 *   above shows only the header, when the header has at most 4 lines and
 *   512 bytes.  The area is at most 560 pixels wide (text that pango
 *   cannot wrap, such as a chain of joined emoji, scrolls sideways), and
 *   takes the height that the screen leaves free, up to 20 lines of its
 *   font: at least 8 lines where the screen has room for them.  It wraps
 *   between words (inside a word too long for a line, where pango draws a
 *   hyphen that is not part of the text; anywhere when a run of more than
 *   256 bytes has no space).
 *   When bytes were left out, the area ends in a mark, in bold italics,
 *   where they were cut: an ellipsis and the line
 *   "[Ingekort: de laatste N bytes van dit bericht worden niet getoond.]".
 *   The dialog fits the screen, from 800x600 up, with its Close button on
 *   it; the Close button keeps the focus, and the dialog appears within a
 *   fraction of a second for a message of any length.
 * Nothing is returned and no failure is reported.
 */
PELIDOR_GUI_API void qolt_gui_dialog_show(const char *header, const char *body,
                                          GtkWidget *parent);

/* Shows the Dutch message for a failed operation in the dialog of
 * qolt_gui_dialog_show(), by its rules, and returns when the user has
 * closed it.
 *
 * parent: the dialog's parent, as for qolt_gui_dialog_show(); may be NULL.
 * action: a QoltGuiAction, or any other value (then no header is shown).
 * result: a QoltGuiResult.  RES_OK returns at once and shows nothing.
 *         A value outside 0 to 29 shows nothing and writes the one line
 *         "qolt_gui_errhandler(): Ongeldige retval <result>!" to stderr.
 * detail: read only for RES_PARSE_FAILED and RES_SERVER_NOTICE, whose
 *         message ends in it, shown literally (invalid UTF-8 as U+FFFD);
 *         NULL then counts as the empty text.  A detail of any length is
 *         accepted; of a long one the dialog shows the beginning, as above.
 *         Ignored, and may be NULL, for every other result.
 */
PELIDOR_GUI_API void qolt_gui_errhandler(GtkWidget *parent, unsigned int action,
                                         int result, const char *detail);

#ifdef __cplusplus
}
#endif

#endif /* PELIDOR_GUI_ERRHANDLER_H */
