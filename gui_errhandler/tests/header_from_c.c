/* Compiled as C: the public header must serve C clients too. */
#include "pelidor/gui_errhandler.h"

int pelidor_header_used_from_c(void);

int pelidor_header_used_from_c(void) {
    void (*show)(const char *, const char *, GtkWidget *) = qolt_gui_dialog_show;
    void (*handle)(GtkWidget *, unsigned int, int, const char *) = qolt_gui_errhandler;
    QoltGuiResult result = RES_SERVER_NOTICE;
    QoltGuiAction action = ACT_GET_MYQOLT;
    if (!show || !handle) return -1;
    return (int)result * 100 + (int)action;
}
