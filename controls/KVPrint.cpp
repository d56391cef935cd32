#include "controls/KVPrint.h"

#include <QPainter>
#include <QPrinter>
#include <cmath>

namespace {

// Margins to twips, truncated toward zero; absurd values are refused before they overflow.
qint64 MarginTwips(double margin, bool inInches) {
  const double twips = inInches ? margin * 1440 : margin * 1440 * 0.3937;
  if (!std::isfinite(twips) || std::fabs(twips) > 1e9) throw EKVError(QStringLiteral("Invalid margin"));
  return qint64(std::trunc(twips));
}

}  // namespace

QPrinter& Printer() {
  static std::unique_ptr<QPrinter> printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer;
}

TKVPageMetrics PageMetricsOf(const QPrinter& printer) {
  TKVPageMetrics m;
  m.LogX = printer.logicalDpiX();
  m.LogY = printer.logicalDpiY();
  const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
  const QRectF page = printer.pageRect(QPrinter::DevicePixel);
  m.PhysWidth = int(std::nearbyint(paper.width()));
  m.PhysHeight = int(std::nearbyint(paper.height()));
  m.OffsetX = int(std::nearbyint(page.left() - paper.left()));
  m.OffsetY = int(std::nearbyint(page.top() - paper.top()));
  return m;
}

TRect PrintRectTwips(const TKVPageMetrics& page, bool inInches, double leftMargin, double topMargin,
                     double rightMargin, double bottomMargin) {
  if (page.LogX <= 0 || page.LogY <= 0) throw EKVError(QStringLiteral("The printer reports no resolution"));
  const qint64 physW = qint64(page.PhysWidth) * 1440 / page.LogX;
  const qint64 physH = qint64(page.PhysHeight) * 1440 / page.LogY;
  const qint64 offX = qint64(page.OffsetX) * 1440 / page.LogX;
  const qint64 offY = qint64(page.OffsetY) * 1440 / page.LogY;
  const qint64 left = MarginTwips(leftMargin, inInches) - offX;
  const qint64 top = MarginTwips(topMargin, inInches) - offY;
  const qint64 right = physW - MarginTwips(rightMargin, inInches) - offX;
  const qint64 bottom = physH - MarginTwips(bottomMargin, inInches) - offY;
  // Printing into no area would start page after page without ever placing a line.
  if (right <= left || bottom <= top) throw EKVError(QStringLiteral("The margins leave no room to print in"));
  return Rect(int(left), int(top), int(right), int(bottom));
}

TKVPrintJob::TKVPrintJob(QPrinter& printer) : printer_(printer), painter_(std::make_unique<QPainter>()) {
  if (!painter_->begin(&printer_)) throw EKVError(QStringLiteral("Printing could not be started"));
  open_ = true;
}

TKVPrintJob::~TKVPrintJob() {
  if (open_) Abort();
}

void TKVPrintJob::NewPage() {
  if (!open_ || !printer_.newPage()) throw EKVError(QStringLiteral("The printer takes no further page"));
}

void TKVPrintJob::EndDoc() {
  if (!open_) return;
  open_ = false;
  if (!painter_->end()) throw EKVError(QStringLiteral("Printing could not be finished"));
}

void TKVPrintJob::Abort() {
  if (!open_) return;
  open_ = false;
  printer_.abort();
  if (painter_->isActive()) painter_->end();
}

std::unique_ptr<TKVPrintJob> PrepareFormatRange(const QString& Title, TKVFormatRange& Range, bool InInches,
                                                double LeftMargin, double TopMargin, double RightMargin,
                                                double BottomMargin, int Copies) {
  QPrinter& printer = Printer();
  const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
  if (toFile ? printer.outputFileName().isEmpty() : (!printer.isValid() || printer.printerName().isEmpty()))
    throw EKVError(QStringLiteral("No printer is installed"));
  printer.setDocName(Title);
  printer.setCopyCount(std::max(1, Copies));
  // The rectangle is checked before the job starts, so that bad margins leave no empty job behind.
  const TKVPageMetrics page = PageMetricsOf(printer);
  const TRect rc = PrintRectTwips(page, InInches, LeftMargin, TopMargin, RightMargin, BottomMargin);
  auto job = std::make_unique<TKVPrintJob>(printer);
  Range = TKVFormatRange{};
  Range.hdc = &job->Painter();
  Range.LogX = page.LogX;
  Range.LogY = page.LogY;
  Range.rc = rc;
  Range.rcPage = rc;
  Range.cpMin = 0;
  Range.cpMax = 0;
  return job;
}
