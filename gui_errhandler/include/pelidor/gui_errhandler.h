/* libpelidor_gui_errhandler: tells the user of the Pelidor client that an
 * operation against the QOLT server failed.
 *
 * The client passes two codes, the operation it was running (QoltGuiAction)
 * and how it ended (QoltGuiResult), and the library shows the fixed Dutch
 * header and message that belong to them in a modal GTK+ 2 error dialog with
 * a single Close button.  qolt_gui_dialog_show() is the dialog alone, for
 * texts of the client's own.
 *
 * Link with libpelidor_gui_errhandler.so.0 (pkg-config
 * pelidor-gui-errhandler, or the CMake target pelidor::gui_errhandler).  The
 * header includes no GTK+ header and stands on its own, in C (C89 and later)
 * and C++.
 *
 * Names.  Every code has a name prefixed PELIDOR_ (PELIDOR_ACT_...,
 * PELIDOR_RES_...).  The short names ACT_... and RES_..., for clients written
 * with them, are macros for them, with the same values, unless the client
 * defines PELIDOR_GUI_NO_SHORT_NAMES before it includes this header.  A short
 * name that is already a macro when this header is read keeps that meaning:
 * glibc's <resolv.h> defines RES_TIMEOUT, so a client that includes it uses
 * PELIDOR_RES_TIMEOUT for the code here.  Including <resolv.h> after this
 * header redefines RES_TIMEOUT in the same way.
 *
 * Threads: both functions may be called from any thread.  GTK+ is driven
 * only by one thread, the GTK+ thread: the thread that owns GLib's default
 * main context while a loop runs on it (gtk_main(), or g_main_loop_run()
 * on the default context), and while no loop runs, the process's main
 * thread.  A call from the GTK+ thread shows the dialog itself.  A call
 * from any other thread is handed to the GTK+ thread (an idle callback on
 * the default main context) and waits until the dialog has been closed;
 * made before the main thread enters its loop, it waits for that loop.  If
 * no loop takes the call within 5 seconds (the GTK+ thread is blocked,
 * waiting for the caller, say, or never runs a loop), or GTK+ is not
 * initialised (no gtk_init(), no display), the message is written to
 * stderr instead and the call returns.  The dialog's nested main loop runs
 * only on the GTK+ thread: the client's timeouts, idle callbacks and I/O
 * watches keep being dispatched there while the dialog is open, and never
 * on another thread.  A client that uses gdk_threads_init() must not hold
 * the GDK lock in the calling thread while it calls.  Never a crash.
 *
 * Ownership: texts passed in are only read, and not kept after the call
 * returns.  Every temporary text comes from the GLib allocator and is
 * released before the call returns.  The library has no state.
 */
#ifndef PELIDOR_GUI_ERRHANDLER_H
#define PELIDOR_GUI_ERRHANDLER_H

/* GTK+'s widget structure, declared only: GTK+ defines it, and its
 * GtkWidget is a typedef of it (typedef struct _GtkWidget GtkWidget), so a
 * client passes its GtkWidget pointers as they are.  The header repeats no
 * typedef, which C before C11 would reject beside GTK+'s own. */
struct _GtkWidget;

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
/* clang-format off */
typedef enum {
    PELIDOR_ACT_UPDATE_POSTINGS      = 0,  /* the postings list update */
    PELIDOR_ACT_GET_POSTING_INFO     = 1,
    PELIDOR_ACT_GET_POSTING_MESSAGES = 2,
    PELIDOR_ACT_CHECK_MAIL           = 3,
    PELIDOR_ACT_GET_MAIL             = 4,
    PELIDOR_ACT_SEND_MAIL            = 5,
    PELIDOR_ACT_GET_NEWSGROUPS       = 6,
    PELIDOR_ACT_GIVE_KUDOS           = 7,
    PELIDOR_ACT_GET_KUDOS_BALANCE    = 8,
    PELIDOR_ACT_CREATE_ACCOUNT       = 9,
    PELIDOR_ACT_ADD_POSTING          = 10,
    PELIDOR_ACT_GET_MYQOLT           = 11
} QoltGuiAction;

/* How the operation ended.  RES_OK shows nothing.  Results 5 to 9 stand
 * alone: their message is shown without the action's header.  Any value
 * outside 0 to 29 is invalid (see qolt_gui_errhandler). */
typedef enum {
    PELIDOR_RES_OK                    = 0,
    PELIDOR_RES_NO_CONNECTION         = 1,
    PELIDOR_RES_BAD_LOGIN             = 2,
    PELIDOR_RES_BANNED                = 3,
    PELIDOR_RES_SERVER_FAILURE        = 4,
    PELIDOR_RES_NO_NEW_POSTINGS       = 5,   /* no header */
    PELIDOR_RES_PLUGINS_UNSUPPORTED   = 6,   /* no header */
    PELIDOR_RES_PLUGIN_LOCATION_UNSET = 7,   /* no header */
    PELIDOR_RES_PLUGIN_LOAD_FAILED    = 8,   /* no header */
    PELIDOR_RES_PLUGIN_FAILED         = 9,   /* no header */
    PELIDOR_RES_UNKNOWN_RESPONSE      = 10,
    PELIDOR_RES_PARSE_FAILED          = 11,  /* shows the detail text */
    PELIDOR_RES_EVENT_NOT_CACHED      = 12,
    PELIDOR_RES_NO_DATA               = 13,  /* longer text for ACT_UPDATE_POSTINGS */
    PELIDOR_RES_DNS_FAILED            = 14,  /* longer text for ACT_UPDATE_POSTINGS */
    PELIDOR_RES_DNS_FAILED_2          = 15,  /* the texts of RES_DNS_FAILED */
    PELIDOR_RES_CONNECTION_REFUSED    = 16,  /* longer text for ACT_UPDATE_POSTINGS */
    PELIDOR_RES_READ_FAILED           = 17,
    PELIDOR_RES_SEND_FAILED           = 18,
    PELIDOR_RES_TIMEOUT               = 19,
    PELIDOR_RES_REGISTRATION_CLOSED   = 20,
    PELIDOR_RES_NAME_TAKEN            = 21,
    PELIDOR_RES_IP_BANNED             = 22,
    PELIDOR_RES_IP_RECENTLY_USED      = 23,
    PELIDOR_RES_HTTP_INIT_FAILED      = 24,
    PELIDOR_RES_POST_CANCELLED        = 25,
    PELIDOR_RES_POST_MODERATED        = 26,
    PELIDOR_RES_CLIENT_TOO_OLD        = 27,
    PELIDOR_RES_RATE_LIMITED          = 28,
    PELIDOR_RES_SERVER_NOTICE         = 29   /* shows the detail text */
} QoltGuiResult;
/* clang-format on */

/* The short names, for clients written with them: see "Names" above. */
#ifndef PELIDOR_GUI_NO_SHORT_NAMES
#ifndef ACT_UPDATE_POSTINGS
#define ACT_UPDATE_POSTINGS PELIDOR_ACT_UPDATE_POSTINGS
#endif
#ifndef ACT_GET_POSTING_INFO
#define ACT_GET_POSTING_INFO PELIDOR_ACT_GET_POSTING_INFO
#endif
#ifndef ACT_GET_POSTING_MESSAGES
#define ACT_GET_POSTING_MESSAGES PELIDOR_ACT_GET_POSTING_MESSAGES
#endif
#ifndef ACT_CHECK_MAIL
#define ACT_CHECK_MAIL PELIDOR_ACT_CHECK_MAIL
#endif
#ifndef ACT_GET_MAIL
#define ACT_GET_MAIL PELIDOR_ACT_GET_MAIL
#endif
#ifndef ACT_SEND_MAIL
#define ACT_SEND_MAIL PELIDOR_ACT_SEND_MAIL
#endif
#ifndef ACT_GET_NEWSGROUPS
#define ACT_GET_NEWSGROUPS PELIDOR_ACT_GET_NEWSGROUPS
#endif
#ifndef ACT_GIVE_KUDOS
#define ACT_GIVE_KUDOS PELIDOR_ACT_GIVE_KUDOS
#endif
#ifndef ACT_GET_KUDOS_BALANCE
#define ACT_GET_KUDOS_BALANCE PELIDOR_ACT_GET_KUDOS_BALANCE
#endif
#ifndef ACT_CREATE_ACCOUNT
#define ACT_CREATE_ACCOUNT PELIDOR_ACT_CREATE_ACCOUNT
#endif
#ifndef ACT_ADD_POSTING
#define ACT_ADD_POSTING PELIDOR_ACT_ADD_POSTING
#endif
#ifndef ACT_GET_MYQOLT
#define ACT_GET_MYQOLT PELIDOR_ACT_GET_MYQOLT
#endif
#ifndef RES_OK
#define RES_OK PELIDOR_RES_OK
#endif
#ifndef RES_NO_CONNECTION
#define RES_NO_CONNECTION PELIDOR_RES_NO_CONNECTION
#endif
#ifndef RES_BAD_LOGIN
#define RES_BAD_LOGIN PELIDOR_RES_BAD_LOGIN
#endif
#ifndef RES_BANNED
#define RES_BANNED PELIDOR_RES_BANNED
#endif
#ifndef RES_SERVER_FAILURE
#define RES_SERVER_FAILURE PELIDOR_RES_SERVER_FAILURE
#endif
#ifndef RES_NO_NEW_POSTINGS
#define RES_NO_NEW_POSTINGS PELIDOR_RES_NO_NEW_POSTINGS
#endif
#ifndef RES_PLUGINS_UNSUPPORTED
#define RES_PLUGINS_UNSUPPORTED PELIDOR_RES_PLUGINS_UNSUPPORTED
#endif
#ifndef RES_PLUGIN_LOCATION_UNSET
#define RES_PLUGIN_LOCATION_UNSET PELIDOR_RES_PLUGIN_LOCATION_UNSET
#endif
#ifndef RES_PLUGIN_LOAD_FAILED
#define RES_PLUGIN_LOAD_FAILED PELIDOR_RES_PLUGIN_LOAD_FAILED
#endif
#ifndef RES_PLUGIN_FAILED
#define RES_PLUGIN_FAILED PELIDOR_RES_PLUGIN_FAILED
#endif
#ifndef RES_UNKNOWN_RESPONSE
#define RES_UNKNOWN_RESPONSE PELIDOR_RES_UNKNOWN_RESPONSE
#endif
#ifndef RES_PARSE_FAILED
#define RES_PARSE_FAILED PELIDOR_RES_PARSE_FAILED
#endif
#ifndef RES_EVENT_NOT_CACHED
#define RES_EVENT_NOT_CACHED PELIDOR_RES_EVENT_NOT_CACHED
#endif
#ifndef RES_NO_DATA
#define RES_NO_DATA PELIDOR_RES_NO_DATA
#endif
#ifndef RES_DNS_FAILED
#define RES_DNS_FAILED PELIDOR_RES_DNS_FAILED
#endif
#ifndef RES_DNS_FAILED_2
#define RES_DNS_FAILED_2 PELIDOR_RES_DNS_FAILED_2
#endif
#ifndef RES_CONNECTION_REFUSED
#define RES_CONNECTION_REFUSED PELIDOR_RES_CONNECTION_REFUSED
#endif
#ifndef RES_READ_FAILED
#define RES_READ_FAILED PELIDOR_RES_READ_FAILED
#endif
#ifndef RES_SEND_FAILED
#define RES_SEND_FAILED PELIDOR_RES_SEND_FAILED
#endif
#ifndef RES_TIMEOUT
#define RES_TIMEOUT PELIDOR_RES_TIMEOUT
#endif
#ifndef RES_REGISTRATION_CLOSED
#define RES_REGISTRATION_CLOSED PELIDOR_RES_REGISTRATION_CLOSED
#endif
#ifndef RES_NAME_TAKEN
#define RES_NAME_TAKEN PELIDOR_RES_NAME_TAKEN
#endif
#ifndef RES_IP_BANNED
#define RES_IP_BANNED PELIDOR_RES_IP_BANNED
#endif
#ifndef RES_IP_RECENTLY_USED
#define RES_IP_RECENTLY_USED PELIDOR_RES_IP_RECENTLY_USED
#endif
#ifndef RES_HTTP_INIT_FAILED
#define RES_HTTP_INIT_FAILED PELIDOR_RES_HTTP_INIT_FAILED
#endif
#ifndef RES_POST_CANCELLED
#define RES_POST_CANCELLED PELIDOR_RES_POST_CANCELLED
#endif
#ifndef RES_POST_MODERATED
#define RES_POST_MODERATED PELIDOR_RES_POST_MODERATED
#endif
#ifndef RES_CLIENT_TOO_OLD
#define RES_CLIENT_TOO_OLD PELIDOR_RES_CLIENT_TOO_OLD
#endif
#ifndef RES_RATE_LIMITED
#define RES_RATE_LIMITED PELIDOR_RES_RATE_LIMITED
#endif
#ifndef RES_SERVER_NOTICE
#define RES_SERVER_NOTICE PELIDOR_RES_SERVER_NOTICE
#endif
#endif /* PELIDOR_GUI_NO_SHORT_NAMES */

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
 * whole, and the shown text ends before a character's 33rd combining mark
 * in a row (no script needs as many; pango would take seconds to place
 * thousands on one letter).  Lines end where pango ends them: at LF, CR,
 * CR LF, U+2028 and U+2029; the text is shown as given.
 * - A message of at most 4096 bytes whose dialog fits the screen is shown
 *   whole in the dialog's label, as a plain message dialog.  The screen is
 *   the monitor of the parent's window, else the primary monitor, within the
 *   desktop's work area, less 32 pixels of width and 64 of height for the
 *   window frame.
 * - Any other message is shown whole (all of its shown bytes), its header
 *   once: in the label above a scrolled area that holds the rest, when the
 *   header has at most 4 lines and 512 bytes and takes no room that the
 *   area needs (it stands on one line, or the area still gets its 20
 *   lines); else at the top of the area, which then holds the whole
 *   message.  One select-all and copy in the area takes the whole message,
 *   header included.  The area is at most 560 pixels wide (text that pango
 *   cannot wrap, such as a chain of joined emoji, scrolls sideways), and
 *   takes all the height that the screen leaves free, up to 20 lines of
 *   its font: at least 8 lines where the screen has room for them.  It
 *   wraps between words, and inside a word only where the word is too long
 *   for a line (where pango draws a hyphen that is not part of the text);
 *   a paragraph holding a run of more than 1024 bytes without a space
 *   wraps anywhere.  The label and the area read in their text's
 *   direction: a right-to-left header stands at the right, as
 *   right-to-left paragraphs in the area do.
 *   When bytes were left out, the area ends in a mark, in bold italics,
 *   where they were cut: an ellipsis and the line
 *   "[Ingekort: de laatste N bytes van dit bericht worden niet getoond.]".
 *   The dialog fits the screen, from 800x600 up, with its Close button on
 *   it; the Close button keeps the focus, and the dialog appears within a
 *   fraction of a second for a message of any length.
 * Nothing is returned and no failure is reported.
 */
PELIDOR_GUI_API void qolt_gui_dialog_show(const char *header, const char *body,
                                          struct _GtkWidget *parent);

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
PELIDOR_GUI_API void qolt_gui_errhandler(struct _GtkWidget *parent, unsigned int action, int result,
                                         const char *detail);

#ifdef __cplusplus
}
#endif

#endif /* PELIDOR_GUI_ERRHANDLER_H */
