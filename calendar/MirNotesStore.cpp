#include "calendar/MirNotesStore.h"

#include <utility>

#include "calendar/KVXSkinBaseM1.h"
#include "calendar/MirModel.h"
#include "foundation/KVException.h"
#include "foundation/KVRes.h"
#include "foundation/KVString.h"
#include "foundation/KVSysUtils.h"

void DiaryBaseVerify(TPersistent*, const QString&, bool& Accept) { Accept = true; }

namespace {

// The user-interface thread's open reports and what they gathered.
int reportDepth = 0;
QStringList reportFiles;

void ShowSaveFailure(const QStringList& Files) {
  const TKVLanguageResource& l = LanguageResource();
  KVMessageBox(Format(l.RSCannotSave, {Files.join(QStringLiteral(", "))}) + QLatin1Char('\n') + l.RSDiskFull, QString(),
               IDI_ERROR_ICON, 0, ButtonsOK);
}

}  // namespace

void ReportSaveFailure(const QString& FileName) {
  if (reportDepth == 0) {
    ShowSaveFailure({FileName});
    return;
  }
  if (!reportFiles.contains(FileName)) reportFiles << FileName;
}

TSaveReport::TSaveReport() { ++reportDepth; }

TSaveReport::~TSaveReport() {
  if (--reportDepth > 0 || reportFiles.isEmpty()) return;
  const QStringList files = std::exchange(reportFiles, {});
  try {
    ShowSaveFailure(files);
  } catch (...) {
    qWarning("Cannot save %s", qUtf8Printable(files.join(QStringLiteral(", "))));
  }
}

QStringList TSaveReport::Pending() { return reportFiles; }

bool SaveDocumentReported(TKVXSkinIni& Doc, const QString& FileName, bool Compress) {
  try {
    SaveDocumentFile(Doc, FileName, Compress);
    return true;
  } catch (const EKVError& e) {
    qWarning("%s", qUtf8Printable(e.Message()));
  }
  ReportSaveFailure(FileName);
  return false;
}

QString QuickNotesFile() { return ExeDir + kNotesFileName; }

bool LoadQuickNotes(TMirModel& Model) {
  TMNotesBase& notes = *Model.Notes;
  notes.OnVerify.Set(&DiaryBaseVerify);
  notes.LoadFromFile(QuickNotesFile());
  if (!notes.LoadFailed) return true;
  qWarning("The quick notes were not read: %s", qUtf8Printable(notes.LoadError));
  return false;
}

bool SaveQuickNotes(TMirModel& Model) { return SaveDocumentReported(*Model.Notes, QuickNotesFile(), true); }
