#include "expected_texts.h"

namespace {

// Order: code, header text.
const char *const kHeaders[] = {
    "Het updaten van de lijst met postings is mislukt.",                                 // 0
    "Het ophalen van de QOLT Posting info is mislukt",                                   // 1
    "Het ophalen van de forumberichten behorende\nbij de QOLT Posting info is mislukt",  // 2
    "Het controleren op nieuwe QOLT Mail is mislukt",                                    // 3
    "Het ophalen van QOLT Mail is mislukt",                                              // 4
    "Het versturen van het QOLT Mail bericht is mislukt",                                // 5
    "Het ophalen van de lijst met nieuwsgroepen is mislukt",                             // 6
    "Het geven van kudos is mislukt",                                                    // 7
    "Het ophalen van het kudos saldo is mislukt",                                        // 8
    "Het aanmaken van een nieuw QOLT account is mislukt",                                // 9
    "Het toevoegen van de QOLT posting is mislukt",                                      // 10
    "Het ophalen van MyQOLT gegevens is mislukt",                                        // 11
};

const char kNewShownAgain[] =
    "\n"
    "De QOLT postings die de vorige keer nieuw waren\n"
    "zullen nu getoond worden";

// The message for every action but 0 where they differ; results 11, 29 and
// 20 are below. Order: code, message text.
std::string plainMessage(int result) {
    switch (result) {
    case 1: return "Is de internetverbinding wel actief ?";
    case 2:
        return "Je hebt een ongeldige gebruikersnaam en/of wachtwoord\n"
               "ingevuld. Gelieve dit eerst in het configuratiescherm goed\n"
               "te zetten en daarna opnieuw proberen te updaten";
    case 3: return "Je bent verbannen van de QOLT server";
    case 4: return "Storing op de QOLT Server. QOLT Database onbereikbaar";
    case 5:
        return "Geen nieuwe QOLT postings sinds laatste controle.\n"
               "De QOLT postings die de vorige keer nieuw waren\n"
               "zullen nu getoond worden";
    case 6: return "Plugins worden niet ondersteund op dit platform!";
    case 7:
        return "De locatie van de http auth plugin is onbekend.\n"
               "Gelieve dit aan te passen in het configuratiescherm\n"
               "en het opnieuw te proberen";
    case 8:
        return "Kan de http auth plugin niet laden.\n"
               "Klopt de locatie wel en is het bestand leesbaar ?";
    case 9: return "Fout opgetreden tijdens het uitvoeren van de http auth plugin";
    case 10: return "Onbekende reactie van de server ontvangen";
    case 12: return "Kan QOLT event niet vinden in lokale cache.";
    case 13: return "Geen data van de server ontvangen";
    case 14: return "DNS server onbereikbaar of host onbekend";
    case 15: return "DNS server onbereikbaar of host onbekend";
    case 16: return "Connection refused";
    case 17: return "Lezen van data van server mislukt";
    case 18: return "Versturen van verzoek naar server mislukt";
    case 19: return "Maximumtijd voor ophalen gegevens verlopen";
    case 21: return "Er is reeds iemand geregistreerd met de opgegeven gebruikersnaam";
    case 22: return "Jouw ip-adres is verbannen van de QOLT server";
    case 23:
        return "Er is in de laatste 48 uur iemand ingelogd met een\n"
               "geldig QOLT account vanaf je huidige IP adres";
    case 24: return "curl_easy_init() mislukt\nControleer of libcurl wel goed geinstalleerd is";
    case 25: return "Server heeft de post geannuleerd";
    case 26: return "Je post is ter beoordeling naar een moderator verstuurd";
    case 27:
        return "Er is een nieuwere versie van Pelidor nodig\n"
               "om gebruik te kunnen maken van de QOLT server";
    case 28:
        return "Er is momenteel een limitatie op de QOLT server actief waardoor\n"
               "je maar 1 keer per 10 minuten mag updaten. De QOLT postings\n"
               "die de vorige keer nieuw waren zullen nu getoond worden";
    }
    return {};
}

std::string message(unsigned int action, int result, const std::string &detail) {
    switch (result) {
    case 11: return "Het parsen van de gegevens is mislukt :\n" + detail;
    case 29: return "Servermededeling ontvangen: " + detail;
    case 20:
        return "Registreren is op dit moment niet mogelijk\n"
               "in verband met een ledenstop. Hou de pagina\n"
               "http://www.qolt.nl/ledencount.php\n"
               "geregeld in de gaten om te zien wanneer je\nje weer kan registreren op QOLT.";
    case 13:
        // Not the same line break as 14 and 16: "nieuw\nwaren".
        if (action == 0)
            return "Geen data van de server ontvangen\n"
                   "De QOLT postings die de vorige keer nieuw\n"
                   "waren zullen nu getoond worden";
        break;
    case 14:
    case 15:
    case 16:
        if (action == 0) return plainMessage(result) + kNewShownAgain;
        break;
    }
    return plainMessage(result);
}

}  // namespace

const char *expectedHeader(unsigned int action) {
    return action < sizeof kHeaders / sizeof kHeaders[0] ? kHeaders[action] : nullptr;
}

ExpectedDialog expectedDialog(unsigned int action, int result, const char *detail) {
    if (result < 1 || result > 29) return {false, {}};
    const std::string body = message(action, result, detail ? detail : "");
    const char *header = (result >= 5 && result <= 9) ? nullptr : expectedHeader(action);
    return {true, header ? std::string(header) + "\n" + body : body};
}
