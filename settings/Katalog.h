#pragma once

// Directory chooser for the save directory.
//
// The configuration dialog's "..." button runs it:
//
//     if (frmKatalog->exec() == 1)
//         ediKatalog->setText(frmKatalog->Directory());
//
// Result 1 is "Potwierdź", 2 is "Anuluj" or the close box; Enter and Escape
// close nothing. The chooser is made once and keeps its directory between
// openings; the first opening shows the working directory the program
// started in, not the text of the directory box.

#include "Woluminy.h"

#include <QDialog>
#include <QString>
#include <QTreeWidget>

#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// Joins a directory and a name typed by the user. The name is kept as typed
// (blanks included); the root gets no doubled separator.
QString DolaczNazwe(const QString &katalog, const QString &nazwa);

// The list of directories: the path of the open directory from "/" down,
// each ancestor one row deeper, then the sub-directories of the open one.
// A row is opened by a double click or by Enter; highlighting a row alone
// changes nothing.
class TDirectoryListBox : public QTreeWidget
{
    Q_OBJECT

public:
    // The full path of each row (QString).
    static constexpr int RolaSciezki = Qt::UserRole;
    // True for a row whose name is not UTF-8: shown with U+FFFD in place of
    // its odd bytes, and refused with a reason when opened.
    static constexpr int RolaNazwySpozaUtf8 = Qt::UserRole + 1;

    explicit TDirectoryListBox(QWidget *parent = nullptr);

    // The open directory, without a trailing "/" except "/" itself.
    QString Directory() const { return m_katalog; }

    // Opens the given directory and shows it. Throws std::runtime_error
    // when it cannot be entered; the list then keeps its directory.
    void SetDirectory(const QString &sciezka);

    // Reads the open directory's sub-directories again.
    void Update();

signals:
    // The open directory has changed.
    void DirectoryChanged(const QString &katalog);

protected:
    bool eventFilter(QObject *obiekt, QEvent *zdarzenie) override;
    void drawBranches(QPainter *painter, const QRect &rect,
                      const QModelIndex &index) const override;

private:
    void Otworz(QTreeWidgetItem *wiersz);

    QString m_katalog;
};

class TfrmKatalog : public QDialog
{
    Q_OBJECT

public:
    // Asks for the name of a new folder: the parent window, the caption, the
    // prompt. OK gives the typed text, Cancel the empty text.
    using Wejscie = std::function<QString(QWidget *, const QString &, const QString &)>;

    // The chooser starts in the process's working directory.
    explicit TfrmKatalog(QWidget *parent = nullptr);

    // The directory open in the directory list (no trailing "/" except at "/").
    QString Directory() const;

    // Replaces the input box of "Nowy" (tests); an empty function restores it.
    static void UstawWejscie(Wejscie wejscie);

    // Whether a volume can be entered; runs off the window thread and counts
    // as "no" when it has not answered within a second.
    using Sprawdzanie = std::function<bool(const QString &punkt)>;
    // Tests: another list of mounted file systems than /proc/self/mountinfo
    // (empty restores it), and another check (an empty function restores it).
    static void UstawPlikMontowan(const QString &plik);
    static void UstawSprawdzanie(Sprawdzanie sprawdzanie);

    // The drive list: one entry per mounted file system, the mount point in
    // Qt::UserRole. Filled at construction and again at every opening.
    void WczytajDyski();

    TDirectoryListBox *DirectoryListBox1;
    QComboBox *DriveComboBox1;
    QLabel *Label1;
    QFrame *Panel1;
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button3;

    void DriveComboBox1Change();
    void Button1Click();
    void Button2Click();
    void Button3Click();

public slots:
    // The close box ends the chooser with 2, as "Anuluj" does.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *zdarzenie) override;
    void showEvent(QShowEvent *zdarzenie) override;

private:
    void connectHandlers();
    void PokazDysk(const QString &katalog);

    QList<Wolumin> m_woluminy;
};

extern TfrmKatalog *frmKatalog;
