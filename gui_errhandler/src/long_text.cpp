// The shown text of a message and the measures of a long one; see long_text.h.
#include "long_text.h"

#include <cstring>

namespace pelidor {
namespace {

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The bytes of a message's pieces, read one at a time near the cut.
char byteAt(const MessagePieces &m, size_t i) {
    for (size_t p = 0; p < m.count(); ++p) {
        if (i < m.length(p)) return m.text(p)[i];
        i -= m.length(p);
    }
    return '\0';
}

// The bytes of the line end at text[i], 0 when there is none: LF, CR, CR LF,
// U+2028 and U+2029, where pango ends a line.
size_t lineEndAt(const char *text, size_t length, size_t i) {
    switch (text[i]) {
    case '\n': return 1;
    case '\r': return i + 1 < length && text[i + 1] == '\n' ? 2 : 1;
    case '\xe2':
        return i + 2 < length && text[i + 1] == '\x80' &&
                       (text[i + 2] == '\xa8' || text[i + 2] == '\xa9')
                   ? 3
                   : 0;
    default: return 0;
    }
}

// Where to cut the message's bytes at `limit` (< length) so that no valid
// UTF-8 character is cut in two.  g_utf8_make_valid() steps through a text
// by whole valid characters and single invalid bytes, so it passes through
// every position that no valid character spans; making the bytes before
// such a position valid gives the beginning of the whole text made valid.
size_t cutPosition(const MessagePieces &m, size_t limit) {
    size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && isContinuation(byteAt(m, lead))) --lead;
    if (lead == limit || isContinuation(byteAt(m, lead))) return limit;
    // A valid character starting at lead and spanning limit moves the cut
    // before it; up to 4 bytes, all inside the message since limit is.
    char bytes[4];
    size_t n = 0;
    for (size_t i = lead; i < m.total() && n < 4; ++i) bytes[n++] = byteAt(m, i);
    const gunichar c = g_utf8_get_char_validated(bytes, static_cast<gssize>(n));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return limit;
    const size_t charLength =
        static_cast<size_t>(g_utf8_skip[static_cast<unsigned char>(bytes[0])]);
    return lead + charLength > limit ? lead : limit;
}

// Where the bytes stop being shown because a character has more than
// maxMarks combining marks: the start of the first mark too many, else
// length.  Invalid bytes are no marks.
size_t markRunEnd(const char *text, size_t length, size_t maxMarks) {
    size_t marks = 0;
    for (size_t i = 0; i < length;) {
        const gunichar c = g_utf8_get_char_validated(text + i, static_cast<gssize>(length - i));
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            marks = 0;
            ++i;
            continue;
        }
        marks = g_unichar_ismark(c) ? marks + 1 : 0;
        if (marks > maxMarks) return i;
        i += static_cast<size_t>(g_utf8_skip[static_cast<unsigned char>(text[i])]);
    }
    return length;
}

// The bytes of the paragraph end at text[i], 0 when there is none: a line
// end but U+2028, which ends a line inside a paragraph.
size_t paragraphEndAt(const char *text, size_t length, size_t i) {
    const size_t end = lineEndAt(text, length, i);
    return end == 3 && text[i + 2] == '\xa8' ? 0 : end;
}

}  // namespace

void MessagePieces::add(const char *text) { add(text, text ? std::strlen(text) : 0); }

void MessagePieces::add(const char *text, size_t length) {
    if (count_ == kMaxPieces) return;
    text_[count_] = text ? text : "";
    length_[count_] = text ? length : 0;
    ++count_;
}

void MessagePieces::addHeader(const char *header) {
    if (!header) return;
    add(header);
    headerBytes_ = total();
    add("\n");
}

size_t MessagePieces::total() const {
    size_t n = 0;
    for (size_t i = 0; i < count_; ++i) n += length_[i];
    return n;
}

MessagePieces dialogPieces(const char *header, const char *body) {
    MessagePieces m;
    m.addHeader(header);
    m.add(body);
    return m;
}

ShownText composeShownText(const MessagePieces &m, size_t limit) {
    const size_t total = m.total();
    size_t cut = total <= limit ? total : cutPosition(m, limit);
    // The shown bytes, copied once; the rest of the message is never read.
    GString *raw = g_string_sized_new(cut);
    for (size_t p = 0, left = cut; p < m.count() && left > 0; ++p) {
        const size_t n = m.length(p) < left ? m.length(p) : left;
        g_string_append_len(raw, m.text(p), static_cast<gssize>(n));
        left -= n;
    }
    cut = markRunEnd(raw->str, raw->len, kMaxMarks);
    g_string_truncate(raw, cut);

    ShownText shown;
    shown.text = g_utf8_make_valid(raw->str, static_cast<gssize>(raw->len));
    shown.length = std::strlen(shown.text);
    shown.omitted = total - cut;
    // No character spans the header's line feed, so the header made valid
    // is where the whole made valid begins.
    if (m.hasHeader() && m.headerBytes() < cut) {
        gchar *header = g_utf8_make_valid(raw->str, static_cast<gssize>(m.headerBytes()));
        shown.wholeHeader = true;
        shown.headerLength = std::strlen(header);
        g_free(header);
    }
    g_string_free(raw, TRUE);
    return shown;
}

size_t countLines(const char *text, size_t length) {
    size_t lines = 1;
    for (size_t i = 0; i < length; ++i) {
        if (const size_t end = lineEndAt(text, length, i)) {
            ++lines;
            i += end - 1;
        }
    }
    return lines;
}

std::vector<Range> paragraphsWithLongRuns(const char *text, size_t length, size_t maxRun) {
    std::vector<Range> found;
    size_t begin = 0;
    size_t run = 0;
    bool longRun = false;
    for (size_t i = 0; i <= length; ++i) {
        const size_t end = i < length ? paragraphEndAt(text, length, i) : 1;
        if (end) {
            if (longRun) found.push_back({begin, i});
            begin = i + end;
            i += end - 1;
            run = 0;
            longRun = false;
        } else if (lineEndAt(text, length, i)) {
            run = 0;  // U+2028: a line, not a paragraph, ends
            i += 2;
        } else {
            run = (text[i] == ' ' || text[i] == '\t') ? 0 : run + 1;
            longRun = longRun || run > maxRun;
        }
    }
    return found;
}

gchar *cutMark(size_t omitted) {
    return g_strdup_printf("\xe2\x80\xa6\n[Ingekort: de laatste %" G_GSIZE_FORMAT
                           " bytes van dit bericht worden niet getoond.]",
                           omitted);
}

}  // namespace pelidor
