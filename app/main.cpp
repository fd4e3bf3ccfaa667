#include "app/main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <utility>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/Settings.h"
#include "capture/RecordWave.h"
#include "platform/kernel.h"
#include "platform/messagebox.h"

namespace {

constexpr int DesignWidth = 702;
constexpr int DesignHeight = 580;
constexpr int MinimumWidth = 640;
constexpr int MinimumHeight = 580;
constexpr int TimerIntervalMs = 500;

QFrame* MakePanel(QWidget* parent, int left, int top, int width, int height) {
  auto* panel = new QFrame(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setLineWidth(1);
  SetBackground(panel, Silver);
  panel->setGeometry(left, top, width, height);
  return panel;
}

QSlider* MakeSlider(QWidget* parent, Qt::Orientation orientation, int maximum, int left, int top,
                    int width, int height) {
  auto* slider = new QSlider(orientation, parent);
  slider->setRange(1, maximum);
  slider->setValue(1);
  slider->setPageStep(1);
  slider->setTickInterval(1);
  slider->setTickPosition(QSlider::TicksBothSides);
  // Position 1 stands at the top of a vertical slider. Qt puts the minimum at the bottom and
  // lets Up and the wheel raise the value; with the scale turned over, the controls turn with it
  // so that Up, Page Up and the wheel moved up take the thumb up.
  if (orientation == Qt::Vertical) {
    slider->setInvertedAppearance(true);
    slider->setInvertedControls(true);
  }
  slider->setGeometry(left, top, width, height);
  return slider;
}

QFrame* MakeShape(QWidget* parent, Color color, int left, int top, int width, int height) {
  auto* shape = new QFrame(parent);
  SetBackground(shape, color);
  shape->setGeometry(left, top, width, height);
  return shape;
}

// The resize query. Qt hands a window's Resize event to the window's layout, which gives the
// client area its new size at once, before the window's own event filters and handlers see the
// event; only a filter of the application runs earlier. This one runs the query there: the
// window already has its new size, the client area and its bitmap still have the old one.
class ResizeQuery final : public QObject {
 public:
  ResizeQuery(QWidget* window, std::function<void()> query)
      : QObject(window), window_(window), query_(std::move(query)) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ResizeQuery(const ResizeQuery&) = delete;
  ResizeQuery& operator=(const ResizeQuery&) = delete;
  ~ResizeQuery() override {
    if (QCoreApplication* application = QCoreApplication::instance()) {
      application->removeEventFilter(this);
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_ || event->type() != QEvent::Resize) return false;
    const auto* resize = static_cast<const QResizeEvent*>(event);
    if (resize->size() != resize->oldSize()) query_();
    return false;
  }

 private:
  const QWidget* window_;
  std::function<void()> query_;
};

std::int32_t GetOsMajorVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  // A failed query counts as an old system.
  if (GetVersionExA(&info) == 0) return 0;
  return static_cast<std::int32_t>(info.dwMajorVersion);
}

}  // namespace

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void ClientArea::paintEvent(QPaintEvent* event) {
  if (surface_.Width() == 0 || surface_.Height() == 0) return;
  const QImage image(reinterpret_cast<const uchar*>(surface_.Bits()), surface_.Width(),
                     surface_.Height(), static_cast<qsizetype>(surface_.Width()) * 4,
                     QImage::Format_RGB32);
  QPainter painter(this);
  // In strips of fewer than 131072 pixels: Qt hands a larger image draw to a pool of threads,
  // and waking them for every block costs more than the copy.
  constexpr int StripPixels = 65536;
  const int stripRows = std::max(1, StripPixels / std::max(1, surface_.Width()));
  for (const QRect& rect : event->region()) {
    for (int top = rect.top(); top <= rect.bottom(); top += stripRows) {
      const QRect strip(rect.left(), top, rect.width(),
                        std::min(stripRows, rect.bottom() + 1 - top));
      painter.drawImage(strip, image, strip);
    }
  }
}

void ClientArea::resizeEvent(QResizeEvent* /*event*/) {
  surface_.SetSize(width(), height());
  if (Resized) Resized();
}

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Corvane"));
  setFont(WindowFont(SmallFontPixels));
  setPalette(WindowPalette());
  setMinimumSize(MinimumWidth, MinimumHeight);
  resize(DesignWidth, DesignHeight);
  clientArea_ = new ClientArea(this);
  setCentralWidget(clientArea_);
  CreateMenu();
  CreateControls();
  FormMain = this;
  FormCreate();
  // Sizes set before the first paint (the settings load sets one) paint nothing: the window is
  // not on the screen yet, and its first paint is to find the window's pen as it started.
  clientArea_->Resized = [this] {
    if (firstPaintDone_) FormPaint();
  };
  new ResizeQuery(this, [this] {
    if (firstPaintDone_) FormCanResize();
  });
}

TFormMain::~TFormMain() {
  FormDestroy();
  if (FormMain == this) FormMain = nullptr;
}

void TFormMain::CreateMenu() {
  MainMenu1 = menuBar();
  MenuFile = MainMenu1->addMenu(QStringLiteral("&File"));
  MenuExit = MenuFile->addAction(QStringLiteral("Exit"));
  MenuOptions = MainMenu1->addMenu(QStringLiteral("Options"));
  MenuVolume = MenuOptions->addAction(QStringLiteral("Volume Control..."));
  MenuSettings = MenuOptions->addAction(QStringLiteral("Settings..."));
  menuHelp = MainMenu1->addMenu(QStringLiteral("Help"));
  menuContents = menuHelp->addAction(QStringLiteral("Help Contents"));
  menuAbout = menuHelp->addAction(QStringLiteral("About..."));
  connect(MenuExit, &QAction::triggered, this, [this] { MenuExitClick(); });
  connect(MenuVolume, &QAction::triggered, this, [this] { MenuVolumeClick(); });
  connect(MenuSettings, &QAction::triggered, this, [this] { MenuSettingsClick(); });
  connect(menuContents, &QAction::triggered, this, [this] { menuContentsClick(); });
  connect(menuAbout, &QAction::triggered, this, [this] { menuAboutClick(); });
}

void TFormMain::CreateControls() {
  PanelTime = MakePanel(clientArea_, 10, 6, 165, 219);
  LabTimeDomain = MakeLabel(PanelTime, "Time Domain", 44, 12, 81, 16, LargeFontPixels, Maroon);
  LabAY = MakeLabel(PanelTime, "Y-amplitude", 50, 40, 72, 16, LargeFontPixels);
  TBarAY = MakeSlider(PanelTime, Qt::Vertical, 7, 10, 42, 31, 120);
  CheckBoxA1 = MakeCheckBox(PanelTime, "1ch", true, 72, 68, 41, 13, Yellow);
  ShapeA1 = MakeShape(PanelTime, Yellow, 122, 72, 29, 3);
  CheckBoxA2 = MakeCheckBox(PanelTime, "2ch", true, 72, 102, 41, 13, Lime);
  Shape2 = MakeShape(PanelTime, Lime, 122, 106, 29, 3);
  LabAX = MakeLabel(PanelTime, "X-time", 70, 146, 37, 16, LargeFontPixels);
  TBarAX = MakeSlider(PanelTime, Qt::Horizontal, 7, 26, 162, 120, 31);
  LabTimePoints = MakeLabel(PanelTime, "Displayed Samples - ", 10, 196, 98, 13, SmallFontPixels);

  PanelFreq = MakePanel(clientArea_, 178, 6, 165, 219);
  LabFreqDomain =
      MakeLabel(PanelFreq, "Frequency Domain", 24, 12, 114, 16, LargeFontPixels, Maroon);
  LabFY = MakeLabel(PanelFreq, "Y-amplitude", 50, 40, 72, 16, LargeFontPixels);
  TBarFY = MakeSlider(PanelFreq, Qt::Vertical, 7, 10, 42, 31, 120);
  CheckBoxF1 = MakeCheckBox(PanelFreq, "1ch", true, 72, 68, 43, 13, Yellow);
  ShapeF1 = MakeShape(PanelFreq, Yellow, 122, 72, 29, 3);
  CheckBoxF2 = MakeCheckBox(PanelFreq, "2ch", true, 72, 102, 43, 13, Lime);
  Shape1 = MakeShape(PanelFreq, Lime, 122, 106, 29, 3);
  LabFrequency = MakeLabel(PanelFreq, "X-frequency", 56, 146, 71, 16, LargeFontPixels);
  TBarFX = MakeSlider(PanelFreq, Qt::Horizontal, 5, 26, 162, 120, 31);
  LabFreqPoints =
      MakeLabel(PanelFreq, "Displayed Harmonics -  ", 10, 196, 111, 13, SmallFontPixels);

  PanelControl = MakePanel(clientArea_, 178, 230, 165, 37);
  BitBtnStart = new StartButton(QStringLiteral("START"), PanelControl);
  BitBtnStart->setFont(WindowFont(SmallFontPixels, true));
  BitBtnStart->setGeometry(44, 6, 75, 27);

  Timer1 = new QTimer(this);
  Timer1->setInterval(TimerIntervalMs);

  connect(BitBtnStart, &QPushButton::clicked, this, [this] { BitBtnStartClick(); });
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(CheckBoxA1, &QCheckBox::toggled, this, [this] { CheckBoxA1Click(); });
  connect(CheckBoxA2, &QCheckBox::toggled, this, [this] { CheckBoxA2Click(); });
  connect(CheckBoxF1, &QCheckBox::toggled, this, [this] { CheckBoxF1Click(); });
  connect(CheckBoxF2, &QCheckBox::toggled, this, [this] { CheckBoxF2Click(); });
  connect(TBarAX, &QSlider::valueChanged, this, [this] { TBarAXChange(); });
  connect(TBarAY, &QSlider::valueChanged, this, [this] { TBarAYChange(); });
  connect(TBarFX, &QSlider::valueChanged, this, [this] { TBarFXChange(); });
  connect(TBarFY, &QSlider::valueChanged, this, [this] { TBarFYChange(); });
  Timer1->start();
}

void TFormMain::FormCreate() {
  TimeBitmap = std::make_unique<Bitmap>();
  FreqBitmap = std::make_unique<Bitmap>();
  IsVistaOrLater = GetOsMajorVersion() >= 6 ? 1 : 0;
  SyncChannel1 = 1;
  if (waveInGetNumDevs() == 0) ShowMessage("No Input Audio Devices");
  DeviceIndex = 0;
  QueryDeviceCaps(0);
  ShowDeviceZeroCaption();
  ChooseSampleRate();
  TimeBaseMs = 10.0F;
  TimeVoltsScale = 100;
  FreqLevelScale = 100;
  FreqSpanKHz = 20;
  HarmonicsShown = Round(static_cast<long double>(FreqSpanKHz) * 1000 / BinWidthHz);
  SetCaption(LabFreqPoints, "Displayed Harmonics - " + std::to_string(HarmonicsShown));
  TimeWindowSamples = Round(static_cast<long double>(SampleRate) * 10 * TimeBaseMs / 1000);
  SampleStep = 4;
  SamplesShown = Round(static_cast<long double>(TimeWindowSamples) / SampleStep);
  SetCaption(LabTimePoints, "Displayed Samples - " + std::to_string(SamplesShown));
}

void TFormMain::FormShow() {
  LoadIniSettings();
  // Centred with the size the settings file gave.
  if (const QScreen* screen = this->screen()) {
    const QRect desktop = screen->availableGeometry();
    move(desktop.center() - QPoint(width() / 2, height() / 2));
  }
}

void TFormMain::FormCloseQuery() {
  Capturing = 0;
  ProcessMessages();
  // Cleared once more on purpose: a handler among the messages just processed may have set it
  // again, and the window must not close with a capture to go on.
  Capturing = 0;
  SaveIniSettings();
}

void TFormMain::FormDestroy() {
  // Only the registered window owns them (tests build one window while another still exists).
  if (FormMain != this) return;
  TimeBitmap.reset();
  FreqBitmap.reset();
}

void TFormMain::BitBtnStartClick() {
  if (Capturing == 1) {
    SetStartButtonFontColor(Black);
    BitBtnStart->setText(QStringLiteral("START"));
    Capturing = 0;
    UpdateSettingsDeviceBox();
    return;
  }
  // The button of a closing window is disabled: a click still queued starts nothing.
  if (Capturing != 0 || !BitBtnStart->isEnabled()) return;
  if (!CaptureRunActive() && SampleRate == 0) {
    ShowMessage("Failed to execute");
    return;
  }
  BitBtnStart->setText(QStringLiteral("STOP"));
  Capturing = 1;
  UpdateSettingsDeviceBox();
  // A START handled inside the running loop's message processing (STOP and START in one
  // pass) lets that loop carry on instead of opening the device a second time.
  if (CaptureRunActive()) return;
  RunCapture();
  // Back to idle, also when the device could not be opened.
  SetStartButtonFontColor(Black);
  BitBtnStart->setText(QStringLiteral("START"));
  UpdateSettingsDeviceBox();
}

void TFormMain::UpdateSettingsDeviceBox() {
  if (FormSettings != nullptr) FormSettings->UpdateDeviceBox();
}

void TFormMain::MenuExitClick() { close(); }

void TFormMain::Timer1Timer() {
  if (Capturing != 0) SetStartButtonFontColor(startFontColor_ == Black ? Red : Black);
  QueryDeviceCaps(0);
  ShowDeviceZeroCaption();
}

void TFormMain::ShowDeviceZeroCaption() {
  SetWindowCaption("Corvane - " + DeviceName(InputDeviceCaps[0]));
}

void TFormMain::SetStartButtonFontColor(Color color) {
  startFontColor_ = color;
  // The system's window-text colour is the one the palette holds.
  BitBtnStart->SetTextColor(color == SystemWindowTextColor ? QColor() : ToQColor(color));
}

void TFormMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstPaintDone_) return;
  FormShow();
  // Before the window reaches the screen, at the size the settings gave it; also before START
  // can be pressed.
  firstPaintDone_ = true;
  FormPaint();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  // A START click still queued must not open the device inside the close.
  BitBtnStart->setEnabled(false);
  FormCloseQuery();
  event->accept();
  // The dialogs may still be open; closing the main window ends the program all the same.
  QCoreApplication::quit();
}

bool TFormMain::IsChecked(DisplayCheckBox box) const {
  switch (box) {
    case DisplayCheckBox::A1:
      return CheckBoxA1->isChecked();
    case DisplayCheckBox::A2:
      return CheckBoxA2->isChecked();
    case DisplayCheckBox::F1:
      return CheckBoxF1->isChecked();
    case DisplayCheckBox::F2:
      return CheckBoxF2->isChecked();
  }
  return false;
}

Canvas& TFormMain::WindowCanvas() { return clientArea_->Surface().GetCanvas(); }

void TFormMain::WindowChanged() {
  // Only what was drawn: a block changes the two displays, and repainting the whole client
  // area would repaint the panels over it, labels, sliders and all, ten times a second.
  const PixelArea changed = clientArea_->Surface().TakeChangedArea();
  if (changed.Empty()) return;
  clientArea_->update(changed.left, changed.top, changed.right - changed.left,
                      changed.bottom - changed.top);
}

int TFormMain::ClientWidth() const { return clientArea_->width(); }

int TFormMain::ClientHeight() const { return clientArea_->height(); }

PanelBounds TFormMain::GetPanelBounds(DisplayPanel panel) const {
  const QFrame* frame = panel == DisplayPanel::Time   ? PanelTime
                        : panel == DisplayPanel::Freq ? PanelFreq
                                                      : PanelControl;
  const QRect rect = frame->geometry();
  return {rect.left(), rect.top(), rect.width(), rect.height()};
}

void TFormMain::SetPanelBounds(DisplayPanel panel, const PanelBounds& bounds) {
  QFrame* frame = panel == DisplayPanel::Time   ? PanelTime
                  : panel == DisplayPanel::Freq ? PanelFreq
                                                : PanelControl;
  frame->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
}

void TFormMain::SetStartButtonLeft(int left) { BitBtnStart->move(left, BitBtnStart->y()); }

void TFormMain::SetWindowCaption(const std::string& text) {
  setWindowTitle(QString::fromStdString(text));
}

void TFormMain::ProcessMessages() { QCoreApplication::processEvents(); }
