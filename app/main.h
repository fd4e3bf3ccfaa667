#pragma once
// The main window: control panels, the two display areas, the menu, the START/STOP button and
// the half-second timer. The capture loop runs inside BitBtnStartClick, and every other handler
// runs nested inside the loop's message processing.
//
// Its handlers are spread over files by subject: main.cpp (creation, timer, START/STOP,
// closing), MainDisplays.cpp (paint, resize, sliders, check boxes, redraws),
// MainSettingsFile.cpp (the settings file), MainMenuCommands.cpp (the menu commands).

#include <QMainWindow>
#include <QWidget>
#include <functional>
#include <string>

#include "app/MainWindowView.h"
#include "app/StartButton.h"
#include "app/WindowStyle.h"
#include "platform/canvas.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QSlider;
class QTimer;

// The client area below the menu bar: a bitmap that the program draws into and the widget
// shows as it stands.
class ClientArea final : public QWidget {
  Q_OBJECT
 public:
  explicit ClientArea(QWidget* parent);
  Bitmap& Surface() { return surface_; }
  // Called once the widget has its new size, its bitmap resized to match.
  std::function<void()> Resized;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  Bitmap surface_;
};

// A font colour of the START button that is no RGB value: the system's window-text colour,
// which the button starts with.
constexpr Color SystemWindowTextColor = 0xFF000008;

class TFormMain final : public QMainWindow, public MainWindowView {
  Q_OBJECT
 public:
  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  // MainWindowView
  [[nodiscard]] bool IsChecked(DisplayCheckBox box) const override;
  Canvas& WindowCanvas() override;
  void WindowChanged() override;
  [[nodiscard]] int ClientWidth() const override;
  [[nodiscard]] int ClientHeight() const override;
  [[nodiscard]] PanelBounds GetPanelBounds(DisplayPanel panel) const override;
  void SetPanelBounds(DisplayPanel panel, const PanelBounds& bounds) override;
  void SetStartButtonLeft(int left) override;
  void SetWindowCaption(const std::string& text) override;
  void ProcessMessages() override;

  [[nodiscard]] Color StartButtonFontColor() const { return startFontColor_; }

  // Controls, in their declaration order. Owned by Qt's parent chain.
  QCheckBox* CheckBoxA1 = nullptr;
  QCheckBox* CheckBoxA2 = nullptr;
  QCheckBox* CheckBoxF1 = nullptr;
  QCheckBox* CheckBoxF2 = nullptr;
  QLabel* LabTimeDomain = nullptr;
  QLabel* LabFreqPoints = nullptr;
  QLabel* LabTimePoints = nullptr;
  QLabel* LabFreqDomain = nullptr;
  QMenuBar* MainMenu1 = nullptr;
  QMenu* MenuFile = nullptr;
  QAction* MenuExit = nullptr;
  QMenu* MenuOptions = nullptr;
  QAction* MenuSettings = nullptr;
  QAction* MenuVolume = nullptr;
  QMenu* menuHelp = nullptr;
  QAction* menuContents = nullptr;
  QAction* menuAbout = nullptr;
  QFrame* PanelTime = nullptr;
  QFrame* PanelFreq = nullptr;
  QTimer* Timer1 = nullptr;
  QSlider* TBarAX = nullptr;
  QSlider* TBarAY = nullptr;
  QSlider* TBarFX = nullptr;
  QSlider* TBarFY = nullptr;
  QLabel* LabAX = nullptr;
  QLabel* LabAY = nullptr;
  QLabel* LabFY = nullptr;
  QLabel* LabFrequency = nullptr;
  QFrame* PanelControl = nullptr;
  StartButton* BitBtnStart = nullptr;
  QFrame* ShapeA1 = nullptr;
  QFrame* ShapeF1 = nullptr;
  QFrame* Shape1 = nullptr;
  QFrame* Shape2 = nullptr;

  // main.cpp
  void FormCreate();
  void FormShow();
  void FormCloseQuery();
  void FormDestroy();
  void BitBtnStartClick();
  void MenuExitClick();
  void Timer1Timer();

  // MainDisplays.cpp
  void FormPaint();
  void FormCanResize();
  void RedrawTimeDisplay();
  void RedrawFreqDisplay();
  void CheckBoxA1Click();
  void CheckBoxA2Click();
  void CheckBoxF1Click();
  void CheckBoxF2Click();
  void TBarAXChange();
  void TBarAYChange();
  void TBarFXChange();
  void TBarFYChange();

  // MainSettingsFile.cpp
  void LoadIniSettings();
  void SaveIniSettings();

  // MainMenuCommands.cpp
  void MenuVolumeClick();
  void MenuSettingsClick();
  void menuContentsClick();
  void menuAboutClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateMenu();
  void SetStartButtonFontColor(Color color);
  void ShowDeviceZeroCaption();
  // The settings dialog's device box follows every start and stop of a capture.
  void UpdateSettingsDeviceBox();

  ClientArea* clientArea_ = nullptr;
  Color startFontColor_ = SystemWindowTextColor;
  bool firstPaintDone_ = false;  // FormShow has run and the window has been painted once
};
