// The built library as a client sees it: its soname, its two exports and
// nothing else, and a header that C code can use.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "pelidor/gui_errhandler.h"

extern "C" int pelidor_header_used_from_c(void);

namespace {

std::string run(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    EXPECT_EQ(0, pclose(pipe)) << command;
    return out;
}

TEST(GuiExports, SonameIsVersionZero) {
    const std::string dynamic = run("readelf -d '" PELIDOR_GUI_LIBRARY "'");
    EXPECT_NE(std::string::npos, dynamic.find("Library soname: [libpelidor_gui_errhandler.so.0]")) << dynamic;
    EXPECT_NE(std::string::npos, dynamic.find("libgtk-x11-2.0.so.0")) << dynamic;
}

TEST(GuiExports, ExactlyTheTwoFunctions) {
    // --defined-only: the imports from GTK and libc are not ours.
    const std::string table = run("nm -D --defined-only --format=posix '" PELIDOR_GUI_LIBRARY "'");
    std::set<std::string> names;
    size_t start = 0;
    while (start < table.size()) {
        const size_t end = table.find('\n', start);
        const std::string line = table.substr(start, end - start);
        if (!line.empty()) names.insert(line.substr(0, line.find(' ')));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_EQ((std::set<std::string>{"qolt_gui_dialog_show", "qolt_gui_errhandler"}), names) << table;
}

TEST(GuiExports, ClientFindsExportsByName) {
    void *library = dlopen(PELIDOR_GUI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    EXPECT_NE(nullptr, dlsym(library, "qolt_gui_dialog_show"));
    EXPECT_NE(nullptr, dlsym(library, "qolt_gui_errhandler"));
    dlclose(library);
}

TEST(GuiExports, HeaderCompilesAsC) {
    // The C translation unit returns RES_SERVER_NOTICE * 100 + ACT_GET_MYQOLT.
    EXPECT_EQ(29 * 100 + 11, pelidor_header_used_from_c());
}

}  // namespace
