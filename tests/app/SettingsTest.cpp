// The settings dialog under Qt Test, over scripted devices, with the main window beside it.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/Settings.h"
#include "app/main.h"
#include "platform/messagebox.h"
#include "platform/wavein/scripted_device.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

constexpr DWORD Both = WAVE_FORMAT_2S16 | WAVE_FORMAT_4S16;
constexpr DWORD Only22k = WAVE_FORMAT_2S16;
constexpr DWORD Only44k = WAVE_FORMAT_4S16;
constexpr DWORD Neither = WAVE_FORMAT_2M16 | WAVE_FORMAT_4M16 | WAVE_FORMAT_1S16;

class SettingsDialogTest : public ProgramWindowsTest {
 protected:
  [[nodiscard]] QComboBox* Box() const { return dialog_->CmbBoxInDev; }
  [[nodiscard]] std::vector<std::string> ListedNames() const {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(Box()->count()));
    for (int i = 0; i < Box()->count(); ++i) names.push_back(Box()->itemText(i).toStdString());
    return names;
  }
  [[nodiscard]] std::string Caption() const { return form_->windowTitle().toStdString(); }
  // Picks a list entry with the mouse, from the box's drop-down list.
  void Choose(int index) const {
    Box()->showPopup();
    QAbstractItemView* list = Box()->view();
    const QRect entry = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
  }
  static void Click(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 8)); }
  // "Settings..." from the main window, and the dialog active as the window system leaves it.
  void OpenActive() const {
    form_->MenuSettingsClick();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  }
};

TEST_F(SettingsDialogTest, OpeningListsTheDevicesInOrderAndShowsDeviceZeroUnselected) {
  AddDevice("Line In", Both);
  AddDevice("USB Microphone", Only22k);
  AddDevice("Monitor", Both);
  CreateWindows();
  DeviceIndex = 2;
  dialog_->show();
  EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Line In", "USB Microphone", "Monitor"}));
  EXPECT_EQ(Box()->currentIndex(), -1);
  EXPECT_EQ(Box()->currentText().toStdString(), "Line In");
  EXPECT_EQ(DeviceIndex, 2);
  EXPECT_EQ(DeviceName(InputDeviceCaps[1]), "USB Microphone");
  EXPECT_EQ(InputDeviceCaps[1].dwFormats, Only22k);
  EXPECT_TRUE(messages_.empty());
}

// As a user meets the dialog: shown by the menu, active, the box holding the focus. The name
// it shows on reopening is device 0's with no entry chosen; neither Return on it nor the focus
// leaving the box, by Tab or by a click on the main window, may choose that device.
TEST_F(SettingsDialogTest, OnlyAChoiceFromTheListChangesTheDeviceOfAnActiveDialog) {
  const auto lineIn = AddDevice("Line In", Both);
  AddDevice("Mono In", WAVE_FORMAT_2M16);
  const auto webcam = AddDevice("Webcam", Only22k);
  CreateWindows();
  form_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  OpenActive();
  Choose(2);
  ASSERT_EQ(DeviceIndex, 2);
  QTest::mouseClick(dialog_->BtnOK, Qt::LeftButton);
  ASSERT_FALSE(dialog_->isVisible());

  OpenActive();
  ASSERT_EQ(Box()->currentText().toStdString(), "Line In");
  QTest::mouseClick(Box()->lineEdit(), Qt::LeftButton);
  ASSERT_TRUE(Box()->hasFocus());
  QTest::keyClick(Box(), Qt::Key_Return);
  QTest::keyClick(Box(), Qt::Key_Enter);
  QTest::keyClick(Box(), Qt::Key_Tab);
  EXPECT_TRUE(dialog_->BtnOK->hasFocus());
  EXPECT_EQ(DeviceIndex, 2) << "Return or Tab chose a device";

  QTest::mouseClick(Box()->lineEdit(), Qt::LeftButton);
  ASSERT_TRUE(Box()->hasFocus());
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  QTest::mouseClick(form_->centralWidget(), Qt::LeftButton);
  EXPECT_FALSE(Box()->hasFocus());
  EXPECT_EQ(DeviceIndex, 2) << "the focus leaving the box chose a device";

  QTimer::singleShot(0, form_.get(), [this] { form_->BitBtnStart->click(); });
  form_->BitBtnStartClick();
  EXPECT_EQ(webcam->OpenCount(), 1);
  EXPECT_EQ(lineIn->OpenCount(), 0);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsDialogTest, TheListHoldsAtMostTheElevenDevicesOfTheTable) {
  for (int i = 0; i < 13; ++i) AddDevice("Device " + std::to_string(i), Both);
  CreateWindows();
  dialog_->show();
  EXPECT_EQ(Box()->count(), DeviceCapsEntries);
  EXPECT_EQ(Box()->itemText(10).toStdString(), "Device 10");
}

TEST_F(SettingsDialogTest, TheDeviceBoxIsDisabledExactlyWhileCapturing) {
  const auto device = AddDevice("Line In", Both);
  CreateWindows();
  dialog_->show();
  EXPECT_TRUE(Box()->isEnabled());
  dialog_->hide();

  bool disabledWhenOpened = false;
  bool disabledWhenOpenedAgain = false;
  QTimer::singleShot(0, [&] {
    form_->MenuSettingsClick();
    disabledWhenOpened = !Box()->isEnabled();
    dialog_->hide();
    form_->MenuSettingsClick();
    disabledWhenOpenedAgain = !Box()->isEnabled();
    form_->BitBtnStartClick();  // STOP
  });
  form_->BitBtnStartClick();
  EXPECT_TRUE(disabledWhenOpened);
  EXPECT_TRUE(disabledWhenOpenedAgain);
  EXPECT_EQ(device->OpenCount(), 1);
  EXPECT_TRUE(Box()->isEnabled());
  dialog_->hide();
  dialog_->show();
  EXPECT_TRUE(Box()->isEnabled());
}

TEST_F(SettingsDialogTest, ASuitableDeviceBecomesTheCaptureDeviceWithoutAMessage) {
  struct Case {
    DWORD formats;
    std::uint32_t rate;
  };
  for (const Case& c : {Case{Only22k, 22050}, Case{Only44k, 44100}, Case{Both, 44100}}) {
    ClearScriptedWaveIns();
    AddDevice("Line In", Both);
    AddDevice("USB Microphone", c.formats);
    CreateWindows();
    dialog_->show();
    Choose(1);
    EXPECT_EQ(DeviceIndex, 1);
    EXPECT_EQ(SampleRate, c.rate);
    EXPECT_EQ(Has22kStereo16, (c.formats & Only22k) != 0 ? 1 : 0);
    EXPECT_EQ(Has44kStereo16, (c.formats & Only44k) != 0 ? 1 : 0);
    EXPECT_EQ(Box()->currentIndex(), 1);
    EXPECT_EQ(Caption(), "Lumidor - USB Microphone");
    EXPECT_TRUE(messages_.empty());
  }
}

TEST_F(SettingsDialogTest, AnUnsuitableDeviceGivesTheMessageAndFallsBackToDeviceZero) {
  AddDevice("Line In", Only22k);
  AddDevice("Mono Only", Neither);
  CreateWindows();
  dialog_->show();
  Choose(1);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Unsuitable Audio Device!"}));
  EXPECT_EQ(DeviceIndex, 0);
  EXPECT_EQ(SampleRate, 22050U);
  EXPECT_EQ(Box()->currentIndex(), 0);
  EXPECT_EQ(Box()->currentText().toStdString(), "Line In");
  EXPECT_EQ(Caption(), "Lumidor - Line In");
}

TEST_F(SettingsDialogTest, WhenDeviceZeroIsUnsuitableTooTheRateStaysZeroWithOneMessage) {
  AddDevice("Mono In", Neither);
  AddDevice("Mono Only", Neither);
  CreateWindows();
  dialog_->show();
  Choose(1);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Unsuitable Audio Device!"}));
  EXPECT_EQ(DeviceIndex, 0);
  EXPECT_EQ(SampleRate, 0U);
  EXPECT_EQ(Caption(), "Lumidor - Mono In");
}

// Typed text is no choice, not even the name of an entry, with the focus then leaving the box.
TEST_F(SettingsDialogTest, TextTypedIntoTheBoxChoosesNoDevice) {
  AddDevice("Line In", Both);
  AddDevice("USB Microphone", Only22k);
  CreateWindows();
  OpenActive();
  QTest::mouseClick(Box()->lineEdit(), Qt::LeftButton);
  ASSERT_TRUE(Box()->hasFocus());
  for (const char* typed : {"Nothing like it", "USB Microphone"}) {
    Box()->lineEdit()->selectAll();
    QTest::keyClicks(Box(), typed);
    ASSERT_EQ(Box()->currentText().toStdString(), typed);
    QTest::keyClick(Box(), Qt::Key_Return);
    QTest::keyClick(Box(), Qt::Key_Tab);
    QTest::mouseClick(Box()->lineEdit(), Qt::LeftButton);
  }
  EXPECT_EQ(Box()->count(), 2);
  EXPECT_EQ(Box()->currentIndex(), -1);
  EXPECT_EQ(DeviceIndex, 0);
  EXPECT_EQ(SampleRate, 44100U);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Caption(), "Corvane - Line In");
}

TEST_F(SettingsDialogTest, TheCheckBoxesWriteTheirFlagsAndKeepTheirState) {
  AddDevice("Line In", Both);
  CreateWindows();
  dialog_->show();
  EXPECT_EQ(SyncChannel1, 1);
  EXPECT_TRUE(dialog_->ChBoxSyncro1->isChecked());
  EXPECT_FALSE(dialog_->ChBoxSyncro2->isChecked());
  EXPECT_FALSE(dialog_->ChBoxDCoffset->isChecked());

  Click(dialog_->ChBoxSyncro1);
  EXPECT_EQ(SyncChannel1, 0);
  Click(dialog_->ChBoxSyncro2);
  EXPECT_EQ(SyncChannel2, 1);

  OffsetMeasured = 1;
  DcOffset1 = 12;
  DcOffset2 = -7;
  Click(dialog_->ChBoxDCoffset);
  EXPECT_EQ(OffsetCorrection, 1);
  EXPECT_EQ(OffsetMeasured, 0);
  EXPECT_EQ(DcOffset1, 12);  // measured anew, not cleared, when switched on
  OffsetMeasured = 1;
  Click(dialog_->ChBoxDCoffset);
  EXPECT_EQ(OffsetCorrection, 0);
  EXPECT_EQ(DcOffset1, 0);
  EXPECT_EQ(DcOffset2, 0);
  Click(dialog_->ChBoxDCoffset);

  QTest::mouseClick(dialog_->BtnOK, Qt::LeftButton);
  EXPECT_FALSE(dialog_->isVisible());
  form_->MenuSettingsClick();
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_FALSE(dialog_->ChBoxSyncro1->isChecked());
  EXPECT_TRUE(dialog_->ChBoxSyncro2->isChecked());
  EXPECT_TRUE(dialog_->ChBoxDCoffset->isChecked());
  EXPECT_EQ(SyncChannel1, 0);
  EXPECT_EQ(SyncChannel2, 1);
  EXPECT_EQ(OffsetCorrection, 1);
}

// "Settings..." on a minimised dialog brings it back as it was left: a window restored, not a
// new showing that would list the devices again.
TEST_F(SettingsDialogTest, SettingsBringsAMinimisedDialogBack) {
  AddDevice("Line In", Both);
  CreateWindows();
  form_->MenuSettingsClick();
  Box()->setEditText(QStringLiteral("typed"));
  dialog_->showMinimized();
  ASSERT_TRUE(dialog_->isMinimized());
  form_->MenuSettingsClick();
  EXPECT_FALSE(dialog_->isMinimized());
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(Box()->currentText().toStdString(), "typed");
}

TEST_F(SettingsDialogTest, TabGoesFromTheDeviceBoxToOkAndThenTheCheckBoxes) {
  AddDevice("Line In", Both);
  CreateWindows();
  dialog_->show();
  const std::vector<QWidget*> expected{Box(), dialog_->BtnOK, dialog_->ChBoxDCoffset,
                                       dialog_->ChBoxSyncro1, dialog_->ChBoxSyncro2};
  // The focus chain runs through every widget of the dialog once; keep the five in its order.
  std::vector<QWidget*> order;
  QWidget* widget = Box();
  do {
    if (std::find(expected.begin(), expected.end(), widget) != expected.end()) {
      order.push_back(widget);
    }
    widget = widget->nextInFocusChain();
  } while (widget != Box());
  EXPECT_EQ(order, expected);
}

}  // namespace
