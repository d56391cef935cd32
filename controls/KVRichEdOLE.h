#pragma once
// The rich-text editor control: a QTextEdit over our own RTF reader and writer, with the
// rich-edit control's character and paragraph attribute objects, the Lines list and its
// streaming, search, style and size commands, link detection, printing and rendering into a
// bitmap. Its text is a TKVRichDocument (KVRichDoc.h), which loads, renders and prints it. There is no OLE here: embedded objects are pictures (see KVRichPicture.h), and the
// object dialogs are picture-based (insert a picture file, paste special over the clipboard's real
// formats, properties of one picture).
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextEdit>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "controls/KVFormatRange.h"
#include "controls/KVRichDoc.h"
#include "controls/KVRichText.h"
#include "controls/KVRichPicture.h"
#include "foundation/KVClasses.h"
#include "foundation/KVException.h"
#include "foundation/KVGraphics.h"
#include "foundation/KVTypes.h"

class QAction;
class QDialog;
class QMimeData;
class QIODevice;
class QKeyEvent;
class QMenu;
class QPagedPaintDevice;
class QSyntaxHighlighter;
class TKVCustomRichEdit;

// The rich-edit library version the editor behaves as (lone CR line ends, Unicode, link
// detection, backwards search).
constexpr int RichEditVersion = 3;

// The style a key toggles in the editor, as in every rich-text editor: Ctrl+B bold, Ctrl+I
// italic, Ctrl+U underline; nullopt for any other key.
std::optional<TFontStyle> StyleKeyOf(const QKeyEvent& event);

// The clipboard formats of rich text ("Rich Text Format" and its kin) as MIME types.
extern const char* const KVMimeRtf;  // "text/rtf"
bool KVMimeHasRtf(const QMimeData* data);
QByteArray KVMimeRtfData(const QMimeData* data);

// ---------------------------------------------------------------------------------------------
// Character and paragraph attributes

enum TKVAttributeType { atDefaultText = 0, atSelected = 1, atWord = 2 };
enum TFontPitch { fpDefault = 0, fpVariable = 1, fpFixed = 2 };
enum TConsistentAttribute {
  caBold, caColor, caFace, caItalic, caSize, caStrikeOut, caUnderline, caProtected, caOffset,
  caHidden, caLink, caBackColor, caDisabled, caWeight, caSubscript, caRevAuthor
};
using TConsistentAttributes = std::uint32_t;  // bit (1 << TConsistentAttribute)

class TKVTextAttributes : public TPersistent {
  KV_CLASS(TKVTextAttributes)
 public:
  // The default colour as the class library names it: the automatic colour.
  static constexpr TColor clDefaultColor = KVAutoTextColor;

  TKVTextAttributes(TKVCustomRichEdit* owner, TKVAttributeType type) : owner_(owner), type_(type) {}

  int Charset() const;
  void SetCharset(int value);
  // clWindowText when the text has the automatic colour.
  TColor Color() const;
  void SetColor(TColor value);
  QString Name() const;
  void SetName(const QString& value);
  TFontStyles Style() const;
  void SetStyle(TFontStyles value);
  int Size() const;  // points, whole
  void SetSize(int value);
  TFontPitch Pitch() const;
  void SetPitch(TFontPitch value);
  TConsistentAttributes ConsistentAttributes() const;

  // From a TFont (one change of size, colour, face, style and character set) or another
  // TKVTextAttributes (its whole format).
  void Assign(const TPersistent& source) override;

  // The format as read: the first character of a selection, the typing format without one.
  QTextCharFormat Format() const;
  // Applies only the properties Changes holds.
  void Apply(const QTextCharFormat& changes);

 protected:
  void AssignTo(TPersistent& dest) const override;

 private:
  TKVCustomRichEdit* owner_;
  TKVAttributeType type_;
};

class TKVParaAttributes : public TPersistent {
  KV_CLASS(TKVParaAttributes)
 public:
  explicit TKVParaAttributes(TKVCustomRichEdit* owner) : owner_(owner) {}

  // 0 left, 1 right, 2 centre (3 justified when read).
  int Alignment() const;
  void SetAlignment(int value);
  // TKVNumbering values.
  int Numbering() const;
  void SetNumbering(int value);
  // Points: the first line's indent, the following lines' indent relative to it, the right one.
  int FirstIndent() const;
  void SetFirstIndent(int value);
  int LeftIndent() const;
  void SetLeftIndent(int value);
  int RightIndent() const;
  void SetRightIndent(int value);
  int Tab(int index) const;  // points; index 0..31
  void SetTab(int index, int value);
  int TabCount() const;

  void Assign(const TPersistent& source) override;

 private:
  TKVCustomRichEdit* owner_;
  struct Record;
  Record Read() const;
  void Write(const std::function<void(Record&)>& change, bool numbering = false);
};

// ---------------------------------------------------------------------------------------------
// Lines and streaming

enum TStreamFormat { sfDefault = 0, sfRichText = 1, sfPlainText = 2 };
enum TStreamModeBit { smSelection = 1, smPlainRtf = 2, smNoObjects = 4, smUnicode = 8 };
using TStreamModes = std::uint32_t;

// Reads and writes the bytes of a stream; descendants may convert them.
class TConversion {
 public:
  virtual ~TConversion() = default;
  virtual qint64 ConvertReadStream(QIODevice& stream, char* buffer, qint64 count);
  virtual qint64 ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 count);
};
using TConversionClass = std::function<std::unique_ptr<TConversion>()>;
// File extensions (without the dot) and how to read them; "txt" and "rtf" are there from start.
void RegisterConversionFormat(const QString& extension, TConversionClass conversion, bool plainText);

// The editor's text as lines: paragraphs, and within them the parts between line breaks.
class TRichEditStrings {
 public:
  explicit TRichEditStrings(TKVCustomRichEdit* owner) : owner_(owner) {}

  int Count() const;  // an empty last line is not counted
  QString Get(int index) const;
  void Put(int index, const QString& s);
  void Insert(int index, const QString& s);
  void Add(const QString& s) { Insert(Count(), s); }
  void Delete(int index);
  void Clear();
  // The lines, each ended by CR LF.
  QString Text() const;
  void SetText(const QString& text);
  QStringList Strings() const;
  void Assign(const QStringList& strings);
  void AddStrings(const QStringList& strings);
  void BeginUpdate();
  void EndUpdate();

  void LoadFromStream(QIODevice& stream);
  void SaveToStream(QIODevice& stream);
  void LoadFromFile(const QString& fileName);
  void SaveToFile(const QString& fileName);

  TStreamFormat StreamFormat = sfDefault;
  TStreamModes StreamMode = 0;
  void SetConverter(std::unique_ptr<TConversion> converter) { converter_ = std::move(converter); }
  // Bytes read from the stream per piece.
  void SetReadChunk(int bytes) { chunk_ = std::max(1, bytes); }

 private:
  // The conversion registered for the file's extension, and its stream format.
  void UseFileConversion(const QString& fileName);
  TKVCustomRichEdit* owner_;
  std::unique_ptr<TConversion> converter_;
  int chunk_ = 16384;
  int updating_ = 0;

  struct Range {
    int start, length;
  };
  std::vector<Range> Ranges() const;
  bool RichFormat() const;
};

// ---------------------------------------------------------------------------------------------
// The editor

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TKVLangOption { rlAutoKeyboard = 1, rlAutoFont = 2, rlImeCancelComplete = 4, rlImeAlwaysSendNotify = 8 };
enum TKVSearchType { stWholeWord = 1, stMatchCase = 2, stBackwards = 4, stSelect = 8 };
using TKVSearchTypes = std::uint32_t;
// Selection types (SelectionType): SEL_EMPTY is 0.
enum TKVSelectionType { stText = 1, stObject = 2, stMultiChar = 4, stMultiObject = 8 };
// What a refused or allowed edit of protected text was about to do.
struct TKVEditRequest {
  enum Kind { Typing, Delete, Paste, Cut, Replace } kind;
  QString text;  // text to go in, if any
};
// Formats Paste Special offers, in the order offered.
enum class TKVPasteFormat { RichText, Picture, PlainText };


class TKVCustomRichEdit : public QTextEdit {
  Q_OBJECT
 public:
  explicit TKVCustomRichEdit(QWidget* parent = nullptr);
  ~TKVCustomRichEdit() override;

  TKVTextAttributes& SelAttributes() { return selAttributes_; }
  TKVTextAttributes& DefAttributes() { return defAttributes_; }
  TKVTextAttributes& WordAttributes() { return wordAttributes_; }
  TKVParaAttributes& Paragraph() { return paragraph_; }
  TRichEditStrings& Lines() { return lines_; }

  // ---- properties
  bool AutoURLDetect() const { return rich_.MarkLinks(); }
  void SetAutoURLDetect(bool on);
  bool AutoVerbMenu() const { return autoVerbMenu_; }
  void SetAutoVerbMenu(bool on) { autoVerbMenu_ = on; }
  // Without objects no picture can be pasted or inserted.
  bool AllowObjects() const { return allowObjects_; }
  void SetAllowObjects(bool on) { allowObjects_ = on; }
  bool AllowInPlace() const { return allowInPlace_; }
  void SetAllowInPlace(bool on) { allowInPlace_ = on; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool on);
  bool HideScrollBars() const { return hideScrollBars_; }
  void SetHideScrollBars(bool on);
  // A strip at the left where a click selects the line.
  bool SelectionBar() const { return selectionBar_; }
  void SetSelectionBar(bool on);
  QString Title() const { return title_; }
  void SetTitle(const QString& title) { title_ = title; }
  std::uint32_t LangOptions() const { return langOptions_; }
  void SetLangOptions(std::uint32_t options) { langOptions_ = options; }
  bool PlainText() const { return rich_.PlainText(); }
  void SetPlainText(bool on);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle style);
  TStreamFormat StreamFormat() const { return lines_.StreamFormat; }
  void SetStreamFormat(TStreamFormat f) { lines_.StreamFormat = f; }
  TStreamModes StreamMode() const { return lines_.StreamMode; }
  void SetStreamMode(TStreamModes m) { lines_.StreamMode = m; }
  int UndoLimit() const { return undoLimit_; }
  void SetUndoLimit(int limit);
  bool WordSelection() const { return wordSelection_; }
  void SetWordSelection(bool on) { wordSelection_ = on; }
  // 0: the rich-edit control's own limit of 0xFFFFFF characters.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int length) { maxLength_ = std::max(0, length); }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool on);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool on) { wantReturns_ = on; }
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool on);
  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool on);
  // Background colour of the control and of rendered bitmaps.
  TColor Color() const { return rich_.Color(); }
  void SetColor(TColor color);
  // The control's font; it becomes the default character format.
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);
  bool Modified() const;
  void SetModified(bool on);
  // Printing area in printer pixels; empty prints on the whole page.
  TRect PageRect;
  QPointer<QMenu> PopupMenu;

  // ---- text and selection (character positions as the rich-edit control counts them)
  int GetTextLen() const;
  int SelStart() const;
  void SetSelStart(int start);
  int SelLength() const;
  void SetSelLength(int length);
  QString SelText() const;
  // Replaces the selection; the new text is selected afterwards.
  void SetSelText(const QString& text);
  void SetSelection(int start, int end, bool scrollCaret);
  std::uint32_t SelectionType() const;
  QString GetTextRange(int start, int end) const;
  TPoint CaretPos() const;
  // Visual lines as laid out in the control.
  int LineFromChar(int charIndex) const;
  int LineIndex(int line) const;
  int LineLength(int charIndex) const;
  int LineCount() const;
  QString GetLineText(int index) const;
  bool CanPaste() const;
  void ClearUndo();
  void Clear();

  // ---- operations
  // Draws the whole content into Bitmap (Format_BGR888, Width wide, as high as the text used,
  // top margin included, filled with Color): True when everything fitted or there is no text.
  // Sizes in points and twips are converted at PixelsPerInch; all pixel values are the bitmap's.
  bool RenderToBitmap(QImage& bitmap, int width, int height, int leftMargin, int topMargin,
                      int rightMargin, int bottomMargin, int pixelsPerInch = KVLayoutDpi);
  // The same into a calendar bitmap: its brush becomes Color, its width Width (the client width
  // for 0) and its height the used height, 0 when nothing was drawn.
  bool RenderToBitmap(TKVBitmap& bitmap, int width, int height, int leftMargin, int topMargin,
                      int rightMargin, int bottomMargin, int pixelsPerInch = KVLayoutDpi);
  // The same onto a painter in Area; UsedHeight gets the used height in pixels.
  bool RenderToPainter(QPainter& painter, const QRect& area, int leftMargin, int topMargin,
                       int rightMargin, int bottomMargin, int* usedHeight = nullptr);
  // Prints the whole content on Device (a QPrinter or a QPdfWriter) within PageRect. Raises
  // EKVError when the page cannot hold a line, instead of starting page after page.
  void Print(const QString& caption, QPagedPaintDevice& device);
  // EM_FORMATRANGE: formats (and with Render paints) from Range->cpMin; nullptr drops the cached
  // formatting. Returns the first character not formatted.
  int FormatRange(TKVFormatRange* range, bool render);
  int FindText(const QString& searchStr, int startPos, int length, TKVSearchTypes options);
  void ToggleStyle(TFontStyle style);
  void IncFontSize();
  void DecFontSize();

  // ---- pictures (the object commands)
  // Paste Special: the clipboard's formats to choose from. True when one was pasted.
  bool PasteSpecialDialog();
  // Insert Object: a picture file chosen by the user goes in at the selection and is selected.
  // Raises EFOpenError or EConvertError for a file that cannot be read or is no picture.
  bool InsertObjectDialog();
  // Properties of the selected picture: its shown size.
  bool ObjectPropertiesDialog();
  // The popup menu for a click: the own PopupMenu, with the selected picture's properties added.
  QMenu* VerbMenu();
  void CloseObjects() {}
  // The formats the clipboard offers for pasting, in order of preference.
  QList<TKVPasteFormat> PasteFormats() const;
  bool PasteAs(TKVPasteFormat format);
  bool InsertPicture(const TKVPicture& picture);
  // The picture when exactly one is selected.
  std::optional<TKVPicture> SelectedPicture() const;
  // Changes the shown size of the selected picture (twips); it is then written as a new picture.
  bool ResizeSelectedPicture(int widthTw, int heightTw);

  // ---- events
  TEvent<void(TKVCustomRichEdit* sender)> OnChange;
  TEvent<void(TKVCustomRichEdit* sender, int startPos, int endPos, bool& allowChange)> OnProtectChange;
  TEvent<void(TKVCustomRichEdit* sender, const TKVEditRequest& request, int startPos, int endPos,
              bool& allowChange)>
      OnProtectChangeEx;
  TEvent<void(TKVCustomRichEdit* sender, const TRect& rect)> OnResizeRequest;
  TEvent<void(TKVCustomRichEdit* sender, int numObjects, int numChars, bool& saveClipboard)> OnSaveClipboard;
  TEvent<void(TKVCustomRichEdit* sender)> OnSelectionChange;
  TEvent<void(TKVCustomRichEdit* sender, const QString& findText)> OnTextNotFound;     // not fired
  TEvent<void(TKVCustomRichEdit* sender, QObject* dialog)> OnCloseFindDialog;          // not fired
  TEvent<void(TKVCustomRichEdit* sender, const QString& urlText, Qt::MouseButton button)> OnURLClick;

  // The link (detected or a hyperlink field) at a position of the text: its range and target.
  struct TLink {
    int start = -1, end = -1;
    QString target;
  };
  TLink LinkAt(int position) const;

  // Whether an edit of Start..End touches protected text that the handlers do not release.
  bool ProtectChange(const TKVEditRequest& request, int startPos, int endPos);

 protected:
  // The whole content from RTF (or plain text when the text is no RTF or the stream format is
  // plain), and back.
  void LoadRTFText(const QString& text);
  QString SaveRTFText();
  // The text as loaded, rendered and printed.
  TKVRichDocument& RichDocument() { return rich_; }

  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  QMimeData* createMimeDataFromSelection() const override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  friend class TKVTextAttributes;
  friend class TKVParaAttributes;
  friend class TRichEditStrings;

  TKVRichDocument rich_{*document()};
  TKVTextAttributes selAttributes_{this, atSelected};
  TKVTextAttributes defAttributes_{this, atDefaultText};
  TKVTextAttributes wordAttributes_{this, atWord};
  TKVParaAttributes paragraph_{this};
  TRichEditStrings lines_{this};
  QSyntaxHighlighter* links_ = nullptr;

  bool autoVerbMenu_ = true, allowObjects_ = true, allowInPlace_ = true;
  bool hideSelection_ = true, hideScrollBars_ = true, selectionBar_ = true;
  bool wordSelection_ = true, wantTabs_ = false, wantReturns_ = true, wordWrap_ = true;
  TScrollStyle scrollBars_ = ssBoth;
  std::uint32_t langOptions_ = rlAutoFont;
  int undoLimit_ = 100;
  int maxLength_ = 0;
  QString title_;
  TFont font_;
  TLink pressedLink_;
  int lastSelStart_ = -1, lastSelEnd_ = -1;
  const QMimeData* ownClipboard_ = nullptr;
  std::vector<QAction*> verbActions_;
  QMenu* verbMenu_ = nullptr;

  void UpdatePalette();
  void UpdateScrollBars();
  void SelectionChanged();
  bool InsertAllowed(int count) const;
  bool EditAllowed(const TKVEditRequest& request, int start, int end);
  void ReplaceSelection(const std::function<void(QTextCursor&)>& insert);
  void SizeRuns(int delta);
  // Applies Fn to the format of Type: the default format, the selection's runs one by one, or
  // the typing format.
  void ChangeFormat(int type, const std::function<void(QTextCharFormat&)>& fn);
  QTextCursor RangeCursor(int start, int end) const;
  QTextCharFormat DefaultFormat() const;
  void SetDefaultFormat(const QTextCharFormat& changes);
  // False when Data is no RTF.
  bool LoadRich(QByteArrayView data, bool selectionOnly);
  void LoadPlain(const QString& text, bool selectionOnly);
};

class TKVRichEditOLE : public TKVCustomRichEdit {
  Q_OBJECT
 public:
  explicit TKVRichEditOLE(QWidget* parent = nullptr) : TKVCustomRichEdit(parent) {}

  // The strings' text streamed in again as the content (RTF lines load as rich text).
  void AssignLines(const QStringList& strings);
  // Replaces the content with Text: RTF, or plain text when it is none (or StreamFormat says so).
  void SetRTFText(const QString& text);
  // The same, but of rich text only whole paragraphs until the content holds MinChars characters,
  // for showing the beginning of a long text. True when the text goes on after what was loaded.
  bool SetRTFTextPart(const QString& text, int minChars);
  // The content as RTF (plain text when StreamFormat says so).
  QString GetRTFText();
};
