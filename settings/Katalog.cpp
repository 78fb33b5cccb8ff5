#include "Katalog.h"

#include "Komunikaty.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <stdexcept>

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

// The mount point of the file system that holds the path.
QString woluminSciezki(const QString &sciezka)
{
    const QStorageInfo info(sciezka);
    return info.isValid() ? zwyklaSciezka(info.rootPath()) : QString();
}

QIcon ikonaWoluminu(const QStorageInfo &info)
{
    static const QList<QByteArray> sieciowe = {"nfs",   "nfs4",       "cifs",        "smb3",
                                               "smbfs", "fuse.sshfs", "9p",          "afs",
                                               "ceph",  "glusterfs",  "fuse.rclone", "davfs"};
    static const QList<QByteArray> optyczne = {"iso9660", "udf"};
    const QByteArray typ = info.fileSystemType();
    QStyle::StandardPixmap obraz = QStyle::SP_DriveHDIcon;
    if (sieciowe.contains(typ))
        obraz = QStyle::SP_DriveNetIcon;
    else if (optyczne.contains(typ))
        obraz = QStyle::SP_DriveCDIcon;
    return QApplication::style()->standardIcon(obraz);
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

    // Hidden directories are left out, as a file manager does by default.
    const QStringList podkatalogi = QDir(m_katalog).entryList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString &nazwa : podkatalogi) {
        auto *wiersz = new QTreeWidgetItem(biezacy, {nazwa});
        wiersz->setIcon(0, zamkniety);
        wiersz->setData(0, RolaSciezki, DolaczNazwe(m_katalog, nazwa));
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
    SetDirectory(wiersz->data(0, RolaSciezki).toString());
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

void TfrmKatalog::WczytajDyski()
{
    QList<QStorageInfo> woluminy = QStorageInfo::mountedVolumes();
    woluminy.erase(std::remove_if(woluminy.begin(), woluminy.end(),
                                  [](const QStorageInfo &v) { return !v.isValid(); }),
                   woluminy.end());
    // The root first, the others in the order of their mount points.
    std::sort(woluminy.begin(), woluminy.end(), [](const QStorageInfo &a, const QStorageInfo &b) {
        if (a.isRoot() != b.isRoot())
            return a.isRoot();
        return QString::compare(a.rootPath(), b.rootPath(), Qt::CaseInsensitive) < 0;
    });

    const QSignalBlocker blokada(DriveComboBox1);
    DriveComboBox1->clear();
    for (const QStorageInfo &v : woluminy) {
        const QString punkt = zwyklaSciezka(v.rootPath());
        const QString nazwa = v.name();
        const QString tekst = nazwa.isEmpty() ? punkt : punkt + QStringLiteral(" [") + nazwa + u']';
        DriveComboBox1->addItem(ikonaWoluminu(v), tekst, punkt);
    }
    PokazDysk(Directory());
}

// Shows in the drive list the file system that holds the open directory.
void TfrmKatalog::PokazDysk(const QString &katalog)
{
    const int i = DriveComboBox1->findData(woluminSciezki(katalog));
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
        if (punkt == woluminSciezki(Directory()))
            return;
        try {
            DirectoryListBox1->SetDirectory(punkt);
        } catch (const std::exception &) {
            // The list keeps its directory; the drive list keeps the pick.
            Komunikaty::Komunikat(QStringLiteral("Dysk: ") + punkt +
                                  QStringLiteral(" jest niedostępny"));
        }
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
