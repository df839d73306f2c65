// rupp_calls.cpp - the pocket-cycle error table of the roughing. The table's texts only document
// each message: the host shows its own text for the number.
#include "cycles/rupp_calls.h"

#include <cstdlib>

#include "framework/messages.h"

namespace {
struct RuppErrorRow {
  long code;
  int result;
  int message;
  const char* text;
};

// Codes of the pocket cycles and their results (-1 error, 0 warning).
constexpr RuppErrorRow kRuppErrors[] = {
    {1, -1, 1001, "* Pflichtparameter fehlt"},
    {2, -1, 1002, "* Zu kleines Zustellmaß"},
    {3, -1, 1003, "* Dimensionen können nicht berechnet werden"},
    {4, -1, 1004, "* qDX-Werteverwaltung kann nicht angelegt werden"},
    {5, -1, 1005, "* Quelldatei mit Geometrie ist nicht bekannt (-> geoSource). "},
    {6, -1, 1006, "* qDX-Datei kann nicht geöffnet werden"},
    {7, -1, 1007, "* qDX-Datei falscher Dateityp"},
    {8, -1, 1008, "* Vertikales Zustellmaß ist zu klein angegeben"},
    {100, 0, 1100, "* Syntaxfehler, Voreinstellungen wurden gewählt"},
    {1101, -1, 1101, "* Fehlerhafte Geometrieübergabe"},
    {1102, -1, 1102, "* Kontur nicht geschlossen"},
    {1103, -1, 1103, "* Nicht ausreichend Hauptspeicher verfügbar"},
    {1104, -1, 1104, "* Funktion noch nicht realisiert"},
    {1105, -1, 1105, "* Fehlerhafte Kontur"},
    {1106, -1, 1106, "* Interner Fehler bei der Konturenverwaltung"},
    {1107, -1, 1107, "* Fehler beim Lesen der Geometrien"},
    {1108, -1, 1108, "* Fehler beim Schreiben der Zyklenausgaben"},
    {1109, -1, 1109, "* Kontur ueberschneidet sich"},
    {1500, -1, 1500, "* Maximale Elementzahl von 3000 überschritten"},
    {1501, -1, 1501, "* Maximale Zahl der Konturen von 50 überschritten"},
    {1502, -1, 1502, "* Zustellmaß fehlerhaft angegeben"},
    {1503, -1, 1503, "* Maximale Anzahl von 350 der Schnittpunkte überschritten"},
    {1114, -1, 1114, "* Innnentaschen schneiden sich"},
    {1115, -1, 1115, "* Außentasche muß zuerst angewählt werden!"},
    {1116, -1, 1116, "* Keine geschlossene Polyline angewählt"},
    {1522, -1, 1522, "* Helix macro collides with pocket contours"},
    {1504, 0, 1504, "* Mehr als eine Bohrung erforderlich"},
    {1505, 0, 1505, "* Taschenkontur kann nicht vollständig umfahren werden"},
    {1506, 0, 1506, "* Inselkontur kann nicht vollständig umfahren werden"},
    {1507, 0, 1507, "* Fräser zu groß: keine Fräsbahnen können generiert werden"},
    {1508, 0, 1508, "* Insel liegt außerhalb der Tasche"},
    {1509, -1, 1509, "* Anzahl der Distanzpunkte von 300 überschritten"},
    {1510, 0, 1510, "* Fehlerhafte Tiefenzuordnung: Insel ohne Tasche"},
    {1511, -1, 1511, "* Interner nicht zuordenbarer Fehler"},
    {1514, 0, 1514, "* Fehler beim Schreiben der Restmaterial Info"},
    {1515, 0, 1515, "* Keine Restmaterial Info generiert"},
    {1516, 0, 1516, "* Fehler beim Lesen der Restmaterial Info"},
    {1517, 0, 1517, "* Zu großer Radius für Restmaterialbearbeitung"},
    {1518, 0, 1518, "* One small restmachining area skipped"},
    {1520, 0, 1520, "* Additional movements to remachine required"},
    {1521, 0, 1521, "* Tool corner radius too big for complete stepover"},
    {1191, -1, 1191, "* AX Taschenfehler"},
    // Failures that the pocket cycles report by codes of their own.
    {103, -1, 1103, "* Nicht ausreichend Hauptspeicher verfügbar"},
    {207, -1, 1115, "* Außentasche muß zuerst angewählt werden!"},
};

constexpr int kRuppUnknownMessage = 1301;
constexpr int kRuppMessageLevel = 9;

struct RuppState {
  int errorsOnly = 0;
  int muted = 0;
};
RuppState ruppState;

}  // namespace

int ruppReportError(const char* text) {
  if (text == nullptr) return 0;
  const long code = std::strtol(text, nullptr, 10);
  for (const RuppErrorRow& row : kRuppErrors) {
    if (row.code != code) continue;
    const bool silent = ruppState.muted != 0 || (ruppState.errorsOnly != 0 && row.result >= 0);
    if (!silent) msgSendReal(kRuppMessageLevel, row.message, row.text, 0.0);
    return row.result;
  }
  // A code the table does not know is always reported: muting must not hide it.
  msgSendText(kRuppMessageLevel, kRuppUnknownMessage, "* Unknown Error : %s", text);
  return 0;
}

void ruppSetErrorsOnly(int on) { ruppState.errorsOnly = on != 0 ? 1 : 0; }
void ruppMuteErrors(int mute) { ruppState.muted = mute != 0 ? 1 : 0; }
void ruppResetState() { ruppState = RuppState{}; }
