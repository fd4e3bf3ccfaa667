#include "app/Global.h"
#include "app/MainWindowView.h"
#include "capture/RecordWave.h"
#include "display/Graph.h"
#include "dsp/FFT.h"
#include "dsp/Trigger.h"

void ComposeFrame() {
  FindTriggerPoints();
  DrawTimeBackground();
  // With both spectra hidden nothing is computed; the last picture is copied again below.
  if (FormMain->IsChecked(DisplayCheckBox::F1) || FormMain->IsChecked(DisplayCheckBox::F2)) {
    ComputeSpectrum();
    DrawFreqBackground();
    DrawSpectrumTraces();
  }
  DrawTimeTraces();
  CopyBitmapsToWindow();
}
