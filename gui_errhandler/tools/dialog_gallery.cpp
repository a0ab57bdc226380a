// Renders every distinct error dialog of qolt_gui_errhandler into a PNG and
// writes index.html beside them, so a reviewer or translator sees every
// message at once, with the codes that produce it.
//
// Usage: pelidor_dialog_gallery OUTPUT-DIR    (needs an X display; see
// tools/dialog_screenshots.sh, which starts Xvfb)
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "messages.h"
#include "pelidor/gui_errhandler.h"

namespace {

const char *const kActionNames[] = {
    "ACT_UPDATE_POSTINGS",   "ACT_GET_POSTING_INFO", "ACT_GET_POSTING_MESSAGES", "ACT_CHECK_MAIL",
    "ACT_GET_MAIL",          "ACT_SEND_MAIL",        "ACT_GET_NEWSGROUPS",       "ACT_GIVE_KUDOS",
    "ACT_GET_KUDOS_BALANCE", "ACT_CREATE_ACCOUNT",   "ACT_ADD_POSTING",          "ACT_GET_MYQOLT",
};
// clang-format off
const char *const kResultNames[] = {
    "RES_OK",                  "RES_NO_CONNECTION",       "RES_BAD_LOGIN",
    "RES_BANNED",              "RES_SERVER_FAILURE",      "RES_NO_NEW_POSTINGS",
    "RES_PLUGINS_UNSUPPORTED", "RES_PLUGIN_LOCATION_UNSET", "RES_PLUGIN_LOAD_FAILED",
    "RES_PLUGIN_FAILED",       "RES_UNKNOWN_RESPONSE",    "RES_PARSE_FAILED",
    "RES_EVENT_NOT_CACHED",    "RES_NO_DATA",             "RES_DNS_FAILED",
    "RES_DNS_FAILED_2",        "RES_CONNECTION_REFUSED",  "RES_READ_FAILED",
    "RES_SEND_FAILED",         "RES_TIMEOUT",             "RES_REGISTRATION_CLOSED",
    "RES_NAME_TAKEN",          "RES_IP_BANNED",           "RES_IP_RECENTLY_USED",
    "RES_HTTP_INIT_FAILED",    "RES_POST_CANCELLED",      "RES_POST_MODERATED",
    "RES_CLIENT_TOO_OLD",      "RES_RATE_LIMITED",        "RES_SERVER_NOTICE",
};
// clang-format on
static_assert(sizeof kActionNames / sizeof kActionNames[0] == pelidor::kActionCount);
static_assert(sizeof kResultNames / sizeof kResultNames[0] == pelidor::kResultCount);

// Action 12 stands for every code above 11: they all show no header.
constexpr unsigned int kNoHeaderAction = pelidor::kActionCount;
constexpr char kSampleDetail[] = "<detailtekst van de client, 100% letterlijk>";

struct Dialog {
    std::string text;
    std::set<unsigned int> actions;
    std::set<int> results;
    std::string file;
    std::string detail = kSampleDetail;
    std::string note;     // for a long detail: what it is, shown instead of the text
    std::string font;     // a theme font for this dialog alone ("Sans 40"); "" keeps the theme's
    bool direct = false;  // shown with qolt_gui_dialog_show(header, detail) instead
    std::string header;
};

struct Capture {
    std::string path;
    bool saved = false;
    std::string error;
    int ticks = 0;
    bool finished = false;  // the polling source has removed itself
};

GtkDialog *findDialog() {
    GtkDialog *found = nullptr;
    GList *toplevels = gtk_window_list_toplevels();
    for (GList *l = toplevels; l; l = l->next)
        if (GTK_IS_MESSAGE_DIALOG(l->data)) found = GTK_DIALOG(l->data);
    g_list_free(toplevels);
    return found;
}

// Polls until the dialog is mapped, paints it completely, reads the window
// back from the X server and closes the dialog.
gboolean captureWhenMapped(gpointer data) {
    auto *capture = static_cast<Capture *>(data);
    GtkDialog *dialog = findDialog();
    GdkWindow *window = dialog ? gtk_widget_get_window(GTK_WIDGET(dialog)) : nullptr;
    if (!window || (gdk_window_get_state(window) & GDK_WINDOW_STATE_WITHDRAWN)) {
        if (++capture->ticks < 1000) return G_SOURCE_CONTINUE;
        capture->error = "the dialog was not mapped within 10 s";
        if (dialog) gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
        capture->finished = true;
        return G_SOURCE_REMOVE;
    }
    gdk_window_invalidate_rect(window, nullptr, TRUE);
    gdk_window_process_updates(window, TRUE);
    gdk_display_sync(gdk_drawable_get_display(window));

    gint width = 0, height = 0;
    gdk_drawable_get_size(window, &width, &height);
    GdkPixbuf *pixbuf =
        gdk_pixbuf_get_from_drawable(nullptr, window, nullptr, 0, 0, 0, 0, width, height);
    GError *error = nullptr;
    if (!pixbuf)
        capture->error = "could not read the window back";
    else if (!gdk_pixbuf_save(pixbuf, capture->path.c_str(), "png", &error, nullptr))
        capture->error = error->message;
    else
        capture->saved = true;
    if (error) g_error_free(error);
    if (pixbuf) g_object_unref(pixbuf);
    gtk_dialog_response(dialog, GTK_RESPONSE_CLOSE);
    capture->finished = true;
    return G_SOURCE_REMOVE;
}

std::string escapeHtml(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string describeActions(const std::set<unsigned int> &actions) {
    if (actions.size() == pelidor::kActionCount + 1) return "any action";
    std::string out;
    for (unsigned int a : actions) {
        if (!out.empty()) out += ", ";
        out += a == kNoHeaderAction ? "12 and above (no header)"
                                    : std::to_string(a) + " " + kActionNames[a];
    }
    return out;
}

std::string describeResults(const std::set<int> &results) {
    std::string out;
    for (int r : results) {
        if (!out.empty()) out += ", ";
        out += std::to_string(r) + " " + kResultNames[r];
    }
    return out;
}

// Every distinct dialog, in result order, with all the codes that show it.
std::vector<Dialog> distinctDialogs() {
    std::vector<Dialog> dialogs;
    std::map<std::string, size_t> byText;
    for (int result = 1; result < pelidor::kResultCount; ++result) {
        for (unsigned int action = 0; action <= kNoHeaderAction; ++action) {
            const pelidor::ErrorMessage m = pelidor::lookupErrorMessage(action, result);
            gchar *body = pelidor::composeErrorBody(m, kSampleDetail);
            const std::string text =
                m.header ? std::string(m.header) + "\n" + body : std::string(body);
            g_free(body);
            auto [it, added] = byText.emplace(text, dialogs.size());
            if (added) {
                Dialog d;
                d.text = text;
                d.file = "a" + std::to_string(action) + "_r" + std::to_string(result) + ".png";
                dialogs.push_back(d);
            }
            dialogs[it->second].actions.insert(action);
            dialogs[it->second].results.insert(result);
        }
    }
    return dialogs;
}

// Long messages, as the dialog shows them (the header in the label or at
// the top of a scrolled area, the rest of the first 16 KiB in the area, the
// cut mark): server notices, then texts of a client's own.
std::vector<Dialog> longDialogs() {
    std::string lines, shortLines;
    char line[128];
    for (int i = 0; lines.size() < (size_t(1) << 20); ++i) {
        std::snprintf(line, sizeof line, "regel %07d: %-64s\n", i,
                      "de server meldt iets dat niet klopt");
        lines += line;
    }
    lines.resize(size_t(1) << 20);
    for (int i = 0; shortLines.size() < 3000; ++i)
        shortLines += "regel " + std::to_string(i) + "\n";
    shortLines.resize(3000);
    const auto notice = [](const std::string &file, const std::string &detail,
                           const std::string &note) {
        Dialog d;
        d.actions = {0};
        d.results = {29};
        d.file = file;
        d.detail = detail;
        d.note = note;
        return d;
    };
    std::string words;
    while (words.size() < 3000)
        words += "Controleer de internet-verbinding en probeer het opnieuw. ";
    const std::string address = "https://www.qolt.nl/redirect?" + std::string(400, 'q');
    std::string marks = "a";
    for (int i = 0; i < 10000; ++i) marks += "\xcc\x81";  // U+0301 COMBINING ACUTE ACCENT
    std::string hebrew;  // "the connection failed", in Hebrew, over and over
    while (hebrew.size() < 5000)
        hebrew +=
            "\xd7\x94\xd7\x97\xd7\x99\xd7\x91\xd7\x95\xd7\xa8 \xd7\xa0\xd7\x9b\xd7\xa9\xd7\x9c.\n";
    // A text of the client's own, through qolt_gui_dialog_show.
    const auto own = [&notice](const std::string &file, const std::string &header,
                               const std::string &body, const std::string &note) {
        Dialog d = notice(file, body, note);
        d.direct = true;
        d.header = header;
        return d;
    };
    Dialog big =
        notice("long_3kB_lines_sans40.png", shortLines, "3 kB detail in short lines, Sans 40");
    big.font = "Sans 40";
    return {notice("long_3kB_lines.png", shortLines, "3 kB detail in short lines"),
            notice("long_100kB_unbroken.png", std::string(100000, 'x'),
                   "100 kB detail without a space"),
            notice("long_1MiB_lines.png", lines, "1 MiB detail in lines of 80 characters"),
            big,
            own("long_words_and_address.png", "Het updaten van de lijst met postings is mislukt.",
                words + "\n" + address + "\n" + words,
                "3 kB of words, one line holding a 429-byte address"),
            own("long_10000_marks.png", "Kop", marks, "one letter with 10,000 combining marks"),
            own("long_hebrew.png", "\xd7\xa9\xd7\x92\xd7\x99\xd7\x90\xd7\x94", hebrew,
                "5 kB of Hebrew lines under a Hebrew header")};
}

// A theme font, as a user's gtkrc sets it.
void setThemeFont(const char *font) {
    gchar *rc = g_strdup_printf("gtk-font-name = \"%s\"\n", font);
    gtk_rc_parse_string(rc);
    g_free(rc);
}

bool writePage(const std::string &dir, const std::vector<Dialog> &dialogs) {
    const std::string path = dir + "/index.html";
    FILE *page = std::fopen(path.c_str(), "w");
    if (!page) return false;
    std::fprintf(page,
                 "<!DOCTYPE html>\n<html lang=\"nl\">\n<head>\n<meta charset=\"utf-8\">\n"
                 "<title>libpelidor_gui_errhandler: alle foutdialogen</title>\n<style>\n"
                 "body{font-family:sans-serif;margin:1em 2em}\n"
                 "figure{display:inline-block;vertical-align:top;margin:0 1em 1.5em 0;"
                 "padding:.5em;border:1px solid #ccc;max-width:46em}\n"
                 "figcaption{font-size:90%%}\n"
                 "pre{background:#f4f4f4;padding:.3em;white-space:pre-wrap}\n"
                 "</style>\n</head>\n<body>\n<h1>Every error dialog of qolt_gui_errhandler</h1>\n"
                 "<p>%zu distinct dialogs, then long details. The detail text of results 11 and 29 "
                 "is the sample "
                 "<code>%s</code>. Action codes above 11 all look like action 12.</p>\n",
                 size_t(std::count_if(dialogs.begin(), dialogs.end(),
                                      [](const Dialog &d) { return d.note.empty(); })),
                 escapeHtml(kSampleDetail).c_str());
    int section = -1;
    bool longSection = false;
    for (const Dialog &d : dialogs) {
        if (!d.note.empty()) {
            if (!longSection) std::fprintf(page, "<h2>Long messages</h2>\n");
            longSection = true;
            std::fprintf(page,
                         "<figure><img src=\"%s\" alt=\"\">\n"
                         "<figcaption>%s</figcaption></figure>\n",
                         d.file.c_str(), escapeHtml(d.note).c_str());
            continue;
        }
        const int first = *d.results.begin();
        if (first != section) {
            section = first;
            std::fprintf(page, "<h2>Result %s</h2>\n",
                         escapeHtml(describeResults(d.results)).c_str());
        }
        std::fprintf(page,
                     "<figure><img src=\"%s\" alt=\"\">\n<figcaption>result %s; action %s"
                     "<pre>%s</pre></figcaption></figure>\n",
                     d.file.c_str(), escapeHtml(describeResults(d.results)).c_str(),
                     escapeHtml(describeActions(d.actions)).c_str(), escapeHtml(d.text).c_str());
    }
    std::fprintf(page, "</body>\n</html>\n");
    return std::fclose(page) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "pelidor_dialog_gallery: no X display; run it under xvfb-run\n");
        return 1;
    }
    const std::string dir = argc > 1 ? argv[1] : "dialog-screenshots";
    if (g_mkdir_with_parents(dir.c_str(), 0755) != 0) {
        std::fprintf(stderr, "pelidor_dialog_gallery: cannot create %s\n", dir.c_str());
        return 1;
    }

    std::vector<Dialog> dialogs = distinctDialogs();
    for (Dialog &d : longDialogs()) dialogs.push_back(std::move(d));
    gchar *font = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-font-name", &font, nullptr);
    const std::string themeFont = font ? font : "Sans 10";
    g_free(font);
    int failures = 0;
    for (const Dialog &d : dialogs) {
        Capture capture;
        capture.path = dir + "/" + d.file;
        const guint source = g_timeout_add(10, captureWhenMapped, &capture);
        if (!d.font.empty()) setThemeFont(d.font.c_str());
        if (d.direct)
            qolt_gui_dialog_show(d.header.c_str(), d.detail.c_str(), nullptr);
        else
            qolt_gui_errhandler(nullptr, *d.actions.begin(), *d.results.begin(), d.detail.c_str());
        if (!d.font.empty()) setThemeFont(themeFont.c_str());
        if (!capture.finished) g_source_remove(source);
        if (!capture.saved) {
            std::fprintf(stderr, "pelidor_dialog_gallery: %s: %s\n", d.file.c_str(),
                         capture.error.empty() ? "no dialog shown" : capture.error.c_str());
            ++failures;
        }
    }
    if (!writePage(dir, dialogs)) {
        std::fprintf(stderr, "pelidor_dialog_gallery: cannot write %s/index.html\n", dir.c_str());
        return 1;
    }
    std::printf("%zu dialogs written to %s/index.html\n", dialogs.size(), dir.c_str());
    return failures == 0 ? 0 : 1;
}
