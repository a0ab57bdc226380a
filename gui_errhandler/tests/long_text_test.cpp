// The long-message rule without a display: which bytes of a message are
// shown, composed from its pieces and cut once, how they are made valid
// UTF-8 at a cut, where lines end, and the cut mark.  GLib's
// g_utf8_make_valid() of the whole message is the oracle.
#include <glib.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "bad_bytes.h"
#include "long_text.h"

namespace {

using pelidor::composeShownText;
using pelidor::countLines;
using pelidor::cutMark;
using pelidor::kMaxMarks;
using pelidor::kShownBytes;
using pelidor::MessagePieces;
using pelidor::paragraphsWithLongRuns;
using pelidor::ShownText;

std::string madeValid(const std::string &bytes) {
    gchar *valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    std::string s(valid);
    g_free(valid);
    return s;
}

struct Shown {
    std::string text;
    size_t omitted;
};

Shown compose(const char *header, const char *body, size_t limit = kShownBytes) {
    ShownText shown = composeShownText(header, body, limit);
    Shown s{std::string(shown.text), shown.omitted};
    EXPECT_EQ(s.text.size(), shown.length);
    g_free(shown.text);
    return s;
}

// The property every cut must have: the shown text is the whole message
// made valid, cut at a place the whole's validation passes through, no more
// than 3 bytes before the limit.
void expectBeginning(const std::string &message, const Shown &shown, size_t limit) {
    const std::string whole = madeValid(message);
    if (message.size() <= limit) {
        EXPECT_EQ(0u, shown.omitted);
        EXPECT_EQ(whole, shown.text);
        return;
    }
    const size_t cut = message.size() - shown.omitted;
    EXPECT_LE(cut, limit);
    EXPECT_GE(cut + 3, limit);
    EXPECT_EQ(madeValid(message.substr(0, cut)), shown.text);
    EXPECT_EQ(0, whole.compare(0, shown.text.size(), shown.text))
        << "a beginning of the whole made valid";
}

TEST(GuiLongText, ShortMessageIsWhole) {
    Shown s = compose("Kop", "Tekst");
    EXPECT_EQ("Kop\nTekst", s.text);
    EXPECT_EQ(0u, s.omitted);
    s = compose(nullptr, "Tekst");
    EXPECT_EQ("Tekst", s.text);
    s = compose("Kop", nullptr);
    EXPECT_EQ("Kop\n", s.text);
    s = compose(nullptr, nullptr);
    EXPECT_EQ("", s.text);
    s = compose("", "");
    EXPECT_EQ("\n", s.text);
}

TEST(GuiLongText, LimitCountsTheWholeMessage) {
    const std::string body(kShownBytes - 4, 'b');
    Shown s = compose("Kop", body.c_str());  // 3 + 1 + body: exactly the limit
    EXPECT_EQ("Kop\n" + body, s.text);
    EXPECT_EQ(0u, s.omitted);
    const std::string longer = body + "c";
    s = compose("Kop", longer.c_str());
    EXPECT_EQ("Kop\n" + body, s.text);
    EXPECT_EQ(1u, s.omitted);
}

TEST(GuiLongText, CutInsideTheHeader) {
    Shown s = compose("abcdef", "ghij", 3);
    EXPECT_EQ("abc", s.text);
    EXPECT_EQ(8u, s.omitted);
    s = compose("abcdef", "ghij", 6);
    EXPECT_EQ("abcdef", s.text);
    s = compose("abcdef", "ghij", 7);
    EXPECT_EQ("abcdef\n", s.text);
    EXPECT_EQ(4u, s.omitted);
    s = compose("abcdef", "ghij", 8);
    EXPECT_EQ("abcdef\ng", s.text);
}

// A character of 2, 3 or 4 bytes at every place around the limit is never
// cut in two: it is shown whole or left out whole.
TEST(GuiLongText, ValidCharacterAtTheLimitIsNotCut) {
    const char *const characters[] = {"\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"};
    for (const char *c : characters) {
        for (size_t before = kShownBytes - 6; before <= kShownBytes + 1; ++before) {
            const std::string message = std::string(before, 'a') + c + "zz";
            SCOPED_TRACE(std::to_string(before) + " bytes, then " + std::to_string(strlen(c)));
            const Shown s = compose(nullptr, message.c_str());
            expectBeginning(message, s, kShownBytes);
            EXPECT_EQ(std::string::npos, s.text.find("\xef\xbf\xbd")) << "no U+FFFD from a cut";
        }
    }
}

// Bytes that are not UTF-8 at the limit become U+FFFD exactly as in the
// whole message; random bytes of every kind, limits at every place.
TEST(GuiLongText, AnyBytesGiveTheBeginningOfTheWholeMadeValid) {
    std::mt19937 rng(12);
    const unsigned char pool[] = {'a',  ' ',  '\n', 0x80, 0xbf, 0xc3, 0xa9, 0xe2, 0x82,
                                  0xac, 0xf0, 0x9f, 0x98, 0xff, 0xc0, 0xed, 0xa0};
    for (int round = 0; round < 3000; ++round) {
        std::string message;
        const size_t n = 1 + rng() % 24;
        for (size_t i = 0; i < n; ++i) message += static_cast<char>(pool[rng() % sizeof pool]);
        const size_t limit = rng() % (n + 2);
        SCOPED_TRACE("round " + std::to_string(round) + ", limit " + std::to_string(limit));
        expectBeginning(message, compose(nullptr, message.c_str(), limit), limit);
        // The same bytes split between header and body.
        const size_t split = rng() % n;
        const std::string header = message.substr(0, split);
        const std::string body = message.substr(split);
        expectBeginning(header + "\n" + body, compose(header.c_str(), body.c_str(), limit), limit);
    }
}

TEST(GuiLongText, SixtyFourMebibytesCostOnlyTheShownBytes) {
    const std::string body(k64MiB, 'x');
    const Shown s = compose("Kop", body.c_str());
    EXPECT_EQ(kShownBytes, s.text.size());
    EXPECT_EQ(k64MiB + 4 - kShownBytes, s.omitted);
    const Shown h = compose(body.c_str(), "staart");
    EXPECT_EQ(std::string(kShownBytes, 'x'), h.text);
    EXPECT_EQ(k64MiB + 7 - kShownBytes, h.omitted);
}

// The header is where the label of a long message takes it from: the
// beginning of the shown text, made valid as the whole is.
TEST(GuiLongText, HeaderIsTheBeginningOfTheShownText) {
    ShownText shown = composeShownText("Kop\xff", "Tekst");
    EXPECT_TRUE(shown.wholeHeader);
    EXPECT_EQ("Kop\xef\xbf\xbd", std::string(shown.text, shown.headerLength));
    EXPECT_EQ('\n', shown.text[shown.headerLength]);
    g_free(shown.text);
    // Cut inside the header, or right before its line feed: no whole header.
    shown = composeShownText("abcdef", "ghij", 6);
    EXPECT_FALSE(shown.wholeHeader);
    g_free(shown.text);
    shown = composeShownText("abcdef", "ghij", 7);
    EXPECT_TRUE(shown.wholeHeader);
    EXPECT_EQ(6u, shown.headerLength);
    g_free(shown.text);
    shown = composeShownText(nullptr, "Tekst");
    EXPECT_FALSE(shown.wholeHeader);
    g_free(shown.text);
}

// A message of five pieces (header, line feed, template text, detail,
// template text) is cut once, wherever the limit falls, as the same bytes
// joined would be.
TEST(GuiLongText, PiecesAreCutAsTheJoinedMessage) {
    const std::string detail = "d\xc3\xa9tail\xff";
    MessagePieces m;
    m.addHeader("Kop");
    m.add("voor: ", 6);
    m.add(detail.c_str());
    m.add(" :na");
    const std::string joined = "Kop\nvoor: " + detail + " :na";
    ASSERT_EQ(joined.size(), m.total());
    for (size_t limit = 0; limit <= joined.size() + 1; ++limit) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        ShownText shown = composeShownText(m, limit);
        expectBeginning(joined, Shown{std::string(shown.text, shown.length), shown.omitted}, limit);
        g_free(shown.text);
    }
    MessagePieces none;
    none.add(nullptr);
    EXPECT_EQ(0u, none.total());
}

// Lines end where pango ends them; \v, \f and U+0085 do not end one.
TEST(GuiLongText, CountLines) {
    // clang-format off
    const std::pair<std::string, size_t> cases[] = {
        {"", 1}, {"abc", 1}, {"a\n", 2}, {"\n\n\n", 4}, {"a\rb", 2}, {"a\r\nb", 2},
        {"a\n\rb", 3}, {"a\r\r\nb", 3}, {"a\xe2\x80\xa8" "b", 2}, {"a\xe2\x80\xa9" "b", 2},
        {"a\vb\fc\xc2\x85" "d", 1}, {"\xe2\x80\xa8", 2}, {"\xe2\x80", 1}, {"\r", 2}};
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(c.second, countLines(c.first.data(), c.first.size())) << c.first;
}

// The paragraphs that hold a long run, as [begin, end) byte ranges: a text
// view's paragraphs, which U+2028 does not end though it ends the run.
std::string longRunParagraphs(const std::string &text, size_t maxRun) {
    std::string found;
    for (const pelidor::Range &r : paragraphsWithLongRuns(text.data(), text.size(), maxRun))
        found += "[" + std::to_string(r.begin) + "," + std::to_string(r.end) + ")";
    return found;
}

TEST(GuiLongText, ParagraphsWithLongRuns) {
    EXPECT_EQ("", longRunParagraphs("", 3));
    EXPECT_EQ("", longRunParagraphs("abc def\nghi\tjkl\rmno\xe2\x80\xa8pqr stu", 3));
    EXPECT_EQ("[0,8)", longRunParagraphs("abc defg", 3));
    EXPECT_EQ("[0,5)", longRunParagraphs("ab\vcd", 3)) << "a vertical tab does not end a line";
    // Each line end closes a paragraph; the run is in the second alone.
    EXPECT_EQ("[4,12)", longRunParagraphs("a b\nab cdefg\nh", 3));
    EXPECT_EQ("[5,13)", longRunParagraphs("a b\r\nab cdefg\r\nh", 3));
    EXPECT_EQ("[4,12)", longRunParagraphs("a b\rab cdefg\rh", 3));
    EXPECT_EQ("[6,14)", longRunParagraphs("a b\xe2\x80\xa9"
                                          "ab cdefg",
                                          3));
    // U+2028 breaks the run but not the paragraph.
    EXPECT_EQ("", longRunParagraphs("abc\xe2\x80\xa8"
                                    "def",
                                    3));
    EXPECT_EQ("[0,14)", longRunParagraphs("a b\xe2\x80\xa8"
                                          "ab cdefg",
                                          3));
    EXPECT_EQ("[0,4)[5,9)", longRunParagraphs("abcd\nefgh", 3));
    EXPECT_EQ("[2,6)", longRunParagraphs("\n\nabcd\n\n", 3));
    const std::string words = std::string(1024, 'w') + " " + std::string(1024, 'w');
    EXPECT_EQ("", longRunParagraphs(words, pelidor::kLongRunBytes));
    EXPECT_EQ("[2050,3075)",
              longRunParagraphs(words + "\n" + std::string(1025, 'x'), pelidor::kLongRunBytes));
}

// A character's combining marks beyond kMaxMarks end the shown text, with
// the header whole and the rest counted as left out; marks after other
// characters, and other characters between marks, start the count anew.
TEST(GuiLongText, MarksBeyondTheLimitEndTheShownText) {
    const std::string acute = "\xcc\x81";  // U+0301, a combining mark
    std::string marks;
    for (size_t i = 0; i < 10000; ++i) marks += acute;
    const std::string body = "a" + marks + "b";
    Shown s = compose("Kop", body.c_str());
    std::string expected = "Kop\na";
    for (size_t i = 0; i < kMaxMarks; ++i) expected += acute;
    EXPECT_TRUE(s.text == expected) << s.text.size() << " bytes shown";
    EXPECT_EQ(4 + body.size() - s.text.size(), s.omitted);

    ShownText shown = composeShownText("Kop", body.c_str());
    EXPECT_TRUE(shown.wholeHeader);
    EXPECT_EQ(3u, shown.headerLength);
    g_free(shown.text);

    // Exactly the limit, on every letter, and a mark cut by the byte limit.
    std::string allowed;
    for (size_t i = 0; i < kMaxMarks; ++i) allowed += acute;
    const std::string many = "a" + allowed + "b" + allowed + "\xff" + allowed + "c";
    s = compose(nullptr, many.c_str());
    EXPECT_EQ(0u, s.omitted);
    EXPECT_EQ(madeValid(many), s.text);
    s = compose(nullptr, many.c_str(), 2 * kMaxMarks + 2);
    EXPECT_EQ("a" + allowed + "b", s.text);
    // Marks on the header's last letter: the cut falls inside the header.
    shown = composeShownText(("x" + marks).c_str(), "body");
    EXPECT_FALSE(shown.wholeHeader);
    EXPECT_EQ(1 + 2 * kMaxMarks, shown.length);
    g_free(shown.text);
}

TEST(GuiLongText, CutMarkSaysWhatWasLeftOut) {
    gchar *mark = cutMark(1048576);
    EXPECT_STREQ(
        "\xe2\x80\xa6\n"
        "[Ingekort: de laatste 1048576 bytes van dit bericht worden niet getoond.]",
        mark);
    g_free(mark);
}

}  // namespace
