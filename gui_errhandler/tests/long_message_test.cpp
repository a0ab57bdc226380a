// Long messages on a real X server (Xvfb; CTest runs this file at 1280x1024
// and again at 800x600): a message that fits the screen is shown whole in the
// label; a longer one shows its header in the label and the whole of its
// first 16 KiB in a scrolled area, with the cut mark where bytes were left
// out, in a dialog that fits the screen with its Close button on it, for any
// detail up to 64 MiB, any line ends, large theme fonts and any width.
//
// Each case prints its time to map and its size against the screen; the
// time is reported, not asserted (a loaded machine would make it flaky).
// What keeps it short is asserted instead: this test stands between GTK+
// and pango_layout_set_text() and holds every text that reaches pango to
// few lines, and the label's to a few kilobytes.
#include <dlfcn.h>
#include <gdk/gdkkeysyms.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bad_bytes.h"
#include "expected_texts.h"
#include "gui_fixture.h"
#include "pelidor/gui_errhandler.h"

// ---- what reaches pango ----------------------------------------------------

namespace {

struct LaidOut {
    bool byTextView;  // one paragraph of a text view, else the label's or a measure
    size_t bytes;
    size_t paragraphs;  // ends of paragraphs: LF, CR, CR LF, U+2029
    size_t lines;       // and of lines inside one: U+2028
};

std::mutex laidMutex;
std::vector<LaidOut> laid;
bool recording = false;

LaidOut measure(bool byTextView, const char *text, size_t n) {
    LaidOut t{byTextView, n, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == n || text[i + 1] != '\n'))) {
            ++t.paragraphs;
        } else if (i + 2 < n && text[i] == '\xe2' && text[i + 1] == '\x80') {
            if (text[i + 2] == '\xa9') ++t.paragraphs;
            if (text[i + 2] == '\xa8') ++t.lines;
        }
    }
    t.lines += t.paragraphs;
    return t;
}

}  // namespace

// Every text GTK+ (and the library) hands to pango passes here first: the
// test exports it (-rdynamic, default visibility), so that this definition
// comes before pango's.
extern "C" __attribute__((visibility("default"))) void pango_layout_set_text(PangoLayout *layout,
                                                                             const char *text,
                                                                             int length) {
    using SetText = void (*)(PangoLayout *, const char *, int);
    static const auto real = reinterpret_cast<SetText>(dlsym(RTLD_NEXT, "pango_layout_set_text"));
    if (text) {
        // GtkTextView lays out through this function, one paragraph at a time.
        Dl_info caller;
        const bool byTextView =
            dladdr(__builtin_return_address(0), &caller) && caller.dli_sname &&
            std::strcmp(caller.dli_sname, "gtk_text_layout_get_line_display") == 0;
        const size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
        std::lock_guard<std::mutex> lock(laidMutex);
        if (recording) laid.push_back(measure(byTextView, text, n));
    }
    real(layout, text, length);
}

namespace {

constexpr size_t kShown = 16384;    // the documented limits, typed here again
constexpr int kRestMaxWidth = 560;  // the scrolled area's width
constexpr int kRestMinLines = 8;    // its height, where the screen has room
constexpr size_t kLabelMax = 4096;  // the most text the label lays out
constexpr int kMinLineHeight = 8;   // no text has lower lines
constexpr int kRestMaxLines = 20;   // the area's height where the screen has room
constexpr int kFrameHeight = 64;    // the height left for the window's frame
constexpr size_t kMaxMarks = 32;    // combining marks shown on one character

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
        std::snprintf(line, sizeof line, "regel %07zu: %-64s\n", i,
                      "de server meldt iets dat niet klopt");
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
    std::printf(
        "[ MEASURED ] %s on %dx%d: mapped after %.3f s; dialog %dx%d at (%d,%d); "
        "Close at (%d,%d) %dx%d; scrolled area %dx%d\n",
        what, seen.screen.width, seen.screen.height, seen.mapSeconds, seen.window.width,
        seen.window.height, seen.window.x, seen.window.y, seen.close.x, seen.close.y,
        seen.close.width, seen.close.height, seen.rest.width, seen.rest.height);
}

bool inside(const GdkRectangle &inner, const GdkRectangle &outer) {
    return inner.width > 0 && inner.height > 0 && inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

const char kUpdateHeader[] = "Het updaten van de lijst met postings is mislukt.";
const char kNoticeHeader[] =
    "Het updaten van de lijst met postings is mislukt.\n"
    "Servermededeling ontvangen: ";

class GuiLongMessage : public GuiTest {
protected:
    // Shows the message and checks what every dialog must be: on the screen
    // with its Close button, an error dialog without a title, its scrolled
    // area no wider than documented, and no text laid out whole that is
    // too long to fit.
    SeenDialog show(const char *what, const std::function<void()> &call, React react = {}) {
        // A text view of 16,000 lines takes seconds under valgrind.
        extendWatchdog(60);
        {
            std::lock_guard<std::mutex> lock(laidMutex);
            laid.clear();
            recording = true;
        }
        SeenDialog seen = showAndClose(call, std::move(react), true);
        std::vector<LaidOut> texts;
        {
            std::lock_guard<std::mutex> lock(laidMutex);
            recording = false;
            texts.swap(laid);
        }
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
        if (seen.restShown) {
            EXPECT_TRUE(inside(seen.rest, seen.window)) << "the scrolled area is in the dialog";
            EXPECT_LE(seen.rest.width, kRestMaxWidth);
        }
        // Laying out costs pango time that grows with the paragraphs of one
        // layout; the label lays its text out several times over, all its
        // lines at once.  The text view lays out one paragraph at a time.
        const size_t maxLines = static_cast<size_t>(seen.screen.height / kMinLineHeight);
        size_t paragraphs = 0, labelLines = 0, labelBytes = 0, textViewLayouts = 0;
        for (const LaidOut &t : texts) {
            paragraphs = std::max(paragraphs, t.paragraphs);
            if (t.byTextView) {
                ++textViewLayouts;
            } else {
                labelLines = std::max(labelLines, t.lines);
                labelBytes = std::max(labelBytes, t.bytes);
            }
        }
        EXPECT_LE(paragraphs, maxLines)
            << "more paragraphs than the screen holds reached pango at once";
        EXPECT_LE(labelLines, maxLines) << "the label laid out more lines than the screen holds";
        EXPECT_LE(labelBytes, kLabelMax) << "the label laid out a text too long to fit";
        if (seen.restShown) {
            EXPECT_GT(textViewLayouts, 0u) << "the text view's layouts were seen";
        }
        return seen;
    }

    // A long message, its header once on screen: the label shows the header
    // (none: empty, and the label hidden), the scrolled area the rest of
    // `shownText` (what the shown bytes are as valid UTF-8) after the
    // header and its line feed, and the mark follows when `omitted` bytes
    // were left out.
    void expectLong(const SeenDialog &seen, const std::string &header, const std::string &shownText,
                    size_t omitted) {
        EXPECT_EQ(header, seen.labelText);
        EXPECT_EQ(seen.text, seen.labelText);
        EXPECT_EQ(!header.empty(), seen.labelShown);
        EXPECT_TRUE(seen.restShown) << "the message is in a scrolled area";
        EXPECT_TRUE(seen.focusOnClose) << "Enter still closes the dialog";
        const std::string rest = header.empty() ? shownText : shownText.substr(header.size() + 1);
        if (!header.empty()) {
            EXPECT_EQ(0, shownText.compare(0, header.size() + 1, header + "\n"));
        }
        EXPECT_TRUE(seen.restText == rest) << "the scrolled area shows " << seen.restText.size()
                                           << " bytes, expected " << rest.size();
        EXPECT_EQ(omitted ? mark(omitted) : "", seen.restMark);
    }

    // The same for an ASCII message: its first kShown bytes are shown.
    void expectLongAscii(const SeenDialog &seen, const std::string &header,
                         const std::string &full) {
        const size_t omitted = full.size() > kShown ? full.size() - kShown : 0;
        expectLong(seen, header, full.substr(0, full.size() - omitted), omitted);
    }

    // The same where the label may have given its header to the area (a
    // large font on a small screen): the header is shown once either way.
    void expectHeaderOnceAscii(const SeenDialog &seen, const std::string &header,
                               const std::string &full) {
        expectLongAscii(seen, seen.labelShown ? header : "", full);
    }
};

// ---- messages that fit the screen: whole, in the label ------------------

TEST_F(GuiLongMessage, FittingMessageIsShownAsAlways) {
    const std::string detail = lines(20 * 80);
    SeenDialog seen = show(
        "20 lines", [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); });
    EXPECT_EQ(kNoticeHeader + detail, seen.text);
    EXPECT_EQ(seen.text, seen.labelText);
    EXPECT_FALSE(seen.restShown);
}

TEST_F(GuiLongMessage, ShortUnbrokenWordIsShownAsAlways) {
    const std::string detail(100, 'x');
    SeenDialog seen = show("100 bytes unbroken", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_PARSE_FAILED, detail.c_str());
    });
    EXPECT_EQ(
        "Het updaten van de lijst met postings is mislukt.\n"
        "Het parsen van de gegevens is mislukt :\n" +
            detail,
        seen.text);
    EXPECT_FALSE(seen.restShown);
}

// ---- the sizes that overflowed or froze the old dialog --------------------

TEST_F(GuiLongMessage, ThreeKilobytesInLines) {
    const std::string detail = shortLines(3000);
    SeenDialog seen = show("3 kB in lines", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    EXPECT_EQ(GTK_WRAP_WORD_CHAR, seen.restWrap);
}

TEST_F(GuiLongMessage, HundredKilobytesUnbroken) {
    const std::string detail(100 * 1000, 'x');
    SeenDialog seen = show("100 kB unbroken", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
}

TEST_F(GuiLongMessage, OneMebibyteInLines) {
    const std::string detail = lines(size_t(1) << 20);
    SeenDialog seen = show("1 MiB in lines", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    EXPECT_EQ(GTK_WRAP_WORD_CHAR, seen.restWrap);
}

// ---- the bound: any detail up to 64 MiB ----------------------------------

TEST_F(GuiLongMessage, SixtyFourMebibytesUnbroken) {
    const std::string detail(k64MiB, 'x');
    SeenDialog seen = show("64 MiB unbroken", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
}

TEST_F(GuiLongMessage, SixtyFourMebibytesInLines) {
    const std::string detail = lines(k64MiB);
    SeenDialog seen = show("64 MiB in lines", [&] {
        qolt_gui_errhandler(nullptr, 4, RES_PARSE_FAILED, detail.c_str());
    });
    expectLongAscii(seen, "Het ophalen van QOLT Mail is mislukt",
                    "Het ophalen van QOLT Mail is mislukt\n"
                    "Het parsen van de gegevens is mislukt :\n" +
                        detail);
}

TEST_F(GuiLongMessage, SixtyFourMebibytesInShortLines) {
    const std::string detail = shortLines(k64MiB);
    SeenDialog seen = show("64 MiB in short lines",
                           [&] { qolt_gui_dialog_show(nullptr, detail.c_str(), nullptr); });
    expectLongAscii(seen, "", detail);
}

// Every byte becomes U+FFFD, three bytes each: the 16 KiB shown grow to 48 KiB.
TEST_F(GuiLongMessage, SixtyFourMebibytesNotUtf8) {
    const std::string detail = repeated(highBytes(), k64MiB);
    SeenDialog seen = show("64 MiB of bytes 0x80-0xFF",
                           [&] { qolt_gui_dialog_show(nullptr, detail.c_str(), nullptr); });
    std::string shownText;
    for (size_t i = 0; i < kShown; ++i) shownText += "\xef\xbf\xbd";
    expectLong(seen, "", shownText, k64MiB - kShown);
}

// ---- the limit itself ----------------------------------------------------

TEST_F(GuiLongMessage, SixteenKibibytesAreShownWhole) {
    const std::string body = lines(kShown);
    SeenDialog seen =
        show("16 KiB in lines", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, "", body);
    EXPECT_EQ("", seen.restMark);
}

TEST_F(GuiLongMessage, OneByteMoreIsCutWithMark) {
    const std::string body = lines(kShown + 1);
    SeenDialog seen =
        show("16 KiB + 1 in lines", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, "", body);
    EXPECT_EQ(mark(1), seen.restMark);
}

// Wider than the screen though short: one unbroken word of 3000 bytes.
TEST_F(GuiLongMessage, WideWordIsLong) {
    const std::string body(3000, 'w');
    SeenDialog seen =
        show("3000 bytes unbroken", [&] { qolt_gui_dialog_show("Kop", body.c_str(), nullptr); });
    expectLongAscii(seen, "Kop", "Kop\n" + body);
}

// The old test of the longest sensible text: 200 lines of 80 characters do
// not fit a 1024-pixel screen; every one of their bytes is still shown.
TEST_F(GuiLongMessage, TwoHundredLinesKeepEveryByte) {
    std::string body;
    for (int line = 0; line < 200; ++line) body += std::string(79, char('a' + line % 26)) + '\n';
    SeenDialog seen =
        show("200 lines of 80", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, "", body);
}

// A header too long for the label stays in the scrolled area alone.
TEST_F(GuiLongMessage, LongHeaderOnlyInTheArea) {
    const std::string header = repeated("kop ", 600);
    const std::string body = lines(8000);
    SeenDialog seen = show("2400-byte header",
                           [&] { qolt_gui_dialog_show(header.c_str(), body.c_str(), nullptr); });
    expectLongAscii(seen, "", header + "\n" + body);
}

// A long message with a parent: still transient for it, and on the screen.
TEST_F(GuiLongMessage, LongMessageWithParent) {
    GtkWidget *parent = makeParent();
    const std::string detail = lines(size_t(1) << 20);
    SeenDialog seen = show("1 MiB with a parent", [&] {
        qolt_gui_errhandler(parent, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    EXPECT_EQ(GTK_WINDOW(parent), seen.transientFor);
    EXPECT_TRUE(seen.destroyWithParent);
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    gtk_widget_destroy(parent);
}

// ---- every line end that pango honours ------------------------------------
// CR, CR LF, U+2028 and U+2029 end a line as LF does; the text is shown as
// given, its bytes unchanged.

TEST_F(GuiLongMessage, CarriageReturnsOnly) {
    const std::string body(16300, '\r');
    SeenDialog seen =
        show("16,300 CR", [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, "", body);
}

TEST_F(GuiLongMessage, CarriageReturnsInANotice) {
    const std::string detail(16000, '\r');
    SeenDialog seen = show("notice of 16,000 CR", [&] {
        qolt_gui_errhandler(nullptr, 12, RES_SERVER_NOTICE, detail.c_str());
    });
    expectLongAscii(seen, "", "Servermededeling ontvangen: " + detail);
}

// Numbered lines: every number is whole, in the one scrolled area.
TEST_F(GuiLongMessage, NumberedLinesWithEveryLineEnd) {
    const std::pair<const char *, const char *> ends[] = {{"CR", "\r"},
                                                          {"CR LF", "\r\n"},
                                                          {"LF", "\n"},
                                                          {"U+2028", "\xe2\x80\xa8"},
                                                          {"U+2029", "\xe2\x80\xa9"}};
    for (const auto &end : ends) {
        std::string detail;
        for (int i = 1; i <= 2000; ++i) detail += std::to_string(i) + end.second;
        const std::string what = std::string("2000 numbered lines ending in ") + end.first;
        SCOPED_TRACE(what);
        SeenDialog seen = show(what.c_str(), [&] {
            qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
        });
        expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    }
}

// A few lines that fit are shown whole in the label, whatever ends them.
TEST_F(GuiLongMessage, FewCarriageReturnLinesAreShownAsAlways) {
    const std::string body = "een\rtwee\r\ndrie\xe2\x80\xa9vier";
    SeenDialog seen =
        show("4 short lines", [&] { qolt_gui_dialog_show("Kop", body.c_str(), nullptr); });
    EXPECT_EQ("Kop\n" + body, seen.labelText);
    EXPECT_FALSE(seen.restShown);
}

// ---- texts that took GTK+ long to lay out ---------------------------------

TEST_F(GuiLongMessage, SixteenKibibytesOfAnyKind) {
    const std::pair<const char *, std::string> kinds[] = {
        {"16 KiB of \"a\\r\"", repeated("a\r", kShown)},
        {"16 KiB of \"a\\t\"", repeated("a\t", kShown)},
        {"16 KiB of \"\\r\"", std::string(kShown, '\r')},
        {"16 KiB unbroken", std::string(kShown, 'x')},
        {"16 KiB of \"a\\n\"", repeated("a\n", kShown)},
        {"16 KiB of \"a \"", repeated("a ", kShown)},
        {"16 KiB of \"a\" and U+2028", repeated("a\xe2\x80\xa8", kShown)},
        // The longest runs wrapped by words, and the most marks on each letter.
        {"16 KiB of 1024-byte words", repeated(std::string(1024, 'x') + " ", kShown)},
        {"16 KiB of letters with 32 marks", repeated("a" + repeated("\xcc\x81", 2 * kMaxMarks),
                                                     kShown - kShown % (2 * kMaxMarks + 1))},
    };
    for (const auto &kind : kinds) {
        SCOPED_TRACE(kind.first);
        SeenDialog seen =
            show(kind.first, [&] { qolt_gui_dialog_show(nullptr, kind.second.c_str(), nullptr); });
        expectLongAscii(seen, "", kind.second);
    }
}

// ---- theme fonts and wide text ----------------------------------------------

// A theme font set through a gtkrc, for the life of one test.
class ThemeFont {
public:
    explicit ThemeFont(const char *font) {
        g_object_get(gtk_settings_get_default(), "gtk-font-name", &old_, nullptr);
        parse(font);
    }
    ~ThemeFont() {
        parse(old_ ? old_ : "Sans 10");
        g_free(old_);
    }
    ThemeFont(const ThemeFont &) = delete;
    ThemeFont &operator=(const ThemeFont &) = delete;

private:
    static void parse(const char *font) {
        gchar *rc = g_strdup_printf("gtk-font-name = \"%s\"\n", font);
        gtk_rc_parse_string(rc);
        g_free(rc);
    }
    gchar *old_ = nullptr;
};

// The scrolled area takes the height the screen has free, at least 8
// lines of the big font, and keeps its width.
TEST_F(GuiLongMessage, BigThemeFont) {
    ThemeFont font("Sans 20");
    const std::string detail = lines(100 * 1000);
    SeenDialog seen = show("100 kB in lines, Sans 20", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    expectHeaderOnceAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    EXPECT_GE(seen.restLineHeight, 24) << "the gtkrc font is in use";
    EXPECT_GE(seen.rest.height, kRestMinLines * seen.restLineHeight);

    const std::string words = repeated("woord ", 3000);
    seen = show("3000 bytes of words, Sans 20",
                [&] { qolt_gui_dialog_show(kUpdateHeader, words.c_str(), nullptr); });
    expectHeaderOnceAscii(seen, kUpdateHeader, kUpdateHeader + ("\n" + words));
}

// Emoji joined by zero-width joiners are one character to pango, which
// cannot wrap inside it: the area scrolls sideways instead of widening.
TEST_F(GuiLongMessage, JoinedEmojiScrollSideways) {
    std::string body;
    while (body.size() + 7 <= kShown) body += "\xf0\x9f\x91\xa8\xe2\x80\x8d";
    SeenDialog seen = show("16 KiB of emoji joined by ZWJ",
                           [&] { qolt_gui_dialog_show(nullptr, body.c_str(), nullptr); });
    expectLongAscii(seen, "", body);
    EXPECT_TRUE(seen.restScrollsSideways);
}

// ---- one message, one copy --------------------------------------------------

// What the clipboard holds after copy() (within 5 s).
std::string copiedBy(const std::function<void()> &copy) {
    GtkClipboard *clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, "", 0);
    copy();
    std::string copied;
    GuiTest::iterateUntil(
        [&] {
            gchar *text = gtk_clipboard_wait_for_text(clipboard);
            copied = text ? text : "";
            g_free(text);
            return !copied.empty();
        },
        5000);
    return copied;
}

// Ctrl+A and Ctrl+C in the scrolled area, as a user does, copy the whole
// message, header included; a selection that does not start at the area's
// start copies itself alone.
TEST_F(GuiLongMessage, OneCopyTakesTheWholeMessage) {
    const std::string detail = shortLines(3000);
    std::string whole, part;
    SeenDialog seen = show(
        "copy of 3 kB in lines",
        [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); },
        [&](GtkDialog *dialog) {
            if (GtkWidget *view = textViewOf(dialog)) {
                // The keys as the focused view takes them: its key bindings.
                gtk_widget_grab_focus(view);
                whole = copiedBy([&] {
                    gtk_bindings_activate(GTK_OBJECT(view), GDK_KEY_a, GDK_CONTROL_MASK);
                    gtk_bindings_activate(GTK_OBJECT(view), GDK_KEY_c, GDK_CONTROL_MASK);
                });
                part = copiedBy([&] {
                    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
                    GtkTextIter from, to;
                    gtk_text_buffer_get_iter_at_offset(buffer, &from, 28);
                    gtk_text_buffer_get_iter_at_offset(buffer, &to, 44);
                    gtk_text_buffer_select_range(buffer, &from, &to);
                    g_signal_emit_by_name(view, "copy-clipboard");
                });
            }
            gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
        });
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    EXPECT_TRUE(whole == kNoticeHeader + detail) << "copied " << whole.size() << " bytes";
    EXPECT_EQ(("Servermededeling ontvangen: " + detail).substr(28, 16), part);
}

// ---- wrapping: by words -----------------------------------------------------

// Where the area's display lines break inside a word (between two letters
// or digits: a line may end after a hyphen, a slash or a question mark),
// by paragraph, as offsets in the buffer.
std::vector<std::vector<int>> breaksInsideWords(GtkDialog *dialog) {
    std::vector<std::vector<int>> breaks;
    GtkWidget *view = GuiTest::textViewOf(dialog);
    if (!view) return breaks;
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    breaks.resize(size_t(gtk_text_buffer_get_line_count(buffer)));
    GtkTextIter it;
    gtk_text_buffer_get_start_iter(buffer, &it);
    while (gtk_text_view_forward_display_line(GTK_TEXT_VIEW(view), &it) &&
           !gtk_text_iter_is_end(&it)) {
        if (gtk_text_iter_starts_line(&it)) continue;
        GtkTextIter before = it;
        gtk_text_iter_backward_char(&before);
        if (g_unichar_isalnum(gtk_text_iter_get_char(&before)) &&
            g_unichar_isalnum(gtk_text_iter_get_char(&it)))
            breaks[size_t(gtk_text_iter_get_line(&it))].push_back(gtk_text_iter_get_offset(&it));
    }
    return breaks;
}

// Paragraphs of words beside a long address and a run too long for pango
// to wrap by words in time: no word breaks, but inside the run and the
// address, only where they are too long for a line.
TEST_F(GuiLongMessage, WrapsBetweenWordsBesideLongRuns) {
    const std::string words =
        repeated("Controleer de internet-verbinding en probeer het opnieuw. ", 900);
    const std::string address = "https://www.qolt.nl/redirect?id=" + std::string(400, 'q');
    const std::string run(1500, 'x');
    const std::string body =
        words + "\n" + address + " " + words + "\n" + words + " " + run + "\n" + words;
    std::vector<std::vector<int>> breaks;
    SeenDialog seen = show(
        "words beside a 430-byte address and a 1500-byte run",
        [&] { qolt_gui_dialog_show(kUpdateHeader, body.c_str(), nullptr); },
        [&](GtkDialog *dialog) {
            breaks = breaksInsideWords(dialog);
            gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
        });
    expectLongAscii(seen, kUpdateHeader, kUpdateHeader + ("\n" + body));
    EXPECT_EQ(GTK_WRAP_WORD_CHAR, seen.restWrap);
    EXPECT_FALSE(seen.restScrollsSideways);
    ASSERT_EQ(4u, breaks.size());
    EXPECT_TRUE(breaks[0].empty()) << breaks[0].size() << " words broken in the first paragraph";
    EXPECT_TRUE(breaks[3].empty()) << breaks[3].size() << " words broken in the last paragraph";
    // The address breaks, after its first line, and only inside its run of q.
    const int addressStart = int(words.size()) + 1;
    EXPECT_FALSE(breaks[1].empty()) << "the address is wrapped, not cut off";
    for (int offset : breaks[1]) {
        EXPECT_GT(offset, addressStart + 32) << "a break in the address's words";
        EXPECT_LT(offset, addressStart + int(address.size())) << "a word after it broken";
    }
    EXPECT_FALSE(breaks[2].empty()) << "the run is wrapped";
}

// ---- direction ----------------------------------------------------------------

// Where the label's text stands, and where the area's first character
// stands (its left edge, or its right edge when `rtl`), in the dialog's
// window.
struct Edges {
    int labelLeft = 0, labelRight = 0, areaStart = 0, areaMiddle = 0;
};

Edges edgesOf(GtkDialog *dialog, bool rtl) {
    Edges e;
    GtkLabel *label = GTK_LABEL(GTK_MESSAGE_DIALOG(dialog)->label);
    gint x = 0, y = 0;
    gtk_label_get_layout_offsets(label, &x, &y);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(gtk_label_get_layout(label), nullptr, &logical);
    e.labelLeft = x + logical.x;
    e.labelRight = e.labelLeft + logical.width;
    GtkWidget *view = GuiTest::textViewOf(dialog);
    if (!view) return e;
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), &start);
    GdkRectangle first;
    gtk_text_view_get_iter_location(GTK_TEXT_VIEW(view), &start, &first);
    int edge = rtl ? first.x + first.width : first.x;
    gtk_text_view_buffer_to_window_coords(GTK_TEXT_VIEW(view), GTK_TEXT_WINDOW_WIDGET, edge, 0,
                                          &edge, nullptr);
    gtk_widget_translate_coordinates(view, GTK_WIDGET(dialog), edge, 0, &e.areaStart, nullptr);
    GtkAllocation a;
    gtk_widget_get_allocation(gtk_widget_get_parent(view), &a);
    e.areaMiddle = a.x + a.width / 2;
    return e;
}

// A right-to-left message stands at the right in the label and in the area
// alike, a left-to-right one at the left.  (The area's text ends before its
// scroll bar, the label's at the area's edge.)
TEST_F(GuiLongMessage, LabelAndAreaFollowTheTextsDirection) {
    const std::string hebrewHeader = "\xd7\xa9\xd7\x92\xd7\x99\xd7\x90\xd7\x94";
    std::string hebrew;
    while (hebrew.size() < 5000)
        hebrew +=
            "\xd7\x94\xd7\x97\xd7\x99\xd7\x91\xd7\x95\xd7\xa8 \xd7\xa0\xd7\x9b\xd7\xa9\xd7\x9c.\n";
    const std::string dutch = shortLines(5000);
    for (const bool rtl : {true, false}) {
        const std::string &header = rtl ? hebrewHeader : std::string(kUpdateHeader);
        const std::string &body = rtl ? hebrew : dutch;
        SCOPED_TRACE(rtl ? "right to left" : "left to right");
        Edges e;
        SeenDialog seen = show(
            rtl ? "5 kB of Hebrew" : "5 kB of Dutch",
            [&] { qolt_gui_dialog_show(header.c_str(), body.c_str(), nullptr); },
            [&](GtkDialog *dialog) {
                e = edgesOf(dialog, rtl);
                gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
            });
        expectLongAscii(seen, header, header + "\n" + body);
        std::printf("[ MEASURED ] label text %d..%d, area's first character at %d\n", e.labelLeft,
                    e.labelRight, e.areaStart);
        if (rtl) {
            EXPECT_GT(e.labelLeft, e.areaMiddle) << "the label's text stands at the right";
            EXPECT_GT(e.areaStart, e.areaMiddle) << "the area's text stands at the right";
            EXPECT_NEAR(e.labelRight, e.areaStart, 40) << "both end at the same edge";
        } else {
            EXPECT_LT(e.areaStart, e.areaMiddle) << "the area's text stands at the left";
            EXPECT_NEAR(e.labelLeft, e.areaStart, 12) << "both start at the same edge";
        }
    }
}

// ---- combining marks --------------------------------------------------------

// One letter with 10,000 combining marks: pango would take seconds to place
// them; the shown text ends after the letter's first marks, with the cut
// mark counting the rest.  Its time to map is reported.
TEST_F(GuiLongMessage, TenThousandMarksOnOneLetter) {
    const std::string acute = "\xcc\x81";
    std::string marks;
    for (int i = 0; i < 10000; ++i) marks += acute;
    const std::string detail = "a" + marks;
    std::string shownMarks;
    for (size_t i = 0; i < kMaxMarks; ++i) shownMarks += acute;
    SeenDialog seen = show("one letter with 10,000 combining marks", [&] {
        qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
    });
    const std::string shownText = kNoticeHeader + ("a" + shownMarks);
    expectLong(seen, kUpdateHeader, shownText,
               std::strlen(kNoticeHeader) + detail.size() - shownText.size());
}

// ---- a large font on a small screen -------------------------------------------

// The label keeps the header only on one line or where the area has all
// its lines anyway; else the header leads the area, which takes all the
// height that Close leaves.  Shown once either way.
TEST_F(GuiLongMessage, HugeThemeFontLeavesTheAreaItsRoom) {
    ThemeFont font("Sans 40");
    const std::string detail = shortLines(3000);
    const std::pair<std::string, std::string> messages[] = {
        {"3 kB notice, Sans 40", kNoticeHeader + detail},
        {"message 0/28, Sans 40", expectedDialog(0, 28, "").text},
    };
    for (const auto &m : messages) {
        SCOPED_TRACE(m.first);
        int labelLines = 0;
        SeenDialog seen = show(
            m.first.c_str(),
            [&] {
                if (m.second == messages[0].second)
                    qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str());
                else
                    qolt_gui_errhandler(nullptr, 0, 28, nullptr);
            },
            [&](GtkDialog *dialog) {
                labelLines = pango_layout_get_line_count(
                    gtk_label_get_layout(GTK_LABEL(GTK_MESSAGE_DIALOG(dialog)->label)));
                gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
            });
        if (!seen.restShown) {
            // A screen with room for it all: the label alone, as always.
            EXPECT_EQ(m.second, seen.labelText);
            continue;
        }
        expectHeaderOnceAscii(seen, kUpdateHeader, m.second);
        ASSERT_GT(seen.restLineHeight, 40) << "the gtkrc font is in use";
        std::printf("[ MEASURED ] %s: the area shows %.1f lines, the label %d\n", m.first.c_str(),
                    double(seen.rest.height) / seen.restLineHeight,
                    seen.labelShown ? labelLines : 0);
        if (seen.rest.height < kRestMaxLines * seen.restLineHeight) {
            EXPECT_GE(seen.window.height, seen.screen.height - kFrameHeight - 2)
                << "the area takes all the height the screen leaves";
            if (seen.labelShown) {
                EXPECT_EQ(1, labelLines) << "a header over several lines takes the area's room";
            }
        }
    }
}

}  // namespace
