#pragma once
// The language table: every user-visible text of the program, filled with the English texts.
#include <QString>
#include <functional>
#include <vector>

#include "foundation/KVClasses.h"

// Slot name and English text, in slot order.
#define KV_LANGUAGE_SLOTS(X) \
  X(RSOK, "OK") \
  X(RSCancel, "Cancel") \
  X(RSYes, "Yes") \
  X(RSNo, "No") \
  X(RSRetry, "Retry") \
  X(RSAppend, "Append") \
  X(RSReplace, "Replace") \
  X(RSOverwrite, "Overwrite") \
  X(RSSkip, "Skip") \
  X(RSContinue, "Continue") \
  X(RSResume, "Resume") \
  X(RSExit, "Exit") \
  X(RSExitSetup, "Exit Setup") \
  X(RSCheckforNewerVersion, "Check for Newer Version") \
  X(RSDownloadNewer, "Download Newer") \
  X(RSInstallExisting, "Install Existing") \
  X(RSUnableConnectURL, "Unable to connect to %s") \
  X(RSNoDefaultBrowser, "Default web browser not found") \
  X(RSUnableSendMail, "Unable to send mail to %s") \
  X(RSNoDefaultMail, "Default mail program not found") \
  X(RSAt, "at") \
  X(RSAtStartup, "at startup") \
  X(RSWeeklyEvery, "Weekly every") \
  X(RSHourly, "Hourly") \
  X(RSDaily, "Daily") \
  X(RSMonthly, "Monthly") \
  X(RSYearly, "Yearly") \
  X(RSUserDefined, "User Defined") \
  X(RSInvalidPWdCrypted, "Invalid password for crypted file") \
  X(RSUPNext, "NEXT") \
  X(RSCannotSave, "Cannot save %s.") \
  X(RSDiskFull, "Disk may be full or write protected!") \
  X(RSPrintingError, "Printing Error!") \
  X(RSSureDeleteSelectedEntry, "Are you sure you want to delete selected entry?") \
  X(RSDefault, "Default") \
  X(RSRegWriteError, "Error writing to registry") \
  X(RSRegReadError, "Error reading from registry") \
  X(RSQuickNotes, "Quick Notes") \
  X(RSAbout, "About") \
  X(RSHelp, "Help") \
  X(RSEnabled, "Enabled") \
  X(RSOpen, "Open") \
  X(RSPassword, "Password") \
  X(RSCheckPasswordOnlyatStartup, "Check password only at startup") \
  X(RSInternetSettings, "Internet Settings") \
  X(RSCenter, "Center") \
  X(RSThisIsDefaultStyle, "This is default style") \
  X(RSSetLeading, "Set Leading") \
  X(RSVeryTight, "Very tight") \
  X(RSTight, "Tight") \
  X(RSNormal, "Normal") \
  X(RSLoose, "Loose") \
  X(RSVeryLoose, "Very loose") \
  X(RSFont, "Font") \
  X(RSFonts, "Fonts") \
  X(RSWeekly, "Weekly") \
  X(RSPrintDiary, "Print Diary") \
  X(RSDelete, "Delete") \
  X(RSDeleteAll, "Delete All") \
  X(RSCover, "Cover") \
  X(RSDownloadNewImagesPrograms, "Download New Images or Programs") \
  X(RSNewReminder, "New Reminder") \
  X(RSDiary, "Diary") \
  X(RSShowAllNotes, "Show All Notes") \
  X(RSFind, "Find") \
  X(RSExactphrase, "Exact phrase") \
  X(RSAllkeywords, "All keywords") \
  X(RSAnykeyword, "Any keyword") \
  X(RSImages, "Images") \
  X(RSHideImage, "Hide Image") \
  X(RSSelectSet, "Select Set") \
  X(RSCreateNew, "Create New") \
  X(RSDeleteSet, "Delete Set") \
  X(RSEditImageSet, "Edit Image Set") \
  X(RSAddImage, "Add Image") \
  X(RSRemoveImage, "Remove Image") \
  X(RSApplySelectedImageNow, "Apply Selected Image Now") \
  X(RSUseImages, "Use Images") \
  X(RSCheckAll, "Check All") \
  X(RSUncheckAll, "Uncheck All") \
  X(RSChangeOrder, "Change Order") \
  X(RSMoveDown, "Move Down") \
  X(RSMoveUp, "Move Up") \
  X(RSReplaceMirova, "Replace Mirova") \
  X(RSUseImagesinRandomOrder, "Use images in random order") \
  X(RSImagePosition, "Image Position") \
  X(RSTile, "Tile") \
  X(RSBestFit, "Best Fit") \
  X(RSStretch, "Stretch") \
  X(RSThumbnailSize, "Thumbnail Size") \
  X(RSSmall, "Small") \
  X(RSMedium, "Medium") \
  X(RSLarge, "Large") \
  X(RSCalendarStyle, "Calendar Style") \
  X(RSCalendarBaseFont, "Calendar Base Font") \
  X(RSMonthNameVisibility, "Month Name Visibility") \
  X(RSBevelStyle, "Bevel Style") \
  X(RSFlat, "Flat") \
  X(RSRaised, "Raised") \
  X(RSLowered, "Lowered") \
  X(RSCalendarTransparency, "Calendar Transparency") \
  X(RSNotesPanelTransparency, "Notes Panel Transparency") \
  X(RSUndoChanges, "Undo Changes") \
  X(RSSetColors, "Set Colors") \
  X(RSUseImagePackDefaultColors, "Use Image Pack Default Colors") \
  X(RSBackgrounds, "Backgrounds") \
  X(RSMainBackgroundColor, "Main Background Color") \
  X(RSCalculateSaturdayandSundayColors, "Calculate Saturday and Sunday Colors") \
  X(RSBackgroundContrast, "Background Contrast") \
  X(RSSaturdayBackgroundColor, "Saturday Background Color") \
  X(RSSundayBackgroundColor, "Sunday Background Color") \
  X(RSWorkingDaysColor, "Working Days Color") \
  X(RSSaturdayColor, "Saturday Color") \
  X(RSSundayColor, "Sunday Color") \
  X(RSCurrentDateColor, "Current Date Color") \
  X(RSShadowColor, "Shadow Color") \
  X(RSDistance, "Distance") \
  X(RSLayout, "Layout") \
  X(RSShow, "Show") \
  X(RSDiaryandQuickNotes, "Diary & Quick Notes") \
  X(RSQuickNotesOnly, "Quick Notes Only") \
  X(RSDiaryOnly, "Diary Only") \
  X(RSNone, "None") \
  X(RSDownloadNewLayouts, "Download New Layouts") \
  X(RSOptions, "Options") \
  X(RSChange, "Change") \
  X(RSCleanup, "Cleanup") \
  X(RSDeletenotesolderthan, "Delete notes older than") \
  X(RSoneday, "one day") \
  X(RSoneweek, "one week") \
  X(RSonemonth, "one month") \
  X(RSthreemonths, "three months") \
  X(RSayear, "a year") \
  X(RSKeyboardShortcuts, "Keyboard Shortcuts") \
  X(RSEditQuickNotes, "Edit Quick Notes") \
  X(RSOpenDiary, "Open Diary") \
  X(RSShowHideNotes, "Show/Hide Notes") \
  X(RSAddReminder, "Add Reminder") \
  X(RSSetDiaryDefaultStyle, "Set Diary Default Style") \
  X(RSUseLongDateFormat, "Use Long Date Format") \
  X(RSImportantDatesandHolidays, "Important Dates && Holidays") \
  X(RSAdd, "Add") \
  X(RSSpecial, "Special") \
  X(RSNotavelConnectivity, "Notavel Connectivity") \
  X(RSUseNotavelDiaryandPasswordSettings, "Use Notavel Diary and Password Settings") \
  X(RSUseNotavelDiaryandPasswordSettingsLABEL1, "If this option is checked Mirova Calendar will display Notavel entries on your desktop." "\r\n" "You will be able to browse Diary entries within Mirova Calendar as read only files." "\r\n" "Use Notavel to add or edit Diary entries") \
  X(RSUseNotavelDiaryandPasswordSettingsLABEL2, "Checking this option will also override Mirova Calendar password settings!" "\r\n" "Both programs will use Notavel password!") \
  X(RSImportfromotherKelVoroprogramsorfiles, "Import from other Kel Voro programs or files") \
  X(RSImportfromotherKelVoroprogramsorfilesLABEL1, "If you prefer to use Mirova Calendar built in Diary, you can import" "\r\n" "Notavel entries by clicking this button.") \
  X(RSImportfromotherKelVoroprogramsorfilesLABEL2, "If you already use some Kel Voro program with built in holiday tracking" "\r\n" "(like Ormada), you can import holiday files here.") \
  X(RSImportNotavelDiary, "Import Notavel Diary") \
  X(RSImportHolidays, "Import Holidays") \
  X(RSTroubleshootingChangeOnly, "Troubleshooting (change only if default settings are not working)") \
  X(RSLocateNotavel, "Locate Notavel") \
  X(RSToday, "Today") \
  X(RSDeleteAllReminders, "Delete All Reminders") \
  X(RSEditReminders, "Edit Reminders") \
  X(RSHideNotes, "Hide Notes") \
  X(RSTransparentDesktopIcons, "Transparent Desktop Icons") \
  X(RSHideDesktopIcons, "Hide Desktop Icons") \
  X(RSStartDefaultScreenSaver, "Start Default Screen Saver") \
  X(RSStartMirovaCalendarScreenSaver, "Start Mirova Calendar Screen Saver") \
  X(RSRunatStartupOptions, "Run at Startup Options") \
  X(RSOpenQuickNotes, "Open Quick Notes") \
  X(RSTrayMenu, "&Menu") \
  X(RSNoTrayHere, "No tray icon:") \
  X(RSNoTrayTitle, "Mirova Calendar runs without a tray icon") \
  X(RSNoTray, "This desktop shows no notification area (tray) for the program's icon. Mirova Calendar keeps running: start it again to open its window, where the Menu button holds the tray menu, Exit included.") \
  X(RSSNotInstalled, "%s is not installed!") \
  X(RSNoImagesError, "Error: No images!") \
  X(RSAreYouSureDeleteImageSet, "Are you sure you want to delete %s image set?") \
  X(RSCannotDeleteLastImageSet, "You cannot delete last image set!") \
  X(RSOnce, "Once") \
  X(RSEveryYear, "Every Year") \
  X(RSAreYouSureDeleteHoliday, "Are you sure you want to delete selected holiday?") \
  X(RSAreYouSureDeleteHolidays, "Are you sure you want to delete all holidays?") \
  X(RSMirovaCalendarDiaryReadOnlyMsg, "Mirova Calendar is currently set to display Notavel Diary entries." "\r\n" "You must use Notavel to add or edit entries. To disable this option go to" "\r\n" "\"Special\" tab and uncheck \"Use Notavel Diary and Password Settings\".") \
  X(RSAllFiles, "All files") \
  X(RSProgramFiles, "Program files") \
  X(RSTextDefBrowser1, "This program automatically detects your default browser and e-mail software. However, due to some incompatibility reasons program may be unable to perform this action correctly.") \
  X(RSTextDefBrowser2, "If that is the case on your system (or you simply prefer to use another browser or mailer with the program) select needed programs by clicking \"Find\". You can always turn back to original settings by clicking on \"Use Automatic Settings\".") \
  X(RSTextDefBrowser3, "To test the performance of new settings, click \"Test\"") \
  X(RSCurrentWebBrowserSettings, "Current Web Browser Settings") \
  X(RSFindBrowser, "Find Browser") \
  X(RSFindMail, "Find Mailer") \
  X(RSAutomaticSettings, "Automatic Settings") \
  X(RSUseAutomaticSettings, "Use Automatic Settings") \
  X(RSTest, "Test") \
  X(RSCurrentMailProgramSettings, "Current Mail Program Settings") \
  X(RSCannotCreateFile, "Cannot create file ") \
  X(RSImageSetAlreadyExists, "Image set with the same name already exists!") \
  X(RSInvalidImageSetName, "This name cannot be used for an image set file!") \
  X(RSPicturesNotAdded, "These pictures cannot be read and were not added:") \
  X(RSReminderSetup, "Reminder Setup") \
  X(RSStartDate, "Start Date") \
  X(RSStartTime, "Start Time") \
  X(RSStartOnce, "Start Once") \
  X(RSStartatselectedtime, "Start at selected time") \
  X(RSStartatcomputerstartuponly, "Start at computer startup only") \
  X(RSSound, "Sound") \
  X(RSCreateNewImageSet, "Create New Image Set") \
  X(RSEnterImageSetName, "Enter Image Set Name") \
  X(RSUndo, "Undo") \
  X(RSSelectAll, "Select All") \
  X(RSCut, "Cut") \
  X(RSCopy, "Copy") \
  X(RSPaste, "Paste") \
  X(RSPasteSpecial, "Paste Special") \
  X(RSInsertObject, "Insert Object") \
  X(RSInsertIcon, "Insert Icon") \
  X(RSObjectProperties, "Object Properties") \
  X(RSSaveToRTF, "Save to RTF") \
  X(RSBold, "Bold") \
  X(RSItalic, "Italic") \
  X(RSUnderline, "Underline") \
  X(RSColor, "Color") \
  X(RSAlignLeft, "Align Left") \
  X(RSAlignRight, "Align Right") \
  X(RSBullets, "Bullets") \
  X(RSInsertTime, "Insert Time") \
  X(RSPrintQuickNotes, "Print Quick Notes") \
  X(RSLeft, "Left") \
  X(RSRight, "Right") \
  X(RSTop, "Top") \
  X(RSBottom, "Bottom") \
  X(RSPrint, "Print") \
  X(RSPrinterSetup, "Printer Setup") \
  X(RSNoPrintersInstalled, "No printers installed") \
  X(RSSelectedPrinter, "Selected Printer") \
  X(RSPrintcurrententryonly, "Print current entry only") \
  X(RSPrintcontentofallentries, "Print content of all entries") \
  X(RSPrintselectedfoundsetonly, "Print selected (found) set") \
  X(RSEnablemultiplenotesoneachpage, "Enable multiple notes on each page") \
  X(RSMargins, "Margins") \
  X(RSInches, "Inches") \
  X(RSCentimeters, "Centimeters") \
  X(RSNumberOfCopies, "Number of copies") \
  X(RSInvalidMarginFormat, "Invalid margin format!") \
  X(RSBrowse, "Browse") \
  X(RSMultipleFiles, "Multiple fiels") \
  X(RSImportIcons, "Import Icons") \
  X(RSFavoriteIcons, "Favorite Icons") \
  X(RSRemovefromfavorites, "Remove from favorites") \
  X(RSImportfromfile, "Import from file") \
  X(RSLookforiconsinthisfile, "Look for icons in this file") \
  X(RSAddtofavorites, "Add to favorites") \
  X(RSViewfavorites, "View favorites") \
  X(RSDocumentDamagedItems, "%s was damaged. The %d entries before the damage were recovered; the damaged file will be kept beside it as a copy when you save.") \
  X(RSDocumentDamaged, "%s was damaged. What came before the damage was recovered; the damaged file will be kept beside it as a copy when you save.") \
  X(RSDocumentTooLarge, "It is larger than the program can read back (at most %d MB of text).") \
  X(RSDocumentTooDense, "It holds more entries than the program can read back.") \
  X(RSDocumentTooLargeToRead, "%s holds more than the program can read from a file of its size, so it was not loaded. It will be kept beside it as a copy when you save.") \
  X(RSCannotSaveIn, "Nothing can be saved in %s.") \
  X(RSExitUnsaved, "What could not be saved is lost when the program ends. Exit anyway?") \
  X(RSKeptInstead, "What could not be saved when the program last ended is kept in %s. Copy it into %s to use it again.")

class TKVLanguageResource : public TPersistent {
  KV_CLASS(TKVLanguageResource)
 public:
#define KV_DECLARE_SLOT(name, text) QString name;
  KV_LANGUAGE_SLOTS(KV_DECLARE_SLOT)
#undef KV_DECLARE_SLOT

  TKVLanguageResource() = default;
  // Copies every text from another table; any other source raises EConvertError.
  void Assign(const TKVLanguageResource& source);
  void Assign(const TPersistent& source) override;
  // Puts the English text into every slot.
  void SetDefaultTexts();
};

// The one table of the process, created with its English texts on first use.
TKVLanguageResource& LanguageResource();

// Routines that rebuild texts derived from the table; run by NotifyLanguageChanged.
int AddLanguageChangeHandler(std::function<void()> handler);
void RemoveLanguageChangeHandler(int id);
void NotifyLanguageChanged();
