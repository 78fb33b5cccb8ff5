#include "Katalog.h"

#include "Bledy.h"
#include "Komunikaty.h"
#include "Woluminy.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHash>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <dirent.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

TfrmKatalog *frmKatalog = nullptr;

namespace {

TfrmKatalog::Wejscie &wejscie()
{
    static TfrmKatalog::Wejscie w;
    return w;
}

QString zwyklaSciezka(const QString &sciezka)
{
    QString s = QDir::cleanPath(QDir(sciezka).absolutePath());
    while (s.size() > 1 && s.endsWith(u'/'))
        s.chop(1);
    return s;
}

QString &plikMontowan()
{
    static QString plik;
    return plik;
}

TfrmKatalog::Sprawdzanie &sprawdzanie()
{
    static TfrmKatalog::Sprawdzanie s;
    return s;
}

QIcon ikonaWoluminu(const Wolumin &w)
{
    static const QList<QByteArray> optyczne = {"iso9660", "udf"};
    QStyle::StandardPixmap obraz = QStyle::SP_DriveHDIcon;
    if (w.sieciowy)
        obraz = QStyle::SP_DriveNetIcon;
    else if (optyczne.contains(w.typ))
        obraz = QStyle::SP_DriveCDIcon;
    return QApplication::style()->standardIcon(obraz);
}

struct Podkatalog
{
    QString nazwa;
    bool utf8;
};

// The sub-directories, read with readdir: Qt's listing leaves out names
// that are not UTF-8, and the user would not see such a folder at all.
// Hidden directories are left out, as a file manager does by default.
QList<Podkatalog> podkatalogi(const QString &katalog)
{
    QList<Podkatalog> wynik;
    DIR *d = ::opendir(QFile::encodeName(katalog).constData());
    if (!d)
        return wynik;
    while (const dirent *w = ::readdir(d)) {
        const QByteArray nazwa(w->d_name);
        if (nazwa.startsWith('.'))
            continue;
        bool katalogowy = w->d_type == DT_DIR;
        if (w->d_type == DT_UNKNOWN || w->d_type == DT_LNK) {
            struct stat st;
            katalogowy = ::fstatat(::dirfd(d), w->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        if (katalogowy)
            wynik.append({QString::fromUtf8(nazwa), nazwa.isValidUtf8()});
    }
    ::closedir(d);
    QCollator porzadek;
    porzadek.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(wynik.begin(), wynik.end(), [&](const Podkatalog &a, const Podkatalog &b) {
        return porzadek.compare(a.nazwa, b.nazwa) < 0;
    });
    return wynik;
}

} // namespace

QString DolaczNazwe(const QString &katalog, const QString &nazwa)
{
    if (katalog.endsWith(u'/'))
        return katalog + nazwa;
    return katalog + u'/' + nazwa;
}

// --- TDirectoryListBox ---

TDirectoryListBox::TDirectoryListBox(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(10);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    installEventFilter(this);

    // Double click opens a row; single click (even where the style
    // activates on it) only highlights.
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *wiersz) { Komunikaty::Chron([&] { Otworz(wiersz); }); });
}

void TDirectoryListBox::SetDirectory(const QString &sciezka)
{
    const QString katalog = zwyklaSciezka(sciezka);
    const QFileInfo info(katalog);
    if (!info.isDir() || !info.isExecutable())
        throw std::runtime_error(
            QStringLiteral("Nie można otworzyć katalogu %1").arg(katalog).toStdString());
    const bool zmiana = katalog != m_katalog;
    m_katalog = katalog;
    Update();
    if (zmiana)
        emit DirectoryChanged(m_katalog);
}

void TDirectoryListBox::Update()
{
    clear();
    if (m_katalog.isEmpty())
        return;
    QStyle *styl = style();
    const QIcon otwarty = styl->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon zamkniety = styl->standardIcon(QStyle::SP_DirClosedIcon);

    // The path from the root down, each ancestor one level deeper.
    QTreeWidgetItem *rodzic = new QTreeWidgetItem(this, {QStringLiteral("/")});
    rodzic->setIcon(0, otwarty);
    rodzic->setData(0, RolaSciezki, QStringLiteral("/"));
    QString sciezka;
    const QStringList czesci = m_katalog.split(u'/', Qt::SkipEmptyParts);
    for (const QString &czesc : czesci) {
        sciezka += u'/' + czesc;
        auto *wiersz = new QTreeWidgetItem(rodzic, {czesc});
        wiersz->setIcon(0, otwarty);
        wiersz->setData(0, RolaSciezki, sciezka);
        rodzic = wiersz;
    }
    QTreeWidgetItem *biezacy = rodzic;

    for (const Podkatalog &p : podkatalogi(m_katalog)) {
        auto *wiersz = new QTreeWidgetItem(biezacy, {p.nazwa});
        wiersz->setIcon(0, zamkniety);
        wiersz->setData(0, RolaSciezki, DolaczNazwe(m_katalog, p.nazwa));
        wiersz->setData(0, RolaNazwySpozaUtf8, !p.utf8);
    }
    expandAll();
    setCurrentItem(biezacy);
    scrollToItem(biezacy);
}

bool TDirectoryListBox::eventFilter(QObject *obiekt, QEvent *zdarzenie)
{
    if (obiekt == this && zdarzenie->type() == QEvent::KeyPress) {
        const int klawisz = static_cast<QKeyEvent *>(zdarzenie)->key();
        if (klawisz == Qt::Key_Return || klawisz == Qt::Key_Enter) {
            Komunikaty::Chron([&] { Otworz(currentItem()); });
            return true;
        }
    }
    return QTreeWidget::eventFilter(obiekt, zdarzenie);
}

void TDirectoryListBox::drawBranches(QPainter *, const QRect &, const QModelIndex &) const
{
    // The rows are always open: no expand and collapse marks, only indentation.
}

void TDirectoryListBox::Otworz(QTreeWidgetItem *wiersz)
{
    if (!wiersz)
        return;
    const QString sciezka = wiersz->data(0, RolaSciezki).toString();
    // A name that is not UTF-8 is shown with U+FFFD in place of its odd
    // bytes; that text names no folder, and storing it would send reports
    // somewhere else. Refused with a reason instead of "cannot open".
    if (wiersz->data(0, RolaNazwySpozaUtf8).toBool()) {
        throw BladProgramu(QStringLiteral("Nazwa folderu \u201E%1\u201D zawiera znaki zapisane "
                                          "inaczej niż w UTF-8 (pokazane jako \uFFFD), więc "
                                          "program nie może go otworzyć ani zapisać w "
                                          "ustawieniach. Zmień nazwę tego folderu, na przykład "
                                          "w menedżerze plików, i wybierz go ponownie")
                               .arg(wiersz->text(0)),
                           sciezka);
    }
    SetDirectory(sciezka);
}

// --- TfrmKatalog ---

TfrmKatalog::TfrmKatalog(QWidget *parent)
    : QDialog(parent)
    , DirectoryListBox1(new TDirectoryListBox(this))
    , DriveComboBox1(new QComboBox(this))
    , Label1(new QLabel(QStringLiteral("Proszę wybrać katalog:"), this))
    , Panel1(new QFrame(this))
    , Button1(new QPushButton(QStringLiteral("Potwierdź"), this))
    , Button2(new QPushButton(QStringLiteral("Anuluj"), this))
    , Button3(new QPushButton(QStringLiteral("Nowy"), this))
{
    setObjectName(QStringLiteral("frmKatalog"));
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3->setObjectName(QStringLiteral("Button3"));

    setWindowTitle(QStringLiteral("Wybór katalogu"));
    // The program's caption font: the controls are placed by hand for it,
    // whatever size the desktop's font has.
    QFont maly = font();
    maly.setPixelSize(11);
    setFont(maly);
    // The client area of an outer 289 x 285 window. Controls are placed
    // by hand and keep their places when the window is resized.
    resize(281, 258);

    Label1->move(10, 10);
    Label1->adjustSize();
    DriveComboBox1->setGeometry(10, 35, 191, 19);
    Button3->setGeometry(210, 35, 55, 19);
    DirectoryListBox1->setGeometry(10, 60, 256, 141);
    Panel1->setFrameShape(QFrame::HLine);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setGeometry(5, 210, 270, 2);
    Button1->setGeometry(190, 220, 75, 25);
    Button2->setGeometry(10, 220, 75, 25);

    // Neither button is pressed by Enter.
    for (QPushButton *b : {Button1, Button2, Button3}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    setTabOrder(DirectoryListBox1, DriveComboBox1);
    setTabOrder(DriveComboBox1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);

    try {
        DirectoryListBox1->SetDirectory(QDir::currentPath());
    } catch (const std::exception &) {
        // A working directory that cannot be listed: start at the root.
        Komunikaty::Chron([&] { DirectoryListBox1->SetDirectory(QStringLiteral("/")); });
    }
    WczytajDyski();
    connectHandlers();
}

void TfrmKatalog::connectHandlers()
{
    connect(DriveComboBox1, &QComboBox::activated, this, [this] { DriveComboBox1Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChanged, this,
            [this](const QString &katalog) { PokazDysk(katalog); });
}

QString TfrmKatalog::Directory() const
{
    return DirectoryListBox1->Directory();
}

void TfrmKatalog::UstawWejscie(Wejscie w)
{
    wejscie() = std::move(w);
}

void TfrmKatalog::UstawPlikMontowan(const QString &plik)
{
    plikMontowan() = plik;
}

void TfrmKatalog::UstawSprawdzanie(Sprawdzanie s)
{
    sprawdzanie() = std::move(s);
}

void TfrmKatalog::WczytajDyski()
{
    // Network volumes are shown without details.
    m_woluminy = plikMontowan().isEmpty() ? WczytajWoluminy() : WczytajWoluminy(plikMontowan());
    const QHash<QString, QString> nazwy = EtykietyWoluminow();

    const QSignalBlocker blokada(DriveComboBox1);
    DriveComboBox1->clear();
    for (const Wolumin &w : std::as_const(m_woluminy)) {
        // A disk shows its label, a network share its source.
        const QString nazwa = w.sieciowy ? w.zrodlo : nazwy.value(w.zrodlo);
        const QString tekst =
            nazwa.isEmpty() ? w.punkt : w.punkt + QStringLiteral(" [") + nazwa + u']';
        DriveComboBox1->addItem(ikonaWoluminu(w), tekst, w.punkt);
    }
    // A share's source is long: the open list is as wide as its entries.
    DriveComboBox1->view()->setMinimumWidth(DriveComboBox1->view()->sizeHintForColumn(0) + 8);
    PokazDysk(Directory());
}

// Shows in the drive list the file system that holds the open directory.
void TfrmKatalog::PokazDysk(const QString &katalog)
{
    const int i = DriveComboBox1->findData(WoluminSciezki(m_woluminy, katalog));
    if (i >= 0) {
        const QSignalBlocker blokada(DriveComboBox1);
        DriveComboBox1->setCurrentIndex(i);
    }
}

void TfrmKatalog::DriveComboBox1Change()
{
    Komunikaty::Chron([&] {
        const QString punkt = DriveComboBox1->currentData().toString();
        if (punkt.isEmpty())
            return;
        // Picking the file system already shown leaves the list as it is.
        if (punkt == WoluminSciezki(m_woluminy, Directory()))
            return;
        // The volume is asked off the window thread first: a share whose
        // server is down answers nothing, and the window must not wait.
        bool wszedl = false;
        if (WoluminOdpowiada(punkt, sprawdzanie())) {
            try {
                DirectoryListBox1->SetDirectory(punkt);
                wszedl = true;
            } catch (const std::exception &) {
            }
        }
        // The list keeps its directory; the drive list keeps the pick.
        if (!wszedl)
            Komunikaty::Komunikat(QStringLiteral("Dysk: ") + punkt +
                                  QStringLiteral(" jest niedostępny"));
    });
}

void TfrmKatalog::Button1Click()
{
    done(1);
}

void TfrmKatalog::Button2Click()
{
    done(2);
}

void TfrmKatalog::Button3Click()
{
    // A folder that cannot be made (an existing name, a refused character,
    // no rights) is not reported: the list is read again and shows what is
    // there.
    try {
        const QString tytul = QStringLiteral("Nowy folder");
        const QString podpowiedz = QStringLiteral("Podaj nazwę katalogu");
        QString nazwa;
        if (wejscie()) {
            nazwa = wejscie()(this, tytul, podpowiedz);
        } else {
            bool ok = false;
            nazwa =
                QInputDialog::getText(this, tytul, podpowiedz, QLineEdit::Normal, QString(), &ok);
            if (!ok)
                nazwa.clear();
        }
        if (nazwa.trimmed().isEmpty())
            return;
        // One level only: the parent is the open directory.
        QDir().mkdir(DolaczNazwe(Directory(), nazwa));
        DirectoryListBox1->Update();
    } catch (...) {
    }
}

void TfrmKatalog::reject()
{
    done(2);
}

void TfrmKatalog::keyPressEvent(QKeyEvent *zdarzenie)
{
    // Escape does not close the chooser; only the buttons and the close box do.
    if (zdarzenie->key() == Qt::Key_Escape) {
        zdarzenie->accept();
        return;
    }
    QDialog::keyPressEvent(zdarzenie);
}

void TfrmKatalog::showEvent(QShowEvent *zdarzenie)
{
    // File systems come and go (a memory stick, a network share): the drive
    // list is read again at each opening.
    WczytajDyski();
    QDialog::showEvent(zdarzenie);
}
