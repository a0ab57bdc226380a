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
const unsigned int kActions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 1000, 0x7FFFFFFF, 0x80000000,
                                 0xFFFFFFFE, 0xFFFFFFFF};

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

// Only the two detail templates hold a conversion, and exactly one "%s":
// anything else handed to g_strdup_printf would read missing arguments.
TEST(GuiMessages, OnlyDetailTemplatesHoldConversions) {
    for (unsigned int action : {0u, 5u, 12u}) {
        for (int result = 1; result <= 29; ++result) {
            const ErrorMessage m = lookupErrorMessage(action, result);
            const std::string body = m.body;
            const bool template_ = result == RES_PARSE_FAILED || result == RES_SERVER_NOTICE;
            EXPECT_EQ(template_, m.bodyTakesDetail) << result;
            const size_t percent = body.find('%');
            if (!template_) {
                EXPECT_EQ(std::string::npos, percent) << result;
                continue;
            }
            ASSERT_NE(std::string::npos, percent) << result;
            EXPECT_EQ("%s", body.substr(percent, 2)) << result;
            EXPECT_EQ(std::string::npos, body.find('%', percent + 1)) << result;
        }
    }
}

TEST(GuiMessages, MemberCountAddressUsesTheNamedHost) {
    const std::string host = pelidor::kMemberCountHost;
    ASSERT_FALSE(host.empty());
    EXPECT_EQ(std::string::npos, host.find_first_of("/:\n "));
    const std::string body = lookupErrorMessage(9, RES_REGISTRATION_CLOSED).body;
    EXPECT_NE(std::string::npos, body.find("\n" + memberCountUrl(host) + "\n")) << body;
}

}  // namespace
