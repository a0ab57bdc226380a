// The message tables and the choice among them, without a display, against
// the independently typed texts of expected_texts.cpp.
#include <glib.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "expected_texts.h"
#include "messages.h"
#include "pelidor/gui_errhandler.h"

namespace {

using pelidor::composeErrorBody;
using pelidor::ErrorMessage;
using pelidor::lookupErrorMessage;
using pelidor::Verdict;

std::string shown(const ErrorMessage &m, const char *detail) {
    gchar *body = composeErrorBody(m, detail);
    std::string text = m.header ? std::string(m.header) + "\n" : std::string();
    text += body ? body : "(null)";
    g_free(body);
    return text;
}

// Order: every action 0..11, then values without a header, including ones
// that are negative as signed numbers.
const unsigned int kActions[] = {0,    1,          2,          3,          4,         5,  6,
                                 7,    8,          9,          10,         11,        12, 13,
                                 1000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};

// Every action and result against the typed texts, with a detail that holds
// a conversion of its own: a body that took the detail where it should not,
// or held a conversion besides its one "%s", would show another text.
TEST(GuiMessages, EveryActionAndResultMatchesExpectedText) {
    const char detail[] = "onverwacht teken '<' %s";
    for (unsigned int action : kActions) {
        for (int result = 0; result <= 29; ++result) {
            SCOPED_TRACE("action " + std::to_string(action) + ", result " + std::to_string(result));
            const ErrorMessage m = lookupErrorMessage(action, result);
            const ExpectedDialog expected = expectedDialog(action, result, detail);
            if (!expected.shown) {
                EXPECT_EQ(Verdict::Silent, m.verdict);
                EXPECT_EQ(nullptr, composeErrorBody(m, detail));
                continue;
            }
            ASSERT_EQ(Verdict::Show, m.verdict);
            EXPECT_EQ(expected.text, shown(m, detail));
        }
    }
}

TEST(GuiMessages, OutOfRangeResultsAreInvalid) {
    for (int result : {-1, 30, 31, 100, INT_MAX, INT_MIN}) {
        const ErrorMessage m = lookupErrorMessage(0, result);
        EXPECT_EQ(Verdict::Invalid, m.verdict) << result;
        EXPECT_EQ(nullptr, m.header);
        EXPECT_EQ(nullptr, composeErrorBody(m, "x"));
    }
    EXPECT_EQ(Verdict::Silent, lookupErrorMessage(0xFFFFFFFF, RES_OK).verdict);
}

// The detail is put in the template, never read as a format itself; a null
// detail counts as the empty text.
TEST(GuiMessages, DetailIsInsertedLiterally) {
    for (int result : {RES_PARSE_FAILED, RES_SERVER_NOTICE}) {
        const ErrorMessage m = lookupErrorMessage(12, result);
        ASSERT_TRUE(m.bodyTakesDetail);
        EXPECT_EQ(expectedDialog(12, result, "%s%n%d 50%").text, shown(m, "%s%n%d 50%"));
        EXPECT_EQ(expectedDialog(12, result, "").text, shown(m, nullptr));
    }
}

}  // namespace
