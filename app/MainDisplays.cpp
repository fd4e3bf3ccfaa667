#include "app/main.h"

// The displays are drawn by a later change; until then paint, sliders and check boxes only
// keep their controls' state.
void TFormMain::FormPaint() {}

void TFormMain::FormCanResize() {}

void TFormMain::RedrawTimeDisplay() {}

void TFormMain::RedrawFreqDisplay() {}

void TFormMain::CheckBoxA1Click() {}

void TFormMain::CheckBoxA2Click() {}

void TFormMain::CheckBoxF1Click() {}

void TFormMain::CheckBoxF2Click() {}

void TFormMain::TBarAXChange() {}

void TFormMain::TBarAYChange() {}

void TFormMain::TBarFXChange() {}

void TFormMain::TBarFYChange() {}
