/* Compiled as C: the public header must serve C clients too, and stand on
 * its own: no GTK+ header here, the parent is GTK+'s struct _GtkWidget. */
#include "pelidor/gui_errhandler.h"

int pelidor_header_used_from_c(void);

int pelidor_header_used_from_c(void) {
    void (*show)(const char *, const char *, struct _GtkWidget *) = qolt_gui_dialog_show;
    void (*handle)(struct _GtkWidget *, unsigned int, int, const char *) = qolt_gui_errhandler;
    QoltGuiResult result = RES_SERVER_NOTICE;
    QoltGuiAction action = ACT_GET_MYQOLT;
    if (!show || !handle) return -1;
    return (int)result * 100 + (int)action;
}
