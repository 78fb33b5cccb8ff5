#pragma once

// Analysis of a received report: the first and the last day it names.
//
// The device names each day of visits in a line containing "Odwiedziny w
// dniu" (exact case); the day is whatever follows the first colon of that
// line, with every "/" turned into "-". Days are kept as text, never checked
// or converted to dates.
//
// The analysis reads the bytes the text area keeps (TRaportView::Bajty()) and
// divides them into lines exactly as the area does, so the line numbers it
// reports match the area's LiczbaLinii().

#include <QByteArray>
#include <QString>

#include <functional>
#include <string_view>

// Calls naLinie(std::string_view line) for every line of the report, the line
// break not included. CR LF, a bare LF and a bare CR each end a line; a line
// break at the very end opens no further line (an empty report has none).
template <typename F> void DlaKazdejLinii(const QByteArray &raport, F &&naLinie)
{
    const char *p = raport.constData();
    const char *const koniec = p + raport.size();
    while (p < koniec) {
        const char *q = p;
        while (q < koniec && *q != '\r' && *q != '\n')
            ++q;
        naLinie(std::string_view(p, std::size_t(q - p)));
        if (q < koniec && *q == '\r' && q + 1 < koniec && q[1] == '\n')
            ++q;
        p = q + 1;
    }
}

// The number of lines of the report, as DlaKazdejLinii() divides it.
int LiczbaLiniiRaportu(const QByteArray &raport);

// Walks every line of the report, from the first to the last; it stops at no
// day line. For each line it first calls postep(index of the line), then, on
// a day line:
//   dataDo := the day of the line ("/" -> "-"), empty when the line has no
//             colon or ends with it;
//   dataOd := the same, if dataOd is still empty.
// So dataOd ends as the first non-empty day (or what it held before) and
// dataDo as the day of the last day line, even an empty one. The fields are
// not cleared first: analysing the report again after more data arrived
// keeps dataOd and moves dataDo on.
//
// Returns true when the report has at least one day line. Only then do the
// status panels change, to "Od: " + dataOd and "Do: " + dataDo.
//
// Days are decoded from Windows-1250. postep is called once per line and
// should be cheap; TMiernik::UstawPostep is.
bool AnalizujRaport(const QByteArray &raport, QString &dataOd, QString &dataDo,
                    const std::function<void(int linia)> &postep = {});
