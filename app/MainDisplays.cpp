#include <QLabel>
#include <QSlider>
#include <string>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/main.h"
#include "display/Graph.h"

void TFormMain::FormPaint() {
  LayoutDisplays();
  PaintWindowBackground();
  RedrawTimeDisplay();
  RedrawFreqDisplay();
}

// Runs from the window's Resize event before the client area takes its new size: the window
// has already changed, but the layout and the picture are made for the old client size. The
// client area's own resize then runs FormPaint for the new size.
void TFormMain::FormCanResize() { FormPaint(); }

void TFormMain::RedrawTimeDisplay() {
  DrawTimeBackground();
  DrawTimeFrame();
  DrawTimeTraces();
  CopyTimeBitmapToWindow();
  SetCaption(LabTimePoints, "Displayed Samples - " + std::to_string(SamplesShown));
}

void TFormMain::RedrawFreqDisplay() {
  DrawFreqBackground();
  DrawFreqFrame();
  DrawSpectrumTraces();
  CopyFreqBitmapToWindow();
  SetCaption(LabFreqPoints, "Displayed Harmonics - " + std::to_string(HarmonicsShown));
}

void TFormMain::CheckBoxA1Click() { RedrawTimeDisplay(); }

void TFormMain::CheckBoxA2Click() { RedrawTimeDisplay(); }

void TFormMain::CheckBoxF1Click() { RedrawFreqDisplay(); }

// Redraws at once like its neighbour: users expect the two boxes to behave alike.
void TFormMain::CheckBoxF2Click() { RedrawFreqDisplay(); }

void TFormMain::TBarAXChange() {
  TimeBaseMs = TimeBaseForPosition(TBarAX->value(), TimeBaseMs);
  RedrawTimeDisplay();
}

void TFormMain::TBarAYChange() {
  TimeVoltsScale = TimeVoltsScaleForPosition(TBarAY->value(), TimeVoltsScale);
  RedrawTimeDisplay();
}

void TFormMain::TBarFXChange() {
  FreqSpanKHz = FreqSpanForPosition(TBarFX->value(), FreqSpanKHz);
  RedrawFreqDisplay();
}

void TFormMain::TBarFYChange() {
  FreqLevelScale = FreqLevelScaleForPosition(TBarFY->value(), FreqLevelScale);
  RedrawFreqDisplay();
}
