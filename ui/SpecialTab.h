#pragma once
// The Special page of the settings window: the link to the other product's diary (shown
// read-only while it is on), the import controls (no behaviour: disabled) and the Internet
// settings.
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class TMirModel;

struct TSpecialTabHooks {
  // Switches the diary to the linked one (true) or back to the own one; false when the switch
  // could not be made (the diary shown until then could not be saved), and the box goes back.
  std::function<bool(bool Linked)> SwitchDiary;
};

class TSpecialTab : public QWidget {
  Q_OBJECT
 public:
  TSpecialTab(TMirModel& Model, TSpecialTabHooks Hooks, QWidget* parent = nullptr);

  // Start-up: the check box shows the setting, the label the other product's folder.
  void InitializePage();
  // A change of the check box is stored and the diary follows it.
  void UseNotavelDiaryChkClick();
  // The Internet settings dialog; its choice is saved with the settings on OK.
  void InternetSettingsBtnClick();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void ApplyTexts();
  void ShowNotavelPath();

  TMirModel& model_;
  TSpecialTabHooks hooks_;
  QCheckBox* useNotavelDiaryChk_;
  QLabel* notavelPathLabel_;
  QPushButton* internetSettingsBtn_;
};
