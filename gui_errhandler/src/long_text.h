// The text of a dialog as it is shown, and the limits of its long form.
// Needs no display: the dialog (dialog.cpp) decides with it, and the tests
// call it directly.
//
// The rule (stated for the client in pelidor/gui_errhandler.h):
// - A message is made of pieces: its header and a line feed (none without a
//   header), then its body, or the pieces of its template around the detail.
//   At most its first kShownBytes bytes are shown, and none after a
//   character's kMaxMarks-th combining mark; invalid UTF-8 among them
//   becomes U+FFFD.  The pieces are never joined whole: the cut is made once,
//   here, and only the shown bytes are copied.
// - A message of at most kLabelBytes bytes whose dialog fits the screen is
//   shown whole in the dialog's label, as a plain message dialog.
// - Any other message is long.  The label shows its header, when the header
//   is short (kHeaderLabelBytes, kHeaderLabelLines) and leaves the scrolled
//   area its room (dialog.cpp), and a scrolled area of bounded size below it
//   the rest of the shown text, else the whole, then, when bytes were left
//   out, the cut mark (cutMark).  The area wraps between words, and inside
//   a word only where it is too long for a line, but for the paragraphs of
//   a run longer than kLongRunBytes.
//
// Lines end where pango ends them: at LF, CR, CR LF, U+2028 and U+2029.
#ifndef PELIDOR_LONG_TEXT_H
#define PELIDOR_LONG_TEXT_H

#include <glib.h>

#include <cstddef>
#include <vector>

namespace pelidor {

// How many bytes of a message are shown at most: 16 KiB.  Laying out text
// costs GTK+ 2 time that grows faster than the text, which bounds this (see
// dialog.cpp).
inline constexpr size_t kShownBytes = 16384;

// The label lays out its text several times over to choose its width, and
// all of it at once: no text longer than this is ever put in it.
inline constexpr size_t kLabelBytes = 4096;

// A long message's header is shown in the label when it has at most this
// many bytes and lines (the fixed headers have at most two lines).
inline constexpr size_t kHeaderLabelBytes = 512;
inline constexpr size_t kHeaderLabelLines = 4;

// A run of more than this many bytes without a space, tab or line end makes
// its paragraph in the scrolled area wrap anywhere instead of between words:
// pango takes time quadratic in the length of a word that it must break
// (16 KiB unbroken take it 0.4 s), and no time to wrap anywhere.
inline constexpr size_t kLongRunBytes = 1024;

// Pango positions a character's combining marks in time quadratic in their
// number (10,000 accents on one letter took a second; 16 KiB of letters with
// 128 marks each, 0.2 s): the shown text ends before a character's mark
// beyond this many.  Unicode's Stream-Safe Text Format (UAX #15) allows 30
// in a row, more than any script needs; only text built to hurt has more.
inline constexpr size_t kMaxMarks = 32;

// The pieces of one message, in order; null pieces count as empty.
class MessagePieces {
public:
    void add(const char *text);
    void add(const char *text, size_t length);
    // The header and the line feed that ends it, as the first pieces;
    // nothing for a null header.
    void addHeader(const char *header);

    size_t count() const { return count_; }
    const char *text(size_t i) const { return text_[i]; }
    size_t length(size_t i) const { return length_[i]; }
    size_t total() const;
    bool hasHeader() const { return headerBytes_ != kNoHeader; }
    size_t headerBytes() const { return headerBytes_; }  // without its line feed

private:
    static constexpr size_t kMaxPieces = 5;
    static constexpr size_t kNoHeader = static_cast<size_t>(-1);
    const char *text_[kMaxPieces] = {};
    size_t length_[kMaxPieces] = {};
    size_t count_ = 0;
    size_t headerBytes_ = kNoHeader;
};

// header (null: none), a line feed, body (null counts as "").
MessagePieces dialogPieces(const char *header, const char *body);

struct ShownText {
    gchar *text = nullptr;     // valid UTF-8; free with g_free()
    size_t length = 0;         // bytes of text
    size_t omitted = 0;        // bytes of the message after the shown ones
    bool wholeHeader = false;  // the header and its line feed are all shown...
    size_t headerLength = 0;   // ...as the first headerLength bytes of text
};

// The message as shown: its first `limit` bytes, or fewer so as not to cut a
// valid UTF-8 character in two nor to show more than kMaxMarks combining
// marks in a row, made valid with g_utf8_make_valid().  The
// text is always the beginning of g_utf8_make_valid() of the whole message;
// only the shown bytes are copied, so a message of any length costs the
// same.
ShownText composeShownText(const MessagePieces &message, size_t limit = kShownBytes);
inline ShownText composeShownText(const char *header, const char *body,
                                  size_t limit = kShownBytes) {
    return composeShownText(dialogPieces(header, body), limit);
}

// Lines of a text: one more than its line ends (CR LF is one).
size_t countLines(const char *text, size_t length);

// The paragraphs of a text that hold a run of more than maxRun bytes
// without a space, tab or line end, as byte ranges [begin, end) without
// their ends.  Paragraphs end where a text view's lines do: at
// LF, CR, CR LF and U+2029, not at U+2028.
struct Range {
    size_t begin;
    size_t end;
};
std::vector<Range> paragraphsWithLongRuns(const char *text, size_t length,
                                          size_t maxRun = kLongRunBytes);

// The visible mark where a message was cut, in Dutch, for the bytes left
// out: an ellipsis and, on a line of its own, what was cut.  Free with
// g_free().
gchar *cutMark(size_t omitted);

}  // namespace pelidor

#endif  // PELIDOR_LONG_TEXT_H
