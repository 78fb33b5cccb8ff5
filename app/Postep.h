#pragma once

#include <QProgressBar>
#include <QWidget>

class QLabel;

// Gauge of the progress window.
//
// It keeps its progress between minimum (0) and maximum: a larger progress is
// cut to the maximum, and lowering the maximum below the progress lowers the
// progress with it (a plain QProgressBar would ignore such a value or reset
// itself). A maximum of 0 shows an empty bar, not a busy indicator.
//
// The bar itself is touched only when the percentage it shows changes, and
// then repainted at once, so stepping it once per line of a large report is
// cheap and still visible while the analysis keeps the event loop busy.
class TMiernik : public QProgressBar
{
    Q_OBJECT

public:
    explicit TMiernik(QWidget *parent = nullptr);

    int Postep() const { return m_postep; }
    void UstawPostep(int postep);

    int Maksimum() const { return m_maksimum; }
    void UstawMaksimum(int maksimum);

    // Whether the percentage is drawn on the bar.
    bool PokazujeProcent() const { return isTextVisible(); }
    void PokazProcent(bool pokaz);

    // The percentage the bar shows: 0 when the maximum is 0.
    int Procent() const;

private:
    void Odswiez(bool zawsze);

    int m_postep = 0;
    int m_maksimum = 100;
    int m_pokazanyProcent = -1;
};

// Progress window shown, without blocking the main window, while a report
// arrives and while it is analysed. Closing it only hides it.
//
// The main window's use:
//   each chunk:   if (!frmPasek->isVisible()) { frmPasek->PokazNapis(...);
//                   frmPasek->gauPostep->UstawPostep(0); frmPasek->gauPostep->PokazProcent(false);
//                   frmPasek->show(); }
//                 g->UstawPostep(g->Postep() >= 100 ? 0 : g->Postep() + 1);
//   end of data:  g->UstawPostep(100); frmPasek->PokazNapis("...analizowanie danych!");
//                 g->UstawPostep(0); g->UstawMaksimum(lines); g->PokazProcent(true);
//   analysis:     g->UstawPostep(line) per line, then frmPasek->close().
class TfrmPasek : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmPasek(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    TMiernik *gauPostep = nullptr;

    // Sets the label and repaints it at once, for texts that must be seen
    // before work that does not return to the event loop.
    void PokazNapis(const QString &tekst);

protected:
    void FormCreate();
    void showEvent(QShowEvent *event) override;

private:
    bool m_wysrodkowane = false;
};

extern TfrmPasek *frmPasek;
