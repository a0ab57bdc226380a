// The dialog of both exports, inside the library.
#ifndef PELIDOR_DIALOG_H
#define PELIDOR_DIALOG_H

#include <gtk/gtk.h>

#include <cstddef>

namespace pelidor {

// qolt_gui_dialog_show() for a message that goes on for omittedBeyond more
// bytes after its body, which the caller left out (the bytes of a long
// detail that cannot be shown): they count as omitted in the cut mark.
void showMessage(const char *header, const char *body, size_t omittedBeyond, GtkWidget *parent);

}  // namespace pelidor

#endif  // PELIDOR_DIALOG_H
