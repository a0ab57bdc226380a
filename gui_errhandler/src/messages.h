// The Dutch texts of the error library and the choice among them. Needs no
// display: the tests and the screenshot gallery call it directly.
#ifndef PELIDOR_MESSAGES_H
#define PELIDOR_MESSAGES_H

#include <glib.h>

#include "long_text.h"

// Host of the member-count page named in the message of
// RES_REGISTRATION_CLOSED (the address is http://<host>/ledencount.php).
#define PELIDOR_MEMBER_COUNT_HOST "www.qolt.nl"

namespace pelidor {

inline constexpr char kMemberCountHost[] = PELIDOR_MEMBER_COUNT_HOST;
inline constexpr int kResultCount = 30;  // valid results are 0 .. kResultCount-1
inline constexpr unsigned int kActionCount = 12;

enum class Verdict {
    Silent,   // RES_OK: nothing is shown
    Show,     // show header (if any) and body in a dialog
    Invalid,  // result outside 0..29: one line on stderr instead
};

struct ErrorMessage {
    Verdict verdict;
    const char *header;    // static; null when no header is shown
    const char *body;      // static; null unless verdict is Show
    bool bodyTakesDetail;  // body is a template with exactly one "%s", for the detail
};

// The header and message for an action and a result; static texts only.
ErrorMessage lookupErrorMessage(unsigned int action, int result);

// The message as its pieces: the header and its line feed (when there is
// one), then the body, or for a template the text before its "%s", the
// detail (null counts as ""), and the text after it; the detail is never a
// format.  No piece when verdict is not Show.
MessagePieces errorMessagePieces(const ErrorMessage &message, const char *detail);

// The body alone, whole, as the same pieces make it. Free with g_free().
// Null when verdict is not Show.
gchar *composeErrorBody(const ErrorMessage &message, const char *detail);

}  // namespace pelidor

#endif  // PELIDOR_MESSAGES_H
