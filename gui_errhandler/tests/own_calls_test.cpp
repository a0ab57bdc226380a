// The error library's calls to itself stay inside it.  This test is a client
// with a qolt_gui_dialog_show() of its own, linked with -rdynamic
// (ENABLE_EXPORTS) so that its definition comes first in the global scope.
// It loads the built library with dlopen, with RTLD_LOCAL and with
// RTLD_GLOBAL: qolt_gui_errhandler must show its own dialog, never call the
// client's function.
#include <dlfcn.h>

#include <string>

#include "gui_fixture.h"
#include "pelidor/gui_errhandler.h"

namespace {

int clientCalls = 0;

}  // namespace

// The client's function of the same name; the test links no library that
// defines it.
extern "C" void qolt_gui_dialog_show(const char *, const char *, GtkWidget *) { ++clientCalls; }

namespace {

using ErrhandlerFn = void (*)(GtkWidget *, unsigned int, int, const char *);
using ShowFn = void (*)(const char *, const char *, GtkWidget *);

class GuiOwnCalls : public GuiTest, public ::testing::WithParamInterface<int> {};

TEST_P(GuiOwnCalls, ClientsDialogShowIsNotCalled) {
    ASSERT_EQ(reinterpret_cast<void *>(&qolt_gui_dialog_show),
              dlsym(RTLD_DEFAULT, "qolt_gui_dialog_show"))
        << "the client's definition is in the global scope (-rdynamic)";
    void *library = dlopen(PELIDOR_GUI_LIBRARY, RTLD_NOW | GetParam());
    ASSERT_NE(nullptr, library) << dlerror();
    auto errhandler = reinterpret_cast<ErrhandlerFn>(dlsym(library, "qolt_gui_errhandler"));
    auto show = reinterpret_cast<ShowFn>(dlsym(library, "qolt_gui_dialog_show"));
    ASSERT_NE(nullptr, errhandler);
    ASSERT_NE(nullptr, show);
    EXPECT_NE(reinterpret_cast<void *>(&qolt_gui_dialog_show), reinterpret_cast<void *>(show));

    clientCalls = 0;
    SeenDialog seen =
        showAndClose([&] { errhandler(nullptr, ACT_GET_MAIL, RES_TIMEOUT, nullptr); });
    EXPECT_EQ(1, seen.sightings);
    EXPECT_EQ(
        "Het ophalen van QOLT Mail is mislukt\n"
        "Maximumtijd voor ophalen gegevens verlopen",
        seen.text);
    seen = showAndClose([&] { show("Kop", "Tekst", nullptr); });
    EXPECT_EQ(1, seen.sightings);
    EXPECT_EQ("Kop\nTekst", seen.text);
    EXPECT_EQ(0, clientCalls) << "the library called the client's qolt_gui_dialog_show";
    dlclose(library);
}

INSTANTIATE_TEST_SUITE_P(Load, GuiOwnCalls, ::testing::Values(RTLD_LOCAL, RTLD_GLOBAL),
                         [](const ::testing::TestParamInfo<int> &param) {
                             return param.param == RTLD_GLOBAL ? "RtldGlobal" : "RtldLocal";
                         });

}  // namespace
