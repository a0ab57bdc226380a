// Bad input at the error library's exports on a real X server: bytes 0x80 to
// 0xFF (not UTF-8), embedded control bytes, a detail that must not be read
// and a 64 MiB detail (long messages in the dialog: long_message_test.cpp).
// Null pointers and invalid action and result codes are covered with the
// dialogs themselves in dialog_test.cpp.
//
// GTK+ takes its texts as UTF-8 and reads past the end of one that is not,
// so the dialog shows U+FFFD for every byte that is not UTF-8 and GTK+ only
// ever gets valid text (valgrind, run over these tests, reports such a read).
#include <glib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "bad_bytes.h"
#include "gui_fixture.h"
#include "messages.h"
#include "pelidor/gui_errhandler.h"

namespace {

class GuiBadInput : public GuiTest {
protected:
    // The whole text in the label, or, for a message too wide for the
    // screen (128 U+FFFD unbroken), in the long form: the header in the
    // label and the rest in the scrolled area, or all of it in the area.
    void expectShown(const SeenDialog &seen, const std::string &text) {
        EXPECT_EQ(1, seen.sightings);
        const std::string shown = !seen.restShown   ? seen.labelText
                                  : seen.labelShown ? seen.labelText + "\n" + seen.restText
                                                    : seen.restText;
        EXPECT_EQ(text, shown);
        EXPECT_EQ(GTK_MESSAGE_ERROR, seen.type);
        EXPECT_TRUE(seen.closeButton);
        EXPECT_TRUE(seen.finalized) << "the dialog is freed when the call returns";
    }
};

// U+FFFD in UTF-8, written out rather than computed by GLib.
const std::string kReplacement = "\xef\xbf\xbd";

std::string replacements(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += kReplacement;
    return s;
}

TEST_F(GuiBadInput, BytesOutsideUtf8BecomeReplacementCharacters) {
    // 0x80 to 0xFF in order: no two of them form a UTF-8 sequence.
    const std::string high = highBytes();
    SeenDialog seen =
        showAndClose([&] { qolt_gui_dialog_show(high.c_str(), "\xff\xfe body", nullptr); });
    expectShown(seen, replacements(128) + "\n" + replacements(2) + " body");
    seen = showAndClose([&] { qolt_gui_errhandler(nullptr, 7, RES_SERVER_NOTICE, high.c_str()); });
    expectShown(seen,
                "Het geven van kudos is mislukt\n"
                "Servermededeling ontvangen: " +
                    replacements(128));
    // Latin-1 from a server, as a parse failure's detail; a UTF-8 sequence
    // cut short.
    seen = showAndClose(
        [&] { qolt_gui_errhandler(nullptr, 4, RES_PARSE_FAILED, "caf\xe9 \xe2\x82"); });
    expectShown(seen,
                "Het ophalen van QOLT Mail is mislukt\n"
                "Het parsen van de gegevens is mislukt :\n"
                "caf" +
                    kReplacement + " " + replacements(2));
    // Valid UTF-8 stays as it is.
    seen = showAndClose(
        [&] { qolt_gui_dialog_show("caf\xc3\xa9 \xe2\x82\xac", "\xf0\x9f\x98\x80", nullptr); });
    expectShown(seen, "caf\xc3\xa9 \xe2\x82\xac\n\xf0\x9f\x98\x80");
}

TEST_F(GuiBadInput, EmbeddedControlBytesPassUnchanged) {
    const std::string control = controlBytes();
    SeenDialog seen = showAndClose([&] {
        qolt_gui_dialog_show(("kop" + control).c_str(), (control + "tekst").c_str(), nullptr);
    });
    expectShown(seen, "kop" + control + "\n" + control + "tekst");
    seen = showAndClose(
        [&] { qolt_gui_errhandler(nullptr, 0xFFFFFFFFu, RES_SERVER_NOTICE, control.c_str()); });
    expectShown(seen, "Servermededeling ontvangen: " + control);
}

// A detail where it is not used is never read: an invalid result reports
// only the code, a result without a detail in its message ignores it, and
// RES_OK shows nothing.  The detail lies in a page without access, so any
// read of it ends the test.
TEST_F(GuiBadInput, DetailWhereItIsNotUsedIsNeverRead) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void *unreadable = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, unreadable);
    const char *detail = static_cast<const char *>(unreadable);
    SeenDialog seen;
    const std::string err = captureStderr(
        [&] { seen = showAndClose([&] { qolt_gui_errhandler(nullptr, 0, -1, detail); }); });
    EXPECT_EQ("qolt_gui_errhandler(): Ongeldige retval -1!\n", err);
    EXPECT_EQ(0, seen.sightings);
    seen = showAndClose([&] { qolt_gui_errhandler(nullptr, 3, RES_NO_CONNECTION, detail); });
    expectShown(seen,
                "Het controleren op nieuwe QOLT Mail is mislukt\n"
                "Is de internetverbinding wel actief ?");
    seen = showAndClose([&] { qolt_gui_errhandler(nullptr, 3, RES_OK, detail); });
    EXPECT_EQ(0, seen.sightings);
    munmap(unreadable, page);
}

// Where it is used, the 64 MiB detail goes whole into the message, checked
// here as composed; what the dialog shows of it, and how soon, is tested in
// long_message_test.cpp.
TEST(GuiBadInputMessages, Detail64MiBIsComposedWhole) {
    std::string detail(k64MiB, 'x');
    detail.replace(0, 4, "%s%n");
    for (int result : {RES_PARSE_FAILED, RES_SERVER_NOTICE}) {
        const pelidor::ErrorMessage m = pelidor::lookupErrorMessage(2, result);
        ASSERT_TRUE(m.bodyTakesDetail);
        gchar *body = pelidor::composeErrorBody(m, detail.c_str());
        ASSERT_NE(nullptr, body);
        const std::string expected =
            std::string(result == RES_PARSE_FAILED ? "Het parsen van de gegevens is mislukt :\n"
                                                   : "Servermededeling ontvangen: ") +
            detail;
        EXPECT_TRUE(expected == body) << "result " << result;
        g_free(body);
    }
}

}  // namespace
