// The Dutch texts, one table per kind in code order, UTF-8 source.
// The line feeds and the spaces before question marks and colons are part
// of the texts, exactly as the client shows them. A text of several
// lines is one parenthesised literal: one element, not a missing comma.
#include "messages.h"

#include <cstring>

#include "pelidor/gui_errhandler.h"

namespace pelidor {
namespace {

// Headers by action code.
const char *const kActionHeaders[kActionCount] = {
    /*  0 ACT_UPDATE_POSTINGS */
    "Het updaten van de lijst met postings is mislukt.",
    /*  1 ACT_GET_POSTING_INFO */
    "Het ophalen van de QOLT Posting info is mislukt",
    /*  2 ACT_GET_POSTING_MESSAGES */
    ("Het ophalen van de forumberichten behorende\n"
     "bij de QOLT Posting info is mislukt"),
    /*  3 ACT_CHECK_MAIL */
    "Het controleren op nieuwe QOLT Mail is mislukt",
    /*  4 ACT_GET_MAIL */
    "Het ophalen van QOLT Mail is mislukt",
    /*  5 ACT_SEND_MAIL */
    "Het versturen van het QOLT Mail bericht is mislukt",
    /*  6 ACT_GET_NEWSGROUPS */
    "Het ophalen van de lijst met nieuwsgroepen is mislukt",
    /*  7 ACT_GIVE_KUDOS */
    "Het geven van kudos is mislukt",
    /*  8 ACT_GET_KUDOS_BALANCE */
    "Het ophalen van het kudos saldo is mislukt",
    /*  9 ACT_CREATE_ACCOUNT */
    "Het aanmaken van een nieuw QOLT account is mislukt",
    /* 10 ACT_ADD_POSTING */
    "Het toevoegen van de QOLT posting is mislukt",
    /* 11 ACT_GET_MYQOLT */
    "Het ophalen van MyQOLT gegevens is mislukt",
};

// Messages by result code; the texts for every action but
// ACT_UPDATE_POSTINGS where the two differ. Results 11 and 29 are templates
// with one "%s" for the caller's detail text.
const char *const kResultMessages[kResultCount] = {
    /*  0 RES_OK */
    nullptr,
    /*  1 RES_NO_CONNECTION */
    "Is de internetverbinding wel actief ?",
    /*  2 RES_BAD_LOGIN */
    ("Je hebt een ongeldige gebruikersnaam en/of wachtwoord\n"
     "ingevuld. Gelieve dit eerst in het configuratiescherm goed\n"
     "te zetten en daarna opnieuw proberen te updaten"),
    /*  3 RES_BANNED */
    "Je bent verbannen van de QOLT server",
    /*  4 RES_SERVER_FAILURE */
    "Storing op de QOLT Server. QOLT Database onbereikbaar",
    /*  5 RES_NO_NEW_POSTINGS */
    ("Geen nieuwe QOLT postings sinds laatste controle.\n"
     "De QOLT postings die de vorige keer nieuw waren\n"
     "zullen nu getoond worden"),
    /*  6 RES_PLUGINS_UNSUPPORTED */
    "Plugins worden niet ondersteund op dit platform!",
    /*  7 RES_PLUGIN_LOCATION_UNSET */
    ("De locatie van de http auth plugin is onbekend.\n"
     "Gelieve dit aan te passen in het configuratiescherm\n"
     "en het opnieuw te proberen"),
    /*  8 RES_PLUGIN_LOAD_FAILED */
    ("Kan de http auth plugin niet laden.\n"
     "Klopt de locatie wel en is het bestand leesbaar ?"),
    /*  9 RES_PLUGIN_FAILED */
    "Fout opgetreden tijdens het uitvoeren van de http auth plugin",
    /* 10 RES_UNKNOWN_RESPONSE */
    "Onbekende reactie van de server ontvangen",
    /* 11 RES_PARSE_FAILED */
    "Het parsen van de gegevens is mislukt :\n%s",
    /* 12 RES_EVENT_NOT_CACHED */
    "Kan QOLT event niet vinden in lokale cache.",
    /* 13 RES_NO_DATA */
    "Geen data van de server ontvangen",
    /* 14 RES_DNS_FAILED */
    "DNS server onbereikbaar of host onbekend",
    /* 15 RES_DNS_FAILED_2: the texts of 14 */
    nullptr,
    /* 16 RES_CONNECTION_REFUSED */
    "Connection refused",
    /* 17 RES_READ_FAILED */
    "Lezen van data van server mislukt",
    /* 18 RES_SEND_FAILED */
    "Versturen van verzoek naar server mislukt",
    /* 19 RES_TIMEOUT */
    "Maximumtijd voor ophalen gegevens verlopen",
    /* 20 RES_REGISTRATION_CLOSED */
    ("Registreren is op dit moment niet mogelijk\n"
     "in verband met een ledenstop. Hou de pagina\n"
     "http://" PELIDOR_MEMBER_COUNT_HOST "/ledencount.php"
     "\ngeregeld in de gaten om te zien wanneer je\n"
     "je weer kan registreren op QOLT."),
    /* 21 RES_NAME_TAKEN */
    "Er is reeds iemand geregistreerd met de opgegeven gebruikersnaam",
    /* 22 RES_IP_BANNED */
    "Jouw ip-adres is verbannen van de QOLT server",
    /* 23 RES_IP_RECENTLY_USED */
    ("Er is in de laatste 48 uur iemand ingelogd met een\n"
     "geldig QOLT account vanaf je huidige IP adres"),
    /* 24 RES_HTTP_INIT_FAILED */
    ("curl_easy_init() mislukt\n"
     "Controleer of libcurl wel goed geinstalleerd is"),
    /* 25 RES_POST_CANCELLED */
    "Server heeft de post geannuleerd",
    /* 26 RES_POST_MODERATED */
    "Je post is ter beoordeling naar een moderator verstuurd",
    /* 27 RES_CLIENT_TOO_OLD */
    ("Er is een nieuwere versie van Pelidor nodig\n"
     "om gebruik te kunnen maken van de QOLT server"),
    /* 28 RES_RATE_LIMITED */
    ("Er is momenteel een limitatie op de QOLT server actief waardoor\n"
     "je maar 1 keer per 10 minuten mag updaten. De QOLT postings\n"
     "die de vorige keer nieuw waren zullen nu getoond worden"),
    /* 29 RES_SERVER_NOTICE */
    "Servermededeling ontvangen: %s",
};

// The longer messages of ACT_UPDATE_POSTINGS, which add that the postings
// new at the previous check are shown again; null where the message is the
// same for every action.
// clang-format off
const char *const kUpdatePostingsMessages[kResultCount] = {
    /*  0 .. 12 */
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    /* 13 RES_NO_DATA */
    ("Geen data van de server ontvangen\n"
     "De QOLT postings die de vorige keer nieuw\n"
     "waren zullen nu getoond worden"),
    /* 14 RES_DNS_FAILED */
    ("DNS server onbereikbaar of host onbekend\n"
     "De QOLT postings die de vorige keer nieuw waren\n"
     "zullen nu getoond worden"),
    /* 15 RES_DNS_FAILED_2: the texts of 14 */
    nullptr,
    /* 16 RES_CONNECTION_REFUSED */
    ("Connection refused\n"
     "De QOLT postings die de vorige keer nieuw waren\n"
     "zullen nu getoond worden"),
    /* 17 .. 29 */
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};
// clang-format on

bool dropsHeader(int result) {
    // These messages are about the client itself, whatever it was doing.
    return result >= RES_NO_NEW_POSTINGS && result <= RES_PLUGIN_FAILED;
}

bool takesDetail(int result) { return result == RES_PARSE_FAILED || result == RES_SERVER_NOTICE; }

}  // namespace

ErrorMessage lookupErrorMessage(unsigned int action, int result) {
    if (result == RES_OK) return {Verdict::Silent, nullptr, nullptr, false};
    if (result < 0 || result >= kResultCount) return {Verdict::Invalid, nullptr, nullptr, false};

    const char *header = action < kActionCount ? kActionHeaders[action] : nullptr;
    if (dropsHeader(result)) header = nullptr;

    // The two DNS codes share their texts.
    const int text = result == RES_DNS_FAILED_2 ? RES_DNS_FAILED : result;
    const char *body = kResultMessages[text];
    if (action == ACT_UPDATE_POSTINGS && kUpdatePostingsMessages[text])
        body = kUpdatePostingsMessages[text];

    return {Verdict::Show, header, body, takesDetail(result)};
}

namespace {

void addBody(MessagePieces &pieces, const ErrorMessage &message, const char *detail) {
    if (!message.bodyTakesDetail) {
        pieces.add(message.body);
        return;
    }
    // The template is ours, from the table above, with exactly one "%s"
    // (a test holds it to that).
    const char *conversion = std::strstr(message.body, "%s");
    pieces.add(message.body, static_cast<size_t>(conversion - message.body));
    pieces.add(detail);
    pieces.add(conversion + 2);
}

}  // namespace

MessagePieces errorMessagePieces(const ErrorMessage &message, const char *detail) {
    MessagePieces pieces;
    if (message.verdict != Verdict::Show) return pieces;
    pieces.addHeader(message.header);
    addBody(pieces, message, detail);
    return pieces;
}

gchar *composeErrorBody(const ErrorMessage &message, const char *detail) {
    if (message.verdict != Verdict::Show) return nullptr;
    MessagePieces pieces;
    addBody(pieces, message, detail);
    gchar *body = static_cast<gchar *>(g_malloc0(pieces.total() + 1));
    for (size_t p = 0, at = 0; p < pieces.count(); at += pieces.length(p), ++p)
        std::memcpy(body + at, pieces.text(p), pieces.length(p));
    return body;
}

}  // namespace pelidor
