// The dialog of both exports, inside the library.
#ifndef PELIDOR_DIALOG_H
#define PELIDOR_DIALOG_H

#include <gtk/gtk.h>

#include "long_text.h"

namespace pelidor {

// Shows the message in the error dialog and returns when the user has
// closed it, from any thread (the rule is in pelidor/gui_errhandler.h):
// right here in the GTK+ thread, else handed to that thread; on the
// standard error stream when it cannot be shown.  Frees shown.text.
void showMessage(ShownText shown, GtkWidget *parent);

// The dialog itself, in this thread, which must be the one free to drive
// GTK+, with a display open.
void runDialog(const ShownText &shown, GtkWidget *parent);

}  // namespace pelidor

#endif  // PELIDOR_DIALOG_H
