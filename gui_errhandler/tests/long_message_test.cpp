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

    // A long message: the label shows the header (none: empty), the
    // scrolled area the whole of `shownText` (what the shown bytes are as
    // valid UTF-8), and the mark follows when `omitted` bytes were left out.
    void expectLong(const SeenDialog &seen, const std::string &header, const std::string &shownText,
                    size_t omitted) {
        EXPECT_EQ(header, seen.labelText);
        EXPECT_EQ(seen.text, seen.labelText);
        EXPECT_TRUE(seen.restShown) << "the message is in a scrolled area";
        EXPECT_TRUE(seen.focusOnClose) << "Enter still closes the dialog";
        EXPECT_TRUE(seen.restText == shownText)
            << "the scrolled area shows " << seen.restText.size() << " bytes, expected "
            << shownText.size();
        EXPECT_EQ(omitted ? mark(omitted) : "", seen.restMark);
    }

    // The same for an ASCII message: its first kShown bytes are shown.
    void expectLongAscii(const SeenDialog &seen, const std::string &header,
                         const std::string &full) {
        const size_t omitted = full.size() > kShown ? full.size() - kShown : 0;
        expectLong(seen, header, full.substr(0, full.size() - omitted), omitted);
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
    EXPECT_EQ(GTK_WRAP_CHAR, seen.restWrap) << "an unbroken run wraps anywhere";
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
    EXPECT_EQ(GTK_WRAP_CHAR, seen.restWrap);
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
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    EXPECT_GE(seen.restLineHeight, 24) << "the gtkrc font is in use";
    EXPECT_GE(seen.rest.height, kRestMinLines * seen.restLineHeight);

    const std::string words = repeated("woord ", 3000);
    seen = show("3000 bytes of words, Sans 20",
                [&] { qolt_gui_dialog_show(kUpdateHeader, words.c_str(), nullptr); });
    expectLongAscii(seen, kUpdateHeader, kUpdateHeader + ("\n" + words));
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

// Ctrl+A and Ctrl+C in the scrolled area, as a user does, copy the whole
// message, header included.
TEST_F(GuiLongMessage, OneCopyTakesTheWholeMessage) {
    const std::string detail = shortLines(3000);
    std::string copied;
    SeenDialog seen = show(
        "copy of 3 kB in lines",
        [&] { qolt_gui_errhandler(nullptr, 0, RES_SERVER_NOTICE, detail.c_str()); },
        [&](GtkDialog *dialog) {
            GtkWidget *view = textViewOf(dialog);
            GtkClipboard *clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
            gtk_clipboard_set_text(clipboard, "", 0);
            if (view) {
                // The keys as the focused view takes them: its key bindings.
                gtk_widget_grab_focus(view);
                gtk_bindings_activate(GTK_OBJECT(view), GDK_KEY_a, GDK_CONTROL_MASK);
                gtk_bindings_activate(GTK_OBJECT(view), GDK_KEY_c, GDK_CONTROL_MASK);
                iterateUntil(
                    [&] {
                        gchar *text = gtk_clipboard_wait_for_text(clipboard);
                        copied = text ? text : "";
                        g_free(text);
                        return !copied.empty();
                    },
                    5000);
            }
            gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
        });
    expectLongAscii(seen, kUpdateHeader, kNoticeHeader + detail);
    EXPECT_TRUE(copied == kNoticeHeader + detail) << "copied " << copied.size() << " bytes";
}

}  // namespace
