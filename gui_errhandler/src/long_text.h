// The text of a dialog as it is shown, and the split of a long one between
// the message label and the scrolled area below it. Needs no display: the
// dialog (dialog.cpp) decides with it, and the tests call it directly.
//
// The rule (stated for the client in pelidor/gui_errhandler.h):
// - A message is its header, a line feed and its body (the body alone
//   without a header), as bytes.  At most its first kShownBytes bytes are
//   shown; invalid UTF-8 among them becomes U+FFFD.
// - A message of at most kShownBytes bytes whose dialog fits the screen is
//   shown as it always was: the whole text in the dialog's label.
// - Any other message is long.  The label shows its beginning exactly (see
//   splitHead), a scrolled area of bounded size below it the rest of the
//   shown bytes, and, when bytes were left out, the cut mark (cutMark) right
//   where they were cut.
#ifndef PELIDOR_LONG_TEXT_H
#define PELIDOR_LONG_TEXT_H

#include <glib.h>

#include <cstddef>

namespace pelidor {

// How many bytes of a message are shown at most: 16 KiB.  Laying out text
// costs GTK+ 2 time that grows faster than the text, which bounds this (see
// dialog.cpp).
inline constexpr size_t kShownBytes = 16384;

// The beginning of a long message in the label: at most this many lines...
inline constexpr size_t kHeadLines = 12;
// ...and at most this many bytes.
inline constexpr size_t kHeadBytes = 1024;

// A run of this many bytes without a space, tab or line feed makes the
// scrolled area wrap anywhere instead of between words (pango takes time
// quadratic in the length of a word that it must break).
inline constexpr size_t kLongRunBytes = 256;

struct ShownText {
    gchar *text = nullptr;  // valid UTF-8; free with g_free()
    size_t length = 0;      // bytes of text
    size_t omitted = 0;     // bytes of the message after the shown ones
};

// The message of header (null: none) and body (null counts as "") as shown:
// its first `limit` bytes, or fewer so as not to cut a valid UTF-8
// character in two, made valid with g_utf8_make_valid().  The text is
// always the beginning of g_utf8_make_valid() of the whole message; only
// the shown bytes are copied, so a message of any length costs the same.
ShownText composeShownText(const char *header, const char *body, size_t limit = kShownBytes);

// Lines of a text: one more than its line feeds.
size_t countLines(const char *text, size_t length);

// Where a long text is split between the label and the scrolled area.
struct Split {
    size_t headEnd;    // the label shows text[0, headEnd)
    size_t restStart;  // the scrolled area text[restStart, length)
};

// The beginning for the label, from a valid UTF-8 text: at most maxLines
// lines and at most maxBytes bytes, never ending inside a character.
// - When the text has more than maxLines lines within those bytes, the
//   head is its first maxLines lines.
// - Else, when the bytes run out inside a line, the head ends at the last
//   line feed or after the last space in the second half of those bytes,
//   or, when there is none, right at the byte limit.
// A line feed at the split belongs to neither part (the label's end is the
// line's end); every other byte is in exactly one of them.
Split splitHead(const char *text, size_t length, size_t maxLines = kHeadLines,
                size_t maxBytes = kHeadBytes);

// Whether the text holds a run of more than maxRun bytes without a space,
// tab or line feed.
bool hasLongRun(const char *text, size_t length, size_t maxRun = kLongRunBytes);

// The visible mark where a message was cut, in Dutch, for the bytes left
// out: an ellipsis and, on a line of its own, what was cut.  Free with
// g_free().
gchar *cutMark(size_t omitted);

}  // namespace pelidor

#endif  // PELIDOR_LONG_TEXT_H
