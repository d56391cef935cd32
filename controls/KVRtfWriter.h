#pragma once
// Our own RTF writer: the dialect of the rich-edit control (font and colour tables in order of
// first use, \pard paragraphs, \pn numbering with \pntext, \'hh in the font's code page and \u
// for the rest). The same document always gives the same bytes; pictures and object groups read
// from RTF and not changed since are written back byte for byte.
#include <QByteArray>
#include <QString>

class QTextDocument;

// The document, or the characters From..To of it (To -1: to the end), as RTF. With NoObjects
// pictures and objects are left out.
QByteArray KVWriteRtf(const QTextDocument& doc, int from = 0, int to = -1, bool noObjects = false);
// The plain text of From..To as the rich-edit control gives it: paragraphs end in "\r", line
// breaks are "\v", pictures U+FFFC.
QString KVDocumentText(const QTextDocument& doc, int from = 0, int to = -1);
