// qolt_gui_errhandler: the client's failure codes to a Dutch error dialog.
#include <cstdio>
#include <cstring>

#include "dialog.h"
#include "long_text.h"
#include "messages.h"
#include "pelidor/gui_errhandler.h"

extern "C" void qolt_gui_errhandler(GtkWidget *parent, unsigned int action, int result,
                                    const char *detail) {
    const pelidor::ErrorMessage message = pelidor::lookupErrorMessage(action, result);
    switch (message.verdict) {
    case pelidor::Verdict::Silent:
        return;
    case pelidor::Verdict::Invalid:
        std::fprintf(stderr, "qolt_gui_errhandler(): Ongeldige retval %i!\n", result);
        return;
    case pelidor::Verdict::Show:
        break;
    }
    // At most the first pelidor::kShownBytes bytes of a message are shown.
    // A detail longer than that is composed only as far as it can be shown
    // (4 bytes more, for the check of a character cut there), and its other
    // bytes count as left out: a detail of 64 MiB is not copied.
    constexpr size_t kDetailRead = pelidor::kShownBytes + 4;
    size_t omittedBeyond = 0;
    gchar *bounded = nullptr;
    if (message.bodyTakesDetail && detail) {
        const size_t length = std::strlen(detail);
        if (length > kDetailRead) {
            bounded = g_strndup(detail, kDetailRead);
            omittedBeyond = length - kDetailRead;
        }
    }
    gchar *body = pelidor::composeErrorBody(message, bounded ? bounded : detail);
    pelidor::showMessage(message.header, body, omittedBeyond, parent);
    g_free(body);
    g_free(bounded);
}
