#pragma once
// Modal message boxes. All of them go through MessageBoxA, so that a test can record the text
// and answer at once instead of waiting for a click.

#include <functional>
#include <string>

#include "platform/windows_types.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
constexpr int IDOK = 1;

struct MessageBoxCall {
  std::string text;
  std::string caption;
  UINT type;
};

// Shows a modal box with an OK button and returns IDOK once it is closed. owner may be null.
int MessageBoxA(void* owner, const char* text, const char* caption, UINT type);
// Shows text with the application title "Corvane" as caption.
void ShowMessage(const std::string& text);

// While a hook is set, message boxes are not shown: the hook receives the call and the box
// answers IDOK at once. An empty function removes the hook.
void SetMessageBoxHook(std::function<void(const MessageBoxCall&)> hook);
