#pragma once
// The settings dialog: input device, DC offset correction and the synchronising channels.
// Created hidden at start-up and shown modeless; every choice takes effect at once and goes
// straight into the program-wide state. The dialog never reads the flags back: after start-up
// its check boxes are their only writers, so the two stay in step.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QShowEvent;

class TFormSettings final : public QWidget {
  Q_OBJECT
 public:
  explicit TFormSettings(QWidget* parent = nullptr);
  ~TFormSettings() override;

  // Controls, top to bottom. Owned by the dialog.
  QLabel* LabDeviceIn = nullptr;
  QFrame* Bevel1 = nullptr;
  QComboBox* CmbBoxInDev = nullptr;
  QCheckBox* ChBoxDCoffset = nullptr;
  QLabel* Labsynco = nullptr;
  QFrame* Bevel3 = nullptr;
  QCheckBox* ChBoxSyncro1 = nullptr;
  QCheckBox* ChBoxSyncro2 = nullptr;
  QPushButton* BtnOK = nullptr;

  // Lists the devices (at most the 11 of the capability table), shows device 0's name with no
  // entry selected, and enables the device box only when no capture runs.
  void FormShow();
  // Disables the device box while a capture is wanted (Capturing 1) or a run still holds the
  // device, enables it when neither (Capturing 0). The main window calls it whenever it starts
  // or stops a capture.
  void UpdateDeviceBox();
  // A list entry was chosen: makes it the capture device, or falls back to device 0 with
  // "Unsuitable Audio Device!" when it offers neither rate. Neither text typed into the box nor
  // the name it shows ever gets here.
  void CmbBoxInDevChange();
  void ChBoxDCoffsetClick();
  void ChBoxSyncro1Click();
  void ChBoxSyncro2Click();
  void BtnOKClick();

 protected:
  void showEvent(QShowEvent* event) override;
};

// The dialog, while it exists.
inline TFormSettings* FormSettings = nullptr;
