#pragma once
// Page setup for printing rich text: the process's printer, a print job on it, and the
// formatting rectangle made from the paper, the printer's unprintable offsets and four margins.
#include <QString>
#include <memory>

#include "controls/KVFormatRange.h"
#include "foundation/KVException.h"
#include "foundation/KVTypes.h"

class QPainter;
class QPrinter;

// The one printer of the process (created on first use; the application object must exist).
QPrinter& Printer();

// A page's geometry in device pixels: the paper, and where the printable area begins on it.
struct TKVPageMetrics {
  int LogX = 0, LogY = 0;              // pixels per inch
  int PhysWidth = 0, PhysHeight = 0;   // the paper
  int OffsetX = 0, OffsetY = 0;        // the printable area's top-left corner on the paper
};
TKVPageMetrics PageMetricsOf(const QPrinter& printer);

// The formatting rectangle in twips, in the printable area's coordinates; margins are measured
// from the paper's edges, in inches or in centimetres. Raises EKVError when the margins leave no
// area to print in.
TRect PrintRectTwips(const TKVPageMetrics& page, bool inInches, double leftMargin, double topMargin,
                     double rightMargin, double bottomMargin);

// One open print job. Ends with EndDoc; a job destroyed before that is aborted.
class TKVPrintJob {
 public:
  explicit TKVPrintJob(QPrinter& printer);
  ~TKVPrintJob();
  TKVPrintJob(const TKVPrintJob&) = delete;
  TKVPrintJob& operator=(const TKVPrintJob&) = delete;

  QPainter& Painter() { return *painter_; }
  QPrinter& Device() { return printer_; }
  // Raises EKVError when the printer takes no further page.
  void NewPage();
  void EndDoc();
  void Abort();

 private:
  QPrinter& printer_;
  std::unique_ptr<QPainter> painter_;
  bool open_ = false;
};

// Starts a print job called Title on Printer() with Copies copies and fills Range for it: the
// painter, the printer's resolution, rc and rcPage from the margins, characters 0 to 0. Raises
// EKVError when there is no printer, the job cannot start or the margins leave no area.
std::unique_ptr<TKVPrintJob> PrepareFormatRange(const QString& Title, TKVFormatRange& Range, bool InInches,
                                                double LeftMargin, double TopMargin, double RightMargin,
                                                double BottomMargin, int Copies);
