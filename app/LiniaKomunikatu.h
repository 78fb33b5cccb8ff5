#pragma once

// The main window's message line, above the report area: a framed line with
// an icon, a text and its buttons, for what the user should learn without a
// box that must be answered (what the timer's download did while the window
// was closed, the port handed over to it).
//
// Assistive technology sees the line as an alert (role AlertMessage, its
// text as the name) and is told of each new message with an Alert event;
// its buttons are reached with Tab.

#include <QFrame>
#include <QString>

#include <functional>

class QAccessibleEvent;
class QLabel;
class QPushButton;

class TLiniaKomunikatu : public QFrame
{
    Q_OBJECT

public:
    enum class Rodzaj { Informacja, Ostrzezenie };

    explicit TLiniaKomunikatu(QWidget *parent = nullptr);

    // Shows tekst (plain text) with the icon of its kind, the button
    // "Otwórz" only when zOtworz; podpowiedz goes into the text's tool tip
    // (a full path). The line is announced as an alert.
    void Pokaz(Rodzaj rodzaj, const QString &tekst, bool zOtworz,
               const QString &podpowiedz = QString());
    QString Tekst() const;

    QLabel *labIkona = nullptr;
    QLabel *labTekst = nullptr;
    QPushButton *btnOtworz = nullptr;
    QPushButton *btnUkryj = nullptr;

    // Tests watch the alerts with this (the offscreen platform has no
    // accessibility bridge); an empty function stops watching.
    static void UstawSluchaczaDostepnosci(std::function<void(QAccessibleEvent *)> sluchacz);
};
