// The shown text of a message and the split of a long one; see long_text.h.
#include "long_text.h"

#include <cstring>

namespace pelidor {
namespace {

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The message's bytes as two pieces: the header and its line feed, then the
// body; the first is empty without a header.
struct Message {
    const char *header;
    size_t headerLength;  // with the line feed; 0 without a header
    const char *body;
    size_t bodyLength;

    size_t length() const { return headerLength + bodyLength; }
    char at(size_t i) const {
        if (i < headerLength) return i + 1 == headerLength ? '\n' : header[i];
        return body[i - headerLength];
    }
};

// Where to cut the message's bytes at `limit` (< length) so that no valid
// UTF-8 character is cut in two.  g_utf8_make_valid() steps through a text
// by whole valid characters and single invalid bytes, so it passes through
// every position that no valid character spans; making the bytes before
// such a position valid gives the beginning of the whole text made valid.
size_t cutPosition(const Message &m, size_t limit) {
    size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && isContinuation(m.at(lead))) --lead;
    if (lead == limit || isContinuation(m.at(lead))) return limit;
    // A valid character starting at lead and spanning limit moves the cut
    // before it; up to 4 bytes, all inside the message since limit is.
    char bytes[4];
    size_t n = 0;
    for (size_t i = lead; i < m.length() && n < 4; ++i) bytes[n++] = m.at(i);
    const gunichar c = g_utf8_get_char_validated(bytes, static_cast<gssize>(n));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return limit;
    const size_t charLength = static_cast<size_t>(g_utf8_skip[static_cast<unsigned char>(bytes[0])]);
    return lead + charLength > limit ? lead : limit;
}

}  // namespace

ShownText composeShownText(const char *header, const char *body, size_t limit) {
    Message m{header, header ? std::strlen(header) + 1 : 0, body ? body : "", 0};
    m.bodyLength = std::strlen(m.body);

    const size_t total = m.length();
    const size_t cut = total <= limit ? total : cutPosition(m, limit);
    // The shown bytes, copied once; the rest of the message is never read.
    GString *raw = g_string_sized_new(cut);
    const size_t fromHeader = cut < m.headerLength ? cut : m.headerLength;
    if (fromHeader > 0) {
        g_string_append_len(raw, m.header,
                            static_cast<gssize>(fromHeader < m.headerLength ? fromHeader : fromHeader - 1));
        if (fromHeader == m.headerLength) g_string_append_c(raw, '\n');
    }
    if (cut > m.headerLength) g_string_append_len(raw, m.body, static_cast<gssize>(cut - m.headerLength));

    ShownText shown;
    shown.text = g_utf8_make_valid(raw->str, static_cast<gssize>(raw->len));
    shown.length = std::strlen(shown.text);
    shown.omitted = total - cut;
    g_string_free(raw, TRUE);
    return shown;
}

size_t countLines(const char *text, size_t length) {
    size_t lines = 1;
    for (const char *p = text, *end = text + length;
         (p = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)))); ++p)
        ++lines;
    return lines;
}

Split splitHead(const char *text, size_t length, size_t maxLines, size_t maxBytes) {
    size_t end = length < maxBytes ? length : maxBytes;
    while (end > 0 && end < length && isContinuation(text[end])) --end;

    // The first maxLines lines, when their last line feed lies within end.
    size_t lines = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n' && ++lines == maxLines) return {i, i + 1};
    }
    if (end == length) return {length, length};
    if (text[end] == '\n') return {end, end + 1};
    // The bytes ran out inside a line.
    for (size_t b = end; b-- > end / 2;) {
        if (text[b] == '\n') return {b, b + 1};
        if (text[b] == ' ') return {b + 1, b + 1};
    }
    return {end, end};
}

bool hasLongRun(const char *text, size_t length, size_t maxRun) {
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        run = (c == ' ' || c == '\t' || c == '\n') ? 0 : run + 1;
        if (run > maxRun) return true;
    }
    return false;
}

gchar *cutMark(size_t omitted) {
    return g_strdup_printf("\xe2\x80\xa6\n[Ingekort: de laatste %" G_GSIZE_FORMAT
                           " bytes van dit bericht worden niet getoond.]",
                           omitted);
}

}  // namespace pelidor
