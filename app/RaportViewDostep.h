#pragma once

// The report area as assistive technology sees it: a read-only, multi-line
// text, as Qt's own read-only plain text edit shows itself.

#include <QAccessibleWidget>

class QObject;
class QString;
class TRaportView;

class TRaportViewDostep : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit TRaportViewDostep(TRaportView *pole);

    QAccessible::State state() const override;
    QString text(QAccessible::Text rodzaj) const override;
    void *interface_cast(QAccessible::InterfaceType rodzaj) override;

    // Selection: the area has at most one.
    void selection(int indeks, int *poczatek, int *koniec) const override;
    int selectionCount() const override;
    void addSelection(int poczatek, int koniec) override;
    void removeSelection(int indeks) override;
    void setSelection(int indeks, int poczatek, int koniec) override;

    int cursorPosition() const override;
    void setCursorPosition(int pozycja) override;

    QString text(int poczatek, int koniec) const override;
    QString textBeforeOffset(int znak, QAccessible::TextBoundaryType granica, int *poczatek,
                             int *koniec) const override;
    QString textAfterOffset(int znak, QAccessible::TextBoundaryType granica, int *poczatek,
                            int *koniec) const override;
    QString textAtOffset(int znak, QAccessible::TextBoundaryType granica, int *poczatek,
                         int *koniec) const override;
    int characterCount() const override;

    QRect characterRect(int znak) const override;
    int offsetAtPoint(const QPoint &punkt) const override;
    void scrollToSubstring(int poczatek, int koniec) override;
    QString attributes(int znak, int *poczatek, int *koniec) const override;

private:
    TRaportView *pole() const;
};

// The factory that gives a TRaportView its interface.
QAccessibleInterface *FabrykaDostepuRaportu(const QString &klasa, QObject *obiekt);
