#include "app/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>
#include <string>

#include "app/Assets.h"
#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/WindowStyle.h"
#include "app/main.h"
#include "capture/RecordWave.h"
#include "platform/messagebox.h"
#include "platform/wavein.h"

namespace {

constexpr int DesignLeft = 264;
constexpr int DesignTop = 155;
// The designed outer size of 334 x 237 less a Windows frame of 4 pixels and a 19-pixel
// caption: Qt sizes the client area and the window manager adds its own frame.
constexpr int ClientWidth = 326;
constexpr int ClientHeight = 210;

// A bevel that shows only its bottom line: a lowered rule along the lower edge of its box. The
// rule starts clear of the label before it, which may have grown to fit its text.
QFrame* MakeBottomLine(QWidget* parent, const QLabel* before, int left, int top, int width,
                       int height) {
  constexpr int RuleHeight = 2;
  constexpr int Gap = 4;
  const int start = std::max(left, before->geometry().right() + 1 + Gap);
  auto* rule = new QFrame(parent);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  rule->setGeometry(start, top + height - RuleHeight, left + width - start, RuleHeight);
  return rule;
}

std::string NameOfEntry(int index) {
  return DeviceName(InputDeviceCaps[static_cast<std::size_t>(index)]);
}

}  // namespace

TFormSettings::TFormSettings(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("Settings"));
  setWindowIcon(ProgramIcon());
  setFont(WindowFont());
  move(DesignLeft, DesignTop);
  resize(ClientWidth, ClientHeight);

  LabDeviceIn = MakeLabel(this, "Audio Device", 28, 12, 64, 13);
  Bevel1 = MakeBottomLine(this, LabDeviceIn, 96, 12, 203, 9);
  CmbBoxInDev = new QComboBox(this);
  CmbBoxInDev->setEditable(true);
  CmbBoxInDev->setInsertPolicy(QComboBox::NoInsert);
  CmbBoxInDev->setGeometry(28, 38, 171, 21);
  // An editable box looks its shown text up in the list when Return is pressed or the focus
  // leaves it, and chooses the entry it finds. FormShow shows device 0's name with no entry
  // chosen, so that lookup would choose device 0 unasked; the text is never taken as a choice.
  QLineEdit* const edit = CmbBoxInDev->lineEdit();
  disconnect(edit, &QLineEdit::editingFinished, CmbBoxInDev, nullptr);
  disconnect(edit, &QLineEdit::returnPressed, CmbBoxInDev, nullptr);
  ChBoxDCoffset = MakeCheckBox(this, "DC offset", false, 222, 40, 67, 17);
  Labsynco = MakeLabel(this, "Synchronization", 28, 76, 75, 13);
  Bevel3 = MakeBottomLine(this, Labsynco, 106, 66, 191, 19);
  ChBoxSyncro1 = MakeCheckBox(this, "1 Channel", true, 66, 98, 79, 19);
  ChBoxSyncro2 = MakeCheckBox(this, "2 Channel", false, 190, 98, 71, 19);
  BtnOK = new QPushButton(QStringLiteral("OK"), this);
  BtnOK->setGeometry(132, 146, 69, 25);

  setTabOrder(CmbBoxInDev, BtnOK);
  setTabOrder(BtnOK, ChBoxDCoffset);
  setTabOrder(ChBoxDCoffset, ChBoxSyncro1);
  setTabOrder(ChBoxSyncro1, ChBoxSyncro2);

  // activated comes only from a choice in the list (mouse or arrow keys), never from typed text
  // or from the dialog's own selection.
  connect(CmbBoxInDev, &QComboBox::activated, this, [this] { CmbBoxInDevChange(); });
  connect(ChBoxDCoffset, &QCheckBox::toggled, this, [this] { ChBoxDCoffsetClick(); });
  connect(ChBoxSyncro1, &QCheckBox::toggled, this, [this] { ChBoxSyncro1Click(); });
  connect(ChBoxSyncro2, &QCheckBox::toggled, this, [this] { ChBoxSyncro2Click(); });
  connect(BtnOK, &QPushButton::clicked, this, [this] { BtnOKClick(); });
  FormSettings = this;
}

TFormSettings::~TFormSettings() {
  if (FormSettings == this) FormSettings = nullptr;
}

void TFormSettings::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A spontaneous show is the window system restoring a minimised window, not a new showing.
  if (!event->spontaneous()) FormShow();
}

void TFormSettings::FormShow() {
  CmbBoxInDev->clear();
  const int listed = std::min(ListInputDevices(), DeviceCapsEntries);
  for (int d = 0; d < listed; ++d) {
    QueryDeviceCaps(d);
    CmbBoxInDev->addItem(QString::fromStdString(NameOfEntry(d)));
  }
  CmbBoxInDev->setCurrentIndex(-1);
  CmbBoxInDev->setEditText(QString::fromStdString(NameOfEntry(0)));
  UpdateDeviceBox();
}

void TFormSettings::UpdateDeviceBox() {
  // Also closed after STOP until the loop has let the device go: a START in the same pass
  // over the messages carries the old run on.
  if (Capturing == 1 || CaptureRunActive()) {
    CmbBoxInDev->setEnabled(false);
  } else if (Capturing == 0) {
    CmbBoxInDev->setEnabled(true);
  }
}

void TFormSettings::CmbBoxInDevChange() {
  const int chosen = CmbBoxInDev->currentIndex();
  if (chosen < 0) return;
  DeviceIndex = chosen;
  DeviceChosen = 1;
  QueryDeviceCaps(DeviceIndex);
  ChooseSampleRate();
  if (SampleRate == 0) {
    ShowMessage("Unsuitable Audio Device!");
    // Back to the start-up choice: device 0, whichever device that is.
    DeviceIndex = 0;
    DeviceChosen = 0;
    QueryDeviceCaps(0);
    ChooseSampleRate();
    CmbBoxInDev->setCurrentIndex(0);
  }
  // The dialog's own prefix, not the "Corvane - " of start-up, on purpose: the caption shows
  // the choice just made until the main window's timer writes device 0's name back.
  if (FormMain != nullptr) FormMain->SetWindowCaption("Lumidor - " + NameOfEntry(DeviceIndex));
}

void TFormSettings::ChBoxDCoffsetClick() {
  if (ChBoxDCoffset->isChecked()) {
    OffsetCorrection = 1;
    OffsetMeasured = 0;
  } else {
    OffsetCorrection = 0;
    DcOffset1 = 0;
    DcOffset2 = 0;
  }
}

void TFormSettings::ChBoxSyncro1Click() { SyncChannel1 = ChBoxSyncro1->isChecked() ? 1 : 0; }

void TFormSettings::ChBoxSyncro2Click() { SyncChannel2 = ChBoxSyncro2->isChecked() ? 1 : 0; }

void TFormSettings::BtnOKClick() { close(); }
