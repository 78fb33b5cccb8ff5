#pragma once

// Mail hand-off: passes one message with one attachment to the user's mail
// client, which shows it for checking before it goes out.
//
// On Linux the hand-off is xdg-email from xdg-utils, run without a shell. The
// client reads the attachment only when the message is sent or kept as a
// draft, maybe long after xdg-email has returned. So every send writes its
// attachment into a folder of its own that no later send touches, and the
// files stay until a start finds them older than seven days.
//
// For Thunderbird-like clients xdg-email hands the path over as
// attachment='PATH' on the client's command line: the client splits the value
// at commas, a quote inside ends it, and on the way xdg-email's shell reads a
// backslash as an escape and turns a line feed into CR LF. The attachment's
// name has those characters replaced, and its folder is one whose real path
// holds none of them.

#include <QString>

#include <functional>

class QObject;

struct WiadomoscPoczty
{
    QString temat;             // subject
    QString tresc;             // note text
    QString adres;             // the one recipient, already trimmed
    QString sciezkaZalacznika; // full path of the attachment
    QString nazwaZalacznika;   // its file name; the path already ends in it
};

// Results of WyslijPoczte. PocztaPrzekazana and PocztaWToku mean the client
// has the message (PocztaOddana); anything else means it was not sent.
inline constexpr int PocztaPrzekazana = 0;
inline constexpr int PocztaBrakProgramu = -1;     // xdg-email is not installed
inline constexpr int PocztaBladUruchomienia = -2; // it could not be started or crashed
inline constexpr int PocztaZlyAdres = -3;         // the address was refused; nothing was started
inline constexpr int PocztaWToku = -4;            // still running after the wait bound

inline bool PocztaOddana(int wynik)
{
    return wynik == PocztaPrzekazana || wynik == PocztaWToku;
}

// How a hand-off left running ends: 0 when the client took the message,
// otherwise xdg-email's status as a shell reports it (128 + the signal for
// one that was killed).
using KoniecPoczty = std::function<void(int status)>;

// Hands the message over. Waits for xdg-email without freezing the window
// (user input is held back meanwhile); its exit code is the result: 0 handed
// over, 1 to 5 not sent. An address that PowodBleduAdresu refuses starts
// nothing. Still running after the wait bound is PocztaWToku, and it is left
// running in a session of its own: with the client not running yet,
// xdg-email stays until the user closes the client, and neither closing
// this program nor a hang-up of its terminal may end them. poKoncu then
// learns how it ended, on this thread, as long as kontekst exists.
int WyslijPoczte(const WiadomoscPoczty &wiadomosc, QObject *kontekst = nullptr,
                 KoniecPoczty poKoncu = {});

// How long WyslijPoczte waits for xdg-email, in milliseconds (default 2000).
void UstawCzasOczekiwaniaPoczty(int milisekundy);
int CzasOczekiwaniaPoczty();

// The argument list given to xdg-email for a message. The address goes only
// inside a mailto: URL built here, every character but "@" percent-encoded:
// xdg-email reads a raw value's "?attach=" and "&bcc=" as parts of the
// message, and a quote ends the client's own to='...' argument.
QStringList ArgumentyPoczty(const WiadomoscPoczty &wiadomosc);

// Why an address (blanks around it do not count) cannot be the recipient: one Polish sentence for
// the user, without its full stop; empty when it can. An empty address can: the client asks for
// one. One plain address "name@domain" is taken, international letters, "+" and subdomains
// included. Refused are a "mailto:" prefix, spaces and control characters, and ? & % * ' " ` \ < >
// , ; which the way to the client turns into text of its own: "'" and "*" too, though some real
// addresses hold them.
QString PowodBleduAdresu(const QString &adres);

// The message for a refused address, naming the setting and the reason;
// empty when the address can be used.
QString KomunikatBleduAdresu(const QString &adres);

// True for a character that does not reach the mail client unchanged in an
// attachment path: "," "'" "\" and the line feed.
bool ZnakPsujeSciezkeZalacznika(QChar znak);

// The attachment's file name for a report name: every character that does not
// reach the client unchanged becomes "-"; the rest stays as it is.
QString NazwaZalacznika(const QString &nazwaRaportu);

// A new, empty folder for one send's attachment, named after the date and
// time of the send. It lies in katalogTemp when the real path there (links
// resolved, as xdg-email hands it on) reaches the client unchanged; otherwise
// in the per-user cache folder or, failing that too, in a private folder
// under the system's temporary folder. When the folder cannot be created the
// path it should have had is returned, so that writing into it fails there.
// Folders of the program's own are made the user's alone (FolderWlasny.h);
// one that another user owns is passed over, and when no other is left
// EFolderWlasny is thrown.
QString NowyKatalogWysylki(const QString &katalogTemp);

// Removes attachments older than seven days from the folders that
// NowyKatalogWysylki uses for katalogTemp, and send folders left empty.
// Younger ones stay: a compose window of an earlier run may still send them.
// Only the program's own layout is touched: *.txt files directly in a folder
// (as earlier versions left them) and in send folders. Run at start-up.
void UsunStareZalaczniki(const QString &katalogTemp);
