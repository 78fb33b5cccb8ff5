#pragma once

// Mail hand-off: passes one message with one attachment to the user's mail
// client, which shows it for checking before it goes out.
//
// On Linux the hand-off is xdg-email from xdg-utils, run without a shell. The
// client may read the attachment only after xdg-email has returned, so the
// attachment is not deleted after the call; it stays in the temporary folder
// until the next start removes it (UsunStareZalaczniki).

#include <QString>

struct WiadomoscPoczty
{
    QString temat;             // subject
    QString tresc;             // note text
    QString adres;             // the one recipient, already trimmed
    QString sciezkaZalacznika; // full path of the attachment
    QString nazwaZalacznika;   // its file name; the path already ends in it
};

// Results of WyslijPoczte. Anything other than PocztaPrzekazana means the
// message was not sent.
inline constexpr int PocztaPrzekazana = 0;
inline constexpr int PocztaBrakProgramu = -1;     // xdg-email is not installed
inline constexpr int PocztaBladUruchomienia = -2; // it could not be started or crashed

// Hands the message over. Waits for xdg-email without freezing the window
// (user input is held back meanwhile); its exit code is the result: 0 handed
// over, 1 to 5 not sent. Still running after the wait bound counts as handed
// over, and it is left running.
int WyslijPoczte(const WiadomoscPoczty &wiadomosc);

// How long WyslijPoczte waits for xdg-email, in milliseconds (default 5000).
void UstawCzasOczekiwaniaPoczty(int milisekundy);
int CzasOczekiwaniaPoczty();

// The argument list given to xdg-email for a message. An address beginning
// with "-" would be read as an option; it is passed as a mailto: URL instead.
QStringList ArgumentyPoczty(const WiadomoscPoczty &wiadomosc);

// Removes the attachments left in the temporary folder by earlier sends
// (regular *.txt files only; the folder itself stays). Run at start-up.
void UsunStareZalaczniki(const QString &katalogTemp);
