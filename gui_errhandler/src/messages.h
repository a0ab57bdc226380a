// The Dutch texts of the error library and the choice among them. Needs no
// display: the tests and the screenshot gallery call it directly.
#ifndef PELIDOR_MESSAGES_H
#define PELIDOR_MESSAGES_H

#include <glib.h>

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
    bool bodyTakesDetail;  // body is a template with exactly one "%s"
};

// The header and message for an action and a result; static texts only.
ErrorMessage lookupErrorMessage(unsigned int action, int result);

// The body as shown: for a template, the detail (null counts as "") put in
// place of its "%s" by g_strdup_printf, so the detail is never a format;
// otherwise a copy of the body. Free with g_free(). Null when verdict is not
// Show.
gchar *composeErrorBody(const ErrorMessage &message, const char *detail);

}  // namespace pelidor

#endif  // PELIDOR_MESSAGES_H
