// The dialog texts as the client must show them, typed out a second time
// independently of the library's tables, one full text per line.
#ifndef PELIDOR_EXPECTED_TEXTS_H
#define PELIDOR_EXPECTED_TEXTS_H

#include <string>

struct ExpectedDialog {
    bool shown;        // false: result 0 or invalid, no dialog
    std::string text;  // the dialog's whole message text
};

// The header of an action code, or null when it has none.
const char *expectedHeader(unsigned int action);

// What qolt_gui_errhandler(parent, action, result, detail) must show.
ExpectedDialog expectedDialog(unsigned int action, int result, const char *detail);

#endif  // PELIDOR_EXPECTED_TEXTS_H
