#pragma once
// The quick notes on disk: "mnotes.dat" in the program folder, read once at start-up and written
// by the save-all command and by the quick-notes window's OK. The pieces the diary's store shares
// (the verify handler and the reported save) are here too.
#include <QString>
#include <QStringList>

#include "foundation/KVSaveReport.h"

class TKVXSkinIni;
class TMirModel;
class TPersistent;

// OnVerify of the diary and quick-notes documents: every document is accepted, whatever its Safe
// text (no password is asked before loading).
void DiaryBaseVerify(TPersistent* Sender, const QString& Safe, bool& Accept);

// Saves Doc atomically over FileName. A file its last load could not read is first kept aside as
// ".bak", so it is never lost to the save. A failure goes to the open save report with the
// system's reason (ReportSaveFailure), leaves the old file whole and returns false; the program
// goes on.
bool SaveDocumentReported(TKVXSkinIni& Doc, const QString& FileName, bool Compress);

// The quick notes' file: ExeDir + "mnotes.dat".
QString QuickNotesFile();

// Reads the quick notes into the model's notes document. A missing file gives empty notes and
// true. A file that cannot be read, or holds no quick notes, leaves the notes empty and gives
// false; the document remembers it, so the next save keeps that file aside first.
bool LoadQuickNotes(TMirModel& Model);
// Writes the model's notes document, compressed, to the quick notes' file (SaveDocumentReported).
// Copying the editor's text into the document is the quick-notes window's task.
bool SaveQuickNotes(TMirModel& Model);
