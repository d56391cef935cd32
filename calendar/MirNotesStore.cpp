#include "calendar/MirNotesStore.h"

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "foundation/KVException.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"

void DiaryBaseVerify(TPersistent*, const QString&, bool& Accept) { Accept = true; }

bool SaveDocumentReported(TKVXSkinIni& Doc, const QString& FileName, bool Compress) {
  try {
    SaveDocumentFile(Doc, FileName, Compress);
    return true;
  } catch (const EKVError& e) {
    qWarning("%s", qUtf8Printable(e.Message()));
    ReportSaveFailure(FileName, e.Reason());
  }
  return false;
}

QString QuickNotesFile() { return ExeDir + kNotesFileName; }

bool LoadQuickNotes(TMirModel& Model) {
  TMNotesBase& notes = *Model.Notes;
  notes.OnVerify.Set(&DiaryBaseVerify);
  notes.LoadFromFile(QuickNotesFile());
  TellDocumentRefused(notes, QuickNotesFile());
  if (!notes.LoadFailed) return true;
  qWarning("The quick notes were not read: %s", qUtf8Printable(notes.LoadError));
  return false;
}

bool SaveQuickNotes(TMirModel& Model) { return SaveDocumentReported(*Model.Notes, QuickNotesFile(), true); }
