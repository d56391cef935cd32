#include "foundation/KVString.h"

#include <QFile>

#include "foundation/KVZlib.h"
#include "platform/KVSafeSave.h"

namespace {

// Upper-cases character by character so that positions stay where they were.
QString UpperSameLength(const QString& s) {
  QString u = s;
  for (QChar& c : u) c = c.toUpper();
  return u;
}

}  // namespace

int CountChar(const QString& S, QChar Ch) { return int(S.count(Ch)); }

int PosEx(const QString& SubStr, const QString& S, int StartPos, bool CaseSensitive) {
  if (SubStr.isEmpty() || S.isEmpty()) return 0;
  if (StartPos < 1) StartPos = 1;
  if (StartPos > S.size()) return 0;
  const qsizetype p = CaseSensitive ? S.indexOf(SubStr, StartPos - 1, Qt::CaseSensitive)
                                    : UpperSameLength(S).indexOf(UpperSameLength(SubStr), StartPos - 1);
  return p < 0 ? 0 : int(p) + 1;
}

QString ReplaceAll(const QString& FindText, const QString& ReplaceText, const QString& S, bool CaseSensitive) {
  if (FindText.isEmpty()) return S;
  QString r = S;
  int p = PosEx(FindText, r, 1, CaseSensitive);
  while (p > 0) {
    r.replace(p - 1, FindText.size(), ReplaceText);
    p = PosEx(FindText, r, p + int(ReplaceText.size()), CaseSensitive);
  }
  return r;
}

QString ExtractBetween(const QString& StartTag, const QString& EndTag, const QString& S, int StartPos,
                       bool CaseSensitive) {
  const int p1 = PosEx(StartTag, S, StartPos, CaseSensitive);
  if (p1 < 1) return {};
  const int q = p1 + int(StartTag.size());
  const int p2 = PosEx(EndTag, S, q, CaseSensitive);
  if (p2 < 1) return {};
  return S.mid(q - 1, p2 - q);
}

QString TextBefore(const QString& S, const QString& Delim) {
  const int p = PosEx(Delim, S);
  return p > 0 ? S.left(p - 1) : QString();
}

QString TextAfter(const QString& S, const QString& Delim) {
  const int p = PosEx(Delim, S);
  return p > 0 ? S.mid(p) : QString();
}

namespace {

// Start and end (position of the closing delimiter) of token Index; end 0 when it is missing.
std::pair<int, int> LocateToken(const QString& S, int Index, const QString& Delim) {
  if (Index < 0) Index = 0;
  int p = PosEx(Delim, S);
  int start = 1;
  for (int i = 0; i < Index; ++i) {
    if (p == 0) return {start, 0};
    start = p + int(Delim.size());
    p = PosEx(Delim, S, start);
  }
  return {start, p};
}

}  // namespace

QString GetToken(const QString& S, int Index, const QString& Delim) {
  const auto [start, p] = LocateToken(S, Index, Delim);
  return p > start ? S.mid(start - 1, p - start) : QString();
}

QStringList GetTokens(const QString& S, const QString& Delim) {
  QStringList tokens;
  if (Delim.isEmpty()) return tokens;
  qsizetype start = 0;
  for (qsizetype p; (p = S.indexOf(Delim, start, Qt::CaseSensitive)) >= 0; start = p + Delim.size())
    tokens << S.mid(start, p - start);
  return tokens;
}

QString SetToken(const QString& S, int Index, const QString& Value, const QString& Delim) {
  const auto [start, p] = LocateToken(S, Index, Delim);
  if (p <= start) return S;
  QString r = S;
  r.replace(start - 1, p - start, Value);
  return r;
}

QString Format(const QString& Pattern, const QStringList& Args) {
  QString out;
  int next = 0;
  for (qsizetype i = 0; i < Pattern.size(); ++i) {
    const QChar c = Pattern[i];
    if (c == QLatin1Char('%') && i + 1 < Pattern.size()) {
      const QChar k = Pattern[i + 1];
      if (k == QLatin1Char('%')) {
        out += QLatin1Char('%');
        ++i;
        continue;
      }
      if (k == QLatin1Char('s') || k == QLatin1Char('d')) {
        out += next < Args.size() ? Args[next] : QString();
        ++next;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

bool StrToBool(const QString& S) {
  if (S.isEmpty()) return false;
  const QChar c = S[0].toUpper();
  if (c == QLatin1Char('T')) return true;
  if (c == QLatin1Char('F')) return false;
  return StrToIntDef(S, 0) != 0;
}

QString BoolToStr(bool B) { return B ? QStringLiteral("true") : QStringLiteral("false"); }

TRect StrToRect(const QString& S) {
  const QString closed = S + QLatin1Char(',');
  return TRect{StrToIntDef(GetToken(S, 0), 0), StrToIntDef(GetToken(S, 1), 0), StrToIntDef(GetToken(S, 2), 0),
               StrToIntDef(GetToken(closed, 3), 0)};
}

QString RectToStr(const TRect& R) {
  return QStringLiteral("%1,%2,%3,%4").arg(R.Left).arg(R.Top).arg(R.Right).arg(R.Bottom);
}

QString PathWithSlash(const QString& Folder) {
  if (Folder.isEmpty() || Folder.endsWith(QLatin1Char('/'))) return Folder;
  return Folder + QLatin1Char('/');
}

static QString TrimControls(const QString& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s[b].unicode() <= ' ') ++b;
  while (e > b && s[e - 1].unicode() <= ' ') --e;
  return s.mid(b, e - b);
}

QString QuoteIfSpaced(const QString& S) {
  const QString t = TrimControls(S);
  if (!t.contains(QLatin1Char(' '))) return t;
  if (t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')) && t.size() > 1) return t;
  return QLatin1Char('"') + t + QLatin1Char('"');
}

QString MakeValidFileName(const QString& S) {
  static const QString forbidden = QStringLiteral("\t'*/:<>?\\|");
  QString r = S;
  for (QChar& c : r)
    if (c.unicode() < 32 || forbidden.contains(c)) c = QLatin1Char(' ');
  r = TrimControls(r);
  if (r.size() > 200) r.truncate(200);
  // Cutting may leave a blank at the end.
  return TrimControls(r);
}

void WriteStrToStream(QIODevice& Stream, const QByteArray& S) {
  if (S.isEmpty()) return;
  if (Stream.write(S) != S.size()) throw EStreamError(QStringLiteral("Stream write error"));
}

QByteArray ReadStrFromStream(QIODevice& Stream, qint64 Count) {
  qint64 available = Stream.isSequential() ? Stream.bytesAvailable() : Stream.size() - Stream.pos();
  if (available < 0) available = 0;
  const qint64 n = (Count < 0 || Count > available) ? available : Count;
  if (n <= 0) return {};
  return Stream.read(n);
}

void SaveStrToFile(const QString& FileName, const QByteArray& S) { SafeSaveBytes(FileName, S); }

QByteArray LoadStrFromFile(const QString& FileName) {
  QFile f(FileName);
  if (!f.open(QIODevice::ReadOnly))
    throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, f.errorString()));
  return f.readAll();
}

const ClassInfo& TKVStrings::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVStrings>("TKVStrings", &TComponent::StaticClass())
                                  .Obj("Lines", [](TKVStrings& s) -> TPersistent* { return &s.lines_; })
                                  .Build();
  return ci;
}

// ---------------------------------------------------------------------------------------------
// Stream properties

namespace {

void ResetBuffer(QBuffer& b, const QByteArray& data) {
  b.close();
  b.setData(data);
  b.open(QIODevice::ReadWrite);
  b.seek(b.size());  // as after reading: positioned at the end
}

void DefineStreamData(TFiler& filer, QBuffer& stream, bool compressed) {
  const bool has = stream.size() > 0;
  filer.DefineBinaryProperty(
      QStringLiteral("Data"), [&stream](const QByteArray& b) { ResetBuffer(stream, b); },
      [&stream] { return stream.data(); }, has && !compressed);
  filer.DefineBinaryProperty(
      QStringLiteral("CData"), [&stream](const QByteArray& b) { ResetBuffer(stream, ZDecompress(b, kMaxRichTextSize)); },
      [&stream] { return ZCompress(stream.data()); }, has && compressed);
}

}  // namespace

const ClassInfo& TKVStreamProp::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVStreamProp>("TKVStreamProp", &TPersistent::StaticClass())
                                  .Bool("Compressed", &TKVStreamProp::Compressed, false)
                                  .Build();
  return ci;
}

TKVStreamProp::TKVStreamProp() { stream_.open(QIODevice::ReadWrite); }

void TKVStreamProp::SetBytes(const QByteArray& b) { ResetBuffer(stream_, b); }

void TKVStreamProp::DefineProperties(TFiler& filer) { DefineStreamData(filer, stream_, Compressed); }

void TKVStreamProp::Assign(const TPersistent& source) {
  if (source.InheritsFrom(StaticClass())) {
    const auto& s = static_cast<const TKVStreamProp&>(source);
    Compressed = s.Compressed;
    SetBytes(s.Bytes());
    return;
  }
  TPersistent::Assign(source);
}

const ClassInfo& TKVStoredStream::StaticClass() {
  static const ClassInfo ci = ClassBuilder<TKVStoredStream>("TKVStoredStream", &TComponent::StaticClass())
                                  .Bool("Compressed", &TKVStoredStream::Compressed, false)
                                  .Build();
  return ci;
}

TKVStoredStream::TKVStoredStream(TComponent* owner) : TComponent(owner) { stream_.open(QIODevice::ReadWrite); }

void TKVStoredStream::SetBytes(const QByteArray& b) { ResetBuffer(stream_, b); }

void TKVStoredStream::DefineProperties(TFiler& filer) { DefineStreamData(filer, stream_, Compressed); }

void TKVText::Assign(const QString& text) {
  if (QtPrivate::isLatin1(QStringView(text))) text_ = text.toLatin1();
  else text_ = text;
}

const QByteArray& TKVText::Latin1() const {
  static const QByteArray none;
  return Narrow() ? Bytes() : none;
}

void TKVText::SetAt(qsizetype i, QChar c) {
  if (Narrow() && c.unicode() <= 0xFF) {
    std::get<QByteArray>(text_)[i] = char(c.unicode());
    return;
  }
  QString text = ToString();
  text[i] = c;
  Assign(text);
}
