#pragma once

// The program's six windows, offscreen, around a temporary program directory.
//
// Creating one makes a fresh program directory, points the per-user places
// (XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_STATE_HOME, XDG_DATA_HOME) inside it, installs the
// replacements for the message boxes and the save dialog, and creates the windows. Destroying it
// undoes all of that, so each test starts from the same clean state.

#include "UjscieOkien.h"
#include "UjscieTestowe.h"
#include "Zapis.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class OknaTestowe
{
public:
    // Boxes go to komunikaty (through the recording sink) and the save
    // dialog asks dialog instead of the user; an empty function leaves the
    // real one (the window's boxes). When the directory cannot be made
    // (isValid() false) nothing else is set up.
    explicit OknaTestowe(Odbiorca komunikaty = {}, DialogZapisu dialog = {});
    ~OknaTestowe();
    OknaTestowe(const OknaTestowe &) = delete;
    OknaTestowe &operator=(const OknaTestowe &) = delete;

    // The program directory, asked the way a QTemporaryDir is.
    bool isValid() const { return m_katalog.isValid(); }
    QString path() const { return m_katalog.path(); }
    QString filePath(const QString &nazwa) const { return m_katalog.filePath(nazwa); }

    // The per-user state folder of the program (where its journal lies).
    QString KatalogStanu() const;
    // The journal in it (the first by name when there are more); a name
    // that does not exist when there is none.
    QString PlikDziennika() const;

    // Ends the program's windows and starts them again, as the next start
    // of the program would, with the same folders. The main window is not
    // shown yet.
    void UruchomPonownie();

private:
    QTemporaryDir m_katalog;
    // The real boxes, while no komunikaty is given.
    UjscieOkien m_pudelka;
    bool m_nagrywa = false;
    Komunikaty::Ujscie *m_poprzednie = nullptr;
    struct Zmienna
    {
        const char *nazwa;
        bool byla = false;
        QByteArray wartosc;
    };
    Zmienna m_zmienne[4] = {{"XDG_CONFIG_HOME", false, {}},
                            {"XDG_CACHE_HOME", false, {}},
                            {"XDG_STATE_HOME", false, {}},
                            {"XDG_DATA_HOME", false, {}}};
};

// Puts a received report into the main window as a download leaves it: the
// bytes in the text area, days 03-05-01 to 03-05-31, unsaved, save and mail on.
void UmiescRaport(const QByteArray &bajty);
