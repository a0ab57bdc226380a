// qolt_gui_errhandler: the client's failure codes to a Dutch error dialog.
#include <cstdio>

#include "dialog.h"
#include "messages.h"
#include "pelidor/gui_errhandler.h"

extern "C" void qolt_gui_errhandler(GtkWidget *parent, unsigned int action, int result,
                                    const char *detail) {
    const pelidor::ErrorMessage message = pelidor::lookupErrorMessage(action, result);
    switch (message.verdict) {
    case pelidor::Verdict::Silent: return;
    case pelidor::Verdict::Invalid:
        std::fprintf(stderr, "qolt_gui_errhandler(): Ongeldige retval %i!\n", result);
        return;
    case pelidor::Verdict::Show: break;
    }
    // Composed from the template's pieces and the detail, and cut once: a
    // detail of 64 MiB is not copied.
    pelidor::showMessage(pelidor::composeShownText(pelidor::errorMessagePieces(message, detail)),
                         parent);
}
