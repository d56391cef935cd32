#pragma once
// Our own RTF reader: everything the rich-edit control writes and what word processors put on
// the clipboard, into a QTextDocument, or into plain text only (no document, no picture
// decoding) for searching many entries fast.
//
// Damaged RTF loads as far as it can be understood: unbalanced or truncated groups, bad hex and
// unknown words are passed over, groups nested deeper than a fixed limit share their parent's
// state, and pictures that are damaged or too large are kept but shown as a frame.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

class QTextDocument;

// True when Data opens an RTF group ("{\rtf", after blanks).
bool KVIsRtf(QByteArrayView data);
// Replaces the document's content with the RTF Data. Returns false, leaving the document as it
// was, when Data is no RTF.
bool KVReadRtf(QByteArrayView data, QTextDocument& doc);
// The same, but only whole paragraphs until the document holds at least MinChars characters
// (all of them when MinChars is negative): what a view shows of a long text costs what it shows.
// More tells whether the text went on.
bool KVReadRtfPart(QByteArrayView data, QTextDocument& doc, qint64 MinChars, bool& More);
// The text the document would hold: paragraphs end in "\r" (not the last), line breaks are "\v",
// pictures and objects U+FFFC. nullopt when Data is no RTF.
std::optional<QString> KVRtfToText(QByteArrayView data);
// The same into Text, which keeps its room for the next: false, and Text as it was, when Data is
// no RTF. For reading many texts one after another.
bool KVRtfToText(QByteArrayView data, QString& text);
// RTF held in a string as bytes again: characters up to 0xFF are bytes, the Windows-1252 signs
// are their bytes, anything else becomes a \u escape.
QByteArray KVRtfBytes(const QString& text);
