#pragma once

// The name a report is stored under: the object name with its words joined,
// then the first and the last day of the report, "obiekt_od_do.txt".
// Pure text work, usable without a window.

#include <QString>

// Removes the characters with codes 0 to 32 (the space and all control
// characters) from both ends. Unlike QString::trimmed() it leaves other
// Unicode white space alone and takes every control character.
QString PrzytnijTekst(const QString &tekst);

// The capital form used when words are joined: a-z and the nine Polish
// small letters; every other character is its own capital form.
QChar WielkaLitera(QChar znak);

// Joins the words of an (already trimmed) object name: each space is removed
// and the character after it is capitalised; of two spaces in a row the
// second stays ('a  b' gives 'a b'). The first character keeps its case.
QString PolaczWyrazy(const QString &obiekt);

// The report's file name, without a directory. dataOd and dataDo are stored
// back with every "/" turned into "-"; any spaces around them stay in the
// fields but not in the name. A "/" left in the name (typed into the object
// name) becomes "-", so the file never lands outside its directory, and so
// does every control character inside it (0x00 to 0x1F, 0x7F and 0x80 to
// 0x9F), so the name never carries an escape sequence.
QString NazwaPliku(const QString &obiekt, QString &dataOd, QString &dataDo);
