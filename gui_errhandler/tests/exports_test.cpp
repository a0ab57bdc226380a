// The built library as a client sees it: its exports found by name, the
// GTK+ 2 it links, and a header that C code can use.  Which symbols it
// exports, and its soname, are checked against exports.txt by
// tests/check_exports.sh.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "gui_fixture.h"
#include "pelidor/gui_errhandler.h"

extern "C" int pelidor_header_used_from_c(void);

namespace {

// A client that loads the library finds both functions by name.
TEST(GuiExports, ClientFindsExportsByName) {
    void *library = dlopen(PELIDOR_GUI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    for (const char *name : {"qolt_gui_dialog_show", "qolt_gui_errhandler"}) {
        void *sym = dlsym(library, name);
        ASSERT_NE(nullptr, sym) << name;
        Dl_info info;
        ASSERT_NE(0, dladdr(sym, &info)) << name;
        EXPECT_NE(nullptr, strstr(info.dli_fname, "libpelidor_gui_errhandler.so"))
            << info.dli_fname;
    }
    dlclose(library);
}

// The dialog is GTK+ 2's: the library must not pull in another GTK+.
TEST(GuiExports, LinksGtk2) {
    std::string dynamic;
    FILE *pipe = popen("readelf -d '" PELIDOR_GUI_LIBRARY "'", "r");
    ASSERT_NE(nullptr, pipe);
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) dynamic.append(buffer, n);
    ASSERT_EQ(0, pclose(pipe));
    EXPECT_NE(std::string::npos, dynamic.find("Shared library: [libgtk-x11-2.0.so.0]")) << dynamic;
    EXPECT_EQ(std::string::npos, dynamic.find("libgtk-3")) << dynamic;
}

TEST(GuiExports, HeaderCompilesAsC) {
    // The C translation unit returns RES_SERVER_NOTICE * 100 + ACT_GET_MYQOLT.
    EXPECT_EQ(29 * 100 + 11, pelidor_header_used_from_c());
}

// A client that calls before gtk_init() (or has no display) gets the
// message on stderr, and no crash, from the main thread or any other.  This
// process never starts GTK+.
TEST(GuiExports, CallWithoutGtkWritesTheMessageToStderr) {
    EXPECT_EQ(
        "Kop\n"
        "100% %s\n",
        GuiTest::captureStderr([] { qolt_gui_dialog_show("Kop", "100% %s", nullptr); }));
    EXPECT_EQ("Het ophalen van QOLT Mail is mislukt\nMaximumtijd voor ophalen gegevens verlopen\n",
              GuiTest::captureStderr(
                  [] { qolt_gui_errhandler(nullptr, ACT_GET_MAIL, RES_TIMEOUT, nullptr); }));
    EXPECT_EQ("Kop\nvan een andere thread\n", GuiTest::captureStderr([] {
                  std::thread worker(
                      [] { qolt_gui_dialog_show("Kop", "van een andere thread", nullptr); });
                  worker.join();
              }));
}

}  // namespace
