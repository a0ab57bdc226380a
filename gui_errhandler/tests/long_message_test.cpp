// Long messages on a real X server (Xvfb, 1280x1024): a message that fits
// the screen is shown as always; a longer one shows its beginning exactly in
// the label, the rest of its first 16 KiB in a scrolled area and the cut
// mark where bytes were left out, in a dialog that fits the screen with its
// Close button on it, for any detail up to 64 MiB.
//
// Each case prints its time to map and its size against the screen; the
// time is reported, not asserted (a loaded machine would make it flaky).
// What keeps it short is asserted instead: GTK+ never gets more than the
// shown bytes, of which the label gets at most its head.
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <string>


#include "bad_bytes.h"
#include "gui_fixture.h"
#include "pelidor/gui_errhandler.h"

namespace {

constexpr size_t kShown = 16384;   // the documented limit, typed here again
constexpr size_t kHeadMax = 1024;  // the label's part of a long message

const char kNoticeHeader[] = "Het updaten van de lijst met postings is mislukt.\nServermededeling ontvangen: ";

// A text of n bytes that repeats `block`; copied by doubling, so that even
// 64 MiB take the test little time, under valgrind too.
std::string repeated(const std::string &block, size_t n) {
    std::string s = block;
    s.reserve(n);
    while (s.size() < n) s.append(s, 0, std::min(s.size(), n - s.size()));
    s.resize(n);
    return s;
}

// Numbered lines of 79 characters and a line feed, up to n bytes (beyond
// 64 KiB the numbers repeat).
std::string lines(size_t n) {
    std::string block;
    char line[128];
    for (size_t i = 0; block.size() < 65536; ++i) {
        std::snprintf(line, sizeof line, "regel %07zu: %-64s\n", i, "de server meldt iets dat niet klopt");
        block += line;
    }
    return repeated(block, n);
}

// Short lines, as a server's list or log gives them, up to n bytes.
std::string shortLines(size_t n) {
    std::string block;
    for (size_t i = 0; block.size() < 65536; ++i) block += "regel " + std::to_string(i) + "\n";
    return repeated(block, n);
}

std::string mark(size_t omitted) {
    return "\xe2\x80\xa6\n[Ingekort: de laatste " + std::to_string(omitted) +
           " bytes van dit bericht worden niet getoond.]";
}

void report(const char *what, const SeenDialog &seen) {
    std::printf("[ MEASURED ] %s: mapped after %.3f s; dialog %dx%d at (%d,%d), Close button at "
                "(%d,%d) %dx%d, screen %dx%d\n",
                what, seen.mapSeconds, seen.window.width, seen.window.height, seen.window.x,
                seen.window.y, seen.close.x, seen.close.y, seen.close.width, seen.close.height,
                seen.screen.width, seen.screen.height);
}

bool inside(const GdkRectangle &inner, const GdkRectangle &outer) {
    return inner.width > 0 && inner.height > 0 && inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

class GuiLongMessage : public GuiTest {
protected:
    // Shows the message and checks what every dialog must be: on the screen
    // with its Close button, an error dialog without a title.
    SeenDialog show(const char *what, const std::function<void()> &call) {
        SeenDialog seen = showAndClose(call, {}, true);
        report(what, seen);
        EXPECT_EQ(1, seen.sightings);
        EXPECT_EQ(GTK_MESSAGE_ERROR, seen.type);
        EXPECT_TRUE(seen.closeButton);
        EXPECT_FALSE(seen.hasTitle);
        EXPECT_FALSE(seen.useMarkup);
        EXPECT_TRUE(seen.finalized);
        EXPECT_GE(seen.mapSeconds, 0.0) << "the dialog was never mapped";
        EXPECT_TRUE(inside(seen.window, seen.screen)) << "the dialog fits the screen";
        EXPECT_TRUE(inside(seen.close, seen.window)) << "the Close button is in the dialog";
        EXPECT_TRUE(inside(seen.close, seen.screen)) << "the Close button is on the screen";
        return seen;
    }

    // A long message: the label shows the beginning of `shownText` (what
    // the shown bytes are as valid UTF-8), the scrolled area the rest of it,
    // and the mark follows when `omitted` bytes were left out.
    void expectLong(const SeenDialog &seen, const std::string &shownText, size_t omitted) {
        EXPECT_EQ(seen.text, seen.labelText);
        EXPECT_FALSE(seen.text.empty());
        EXPECT_LE(seen.text.size(), kHeadMax);
        EXPECT_EQ(0, shownText.compare(0, seen.text.size(), seen.text)) << "the label shows the beginning exactly";
        EXPECT_TRUE(seen.restShown) << "the rest is in a scrolled area";
        EXPECT_TRUE(seen.focusOnClose) << "Enter still closes the dialog";
        // A line feed at the split is the end of the label's last line.
        const std::string split = shownText.compare(seen.text.size(), 1, "\n") == 0 ? "\n" : "";
        const std::string shown = seen.text + split + seen.restText;
        EXPECT_TRUE(shown == shownText) << "label and scrolled area show " << shown.size() << " bytes, "
                                        << "expected " << shownText.size();
        EXPECT_EQ(omitted ? mark(omitted) : "", seen.restMark);
    }

    // The same for an ASCII message: its first kShown bytes are shown.
    void expectLongAscii(const SeenDialog &seen, const std::string &full) {
        const size_t omitted = full.size() > kShown ? full.size() - kShown : 0;
        expectLong(seen, full.substr(0, full.size() - omitted), omitted);
    }
};

// ---- messages that fit the screen: as always ----------------------------

TEST_F(GuiLongMessage, FittingMessageIsShownAsAlways) {
    const std::string detail = lines(20 * 80);
    SeenDialog seen = show("20 lines", [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); });
    EXPECT_EQ(kNoticeHeader + detail, seen.text);
    EXPECT_EQ(seen.text, seen.labelText);
    EXPECT_FALSE(seen.restShown);
}

TEST_F(GuiLongMessage, ShortUnbrokenWordIsShownAsAlways) {
    const std::string detail(100, 'x');
    SeenDialog seen = show("100 bytes unbroken", [&] { qolt_gui_errhandler(nullptr, 0, RES_PARSE_FAILED, detail.c_str()); });
    EXPECT_EQ("Het updaten van de lijst met postings is mislukt.\nHet parsen van de gegevens is mislukt :\n" + detail,
              seen.text);
    EXPECT_FALSE(seen.restShown);
}

// ---- the sizes that overflowed or froze the old dialog --------------------

TEST_F(GuiLongMessage, ThreeKilobytesInLines) {
    const std::string detail = shortLines(3000);
    SeenDialog seen = show("3 kB in lines", [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); });
    expectLongAscii(seen, kNoticeHeader + detail);
    EXPECT_EQ(GTK_WRAP_WORD_CHAR, seen.restWrap);
}

TEST_F(GuiLongMessage, HundredKilobytesUnbroken) {
    const std::string detail(100 * 1000, 'x');
    SeenDialog seen = show("100 kB unbroken", [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); });
    expectLongAscii(seen, kNoticeHeader + detail);
    EXPECT_EQ(GTK_WRAP_CHAR, seen.restWrap) << "an unbroken run wraps anywhere";
}

TEST_F(GuiLongMessage, OneMebibyteInLines) {
    const std::string detail = lines(size_t(1) << 20);
    SeenDialog seen = show("1 MiB in lines", [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); });
    expectLongAscii(seen, kNoticeHeader + detail);
    EXPECT_EQ(GTK_WRAP_WORD_CHAR, seen.restWrap);
}

// ---- the bound: any detail up to 64 MiB ----------------------------------

TEST_F(GuiLongMessage, SixtyFourMebibytesUnbroken) {
    const std::string detail(k64MiB, 'x');
    SeenDialog seen = show("64 MiB unbroken", [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); });
    expectLongAscii(seen, kNoticeHeader + detail);
}

TEST_F(GuiLongMessage, SixtyFourMebibytesInLines) {
    const std::string detail = lines(k64MiB);
    SeenDialog seen = show("64 MiB in lines", [&] { qolt_gui_errhandler(nullptr, 4, RES_PARSE_FAILED, detail.c_str()); });
    expectLongAscii(seen, "Het ophalen van QOLT Mail is mislukt\nHet parsen van de gegevens is mislukt :\n" + detail);
}

TEST_F(GuiLongMessage, SixtyFourMebibytesInShortLines) {
    const std::string detail = shortLines(k64MiB);
    SeenDialog seen = show("64 MiB in short lines", [&] { qolt_gui_dialog_show(nullptr, detail.c_str(), nullptr); });
    expectLongAscii(seen, detail);
}

// Every byte becomes U+FFFD, three bytes each: the 16 KiB shown grow to 48 KiB.
TEST_F(GuiLongMessage, SixtyFourMebibytesNotUtf8) {
    const std::string detail = repeated(highBytes(), k64MiB);
    SeenDialog seen = show("64 MiB of bytes 0x80-0xFF", [&] { qolt_gui_dialog_show(nullptr, detail.c_str(), nullptr); });
    std::string shownText;
    for (size_t i = 0; i < kShown; ++i) shownText += "\xef\xbf\xbd";
    expectLong(seen, shownText, k64MiB - kShown);
}

// ---- the limit itself ----------------------------------------------------

TEST_F(GuiLongMessage, SixteenKibibytesAreShownWhole) {
    const std::string body = lines(kShown);
    SeenDialog seen = show("16 KiB in lines", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, body);
    EXPECT_EQ("", seen.restMark);
}

TEST_F(GuiLongMessage, OneByteMoreIsCutWithMark) {
    const std::string body = lines(kShown + 1);
    SeenDialog seen = show("16 KiB + 1 in lines", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, body);
    EXPECT_EQ(mark(1), seen.restMark);
}

// Wider than the screen though short: one unbroken word of 3000 bytes.
TEST_F(GuiLongMessage, WideWordIsLong) {
    const std::string body(3000, 'w');
    SeenDialog seen = show("3000 bytes unbroken", [&] { qolt_gui_dialog_show("Kop", body.c_str(), nullptr); });
    expectLongAscii(seen, "Kop\n" + body);
    EXPECT_EQ(GTK_WRAP_CHAR, seen.restWrap);
}

// The old test of the longest sensible text: 200 lines of 80 characters do
// not fit a 1024-pixel screen; every one of their bytes is still shown.
TEST_F(GuiLongMessage, TwoHundredLinesKeepEveryByte) {
    std::string body;
    for (int line = 0; line < 200; ++line) body += std::string(79, char('a' + line % 26)) + '\n';
    SeenDialog seen = show("200 lines of 80", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, body);
}

// A long message with a parent: still transient for it, and on the screen.
TEST_F(GuiLongMessage, LongMessageWithParent) {
    GtkWidget *parent = makeParent();
    const std::string detail = lines(size_t(1) << 20);
    SeenDialog seen = show("1 MiB with a parent", [&] { qolt_gui_errhandler(parent, 0, RES_SERVER_NOTICE, detail.c_str()); });
    EXPECT_EQ(GTK_WINDOW(parent), seen.transientFor);
    EXPECT_TRUE(seen.destroyWithParent);
    expectLongAscii(seen, kNoticeHeader + detail);
    gtk_widget_destroy(parent);
}

}  // namespace
