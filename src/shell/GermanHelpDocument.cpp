#include "shell/GermanHelpDocument.h"

#include <algorithm>

#include "shell/HelpDocument.h"
#include "shell/MakerInfo.h"

TStringArray GermanHelpDocumentLines() {
    // The head and the style sheet stay those of the English document, so both look alike.
    TStringArray lines = HelpDocumentLines();
    const auto body = std::find(lines.begin(), lines.end(), ByteString("<body>"));
    if (body != lines.end()) lines.erase(body + 1, lines.end());
    const ByteString demo = Maker.DemoAddress;
    const ByteString contact = Maker.ContactAddress;
    // Umlauts as entities: the lines are plain ASCII whatever the document's charset.
    const TStringArray german = {
        "<a name=\"top\"></a><br><br>",
        "<h2>Hilfethemen</h2>",
        "<ul>",
        "<li><a class=\"topic\" href=\"#about\">&Uuml;ber Quorvel 1.01</a></li>",
        "<li><a class=\"topic\" href=\"#option\">Optionen</a></li>",
        "<li><a class=\"topic\" href=\"#techn\">Kontakt</a></li>",
        "</ul>",
        "<hr>",
        "<a name=\"about\"></a>",
        "<h2>&Uuml;ber Quorvel 1.01</h2>",
        "<p>Quorvel bringt sofortige Benachrichtigungen auf Ihre Website. Benachrichtigungen erscheinen",
        "als HTML und k&ouml;nnen Links, Bilder und animierte GIF-Bilder, Tabellen und Formulare sowie",
        "Stylesheets enthalten. Zusammen mit einem passenden Web-Skript dient es Aufgaben wie",
        "<em>Bestellbenachrichtigungen f&uuml;r Online-Shops</em> oder <em>interne Nachrichten f&uuml;r",
        "Community-Websites</em>. Sehen Sie es in der",
        "<a href=\"" + demo + "\">Online-Vorf&uuml;hrung</a> bei der Arbeit.</p>",
        "<p><a class=\"home\" href=\"#top\">[Anfang]</a></p>",
        "<hr>",
        "<a name=\"option\"></a>",
        "<h2>Optionen</h2>",
        "<p><b>Verbindung</b> - Das Programm fragt das Web-Skript ab, das im Feld",
        "<span class=\"field\">Skript-URL</span> angegeben ist, und zwar in dem Abstand, der im Feld",
        "<span class=\"field\">Intervall</span> steht, oder in dem, den das Web-Skript vorgibt, je",
        "nachdem, welcher gr&ouml;&szlig;er ist.</p>",
        "<p><b>Passwort speichern</b> - Ankreuzen, um das Passwort &uuml;ber das Ende des Programms",
        "hinaus zu speichern.</p>",
        "<p><a class=\"home\" href=\"#top\">[Anfang]</a></p>",
        "<hr>",
        "<a name=\"techn\"></a>",
        "<h2>Kontakt</h2>",
        "<p>Sie haben ein Problem gefunden, eine Anmerkung oder einen Vorschlag, oder brauchen Hilfe",
        "dabei, Quorvel in Ihre Website einzubinden? Schreiben Sie mir &uuml;ber",
        "<a href=\"" + contact + "\">meine Website</a>. Ihre R&uuml;ckmeldung hilft, das Programm",
        "besser zu machen.</p>",
        "<p><a class=\"home\" href=\"#top\">[Anfang]</a></p>",
        "<br><br><br>",
        "</body>",
        "</html>",
    };
    lines.insert(lines.end(), german.begin(), german.end());
    return lines;
}

TStringArray HelpDocumentLinesFor(const QLocale& locale) {
    return locale.language() == QLocale::German ? GermanHelpDocumentLines() : HelpDocumentLines();
}
