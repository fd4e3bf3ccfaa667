#include "platform/messagebox.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <utility>

namespace {

std::function<void(const MessageBoxCall&)>& Hook() {
  static std::function<void(const MessageBoxCall&)> hook;
  return hook;
}

}  // namespace

int MessageBoxA(void* owner, const char* text, const char* caption, UINT type) {
  const MessageBoxCall call{text != nullptr ? text : "", caption != nullptr ? caption : "", type};
  if (Hook()) {
    Hook()(call);
    return IDOK;
  }
  QMessageBox box(static_cast<QWidget*>(owner));
  box.setWindowTitle(QString::fromStdString(call.caption));
  // A path may hold '<' or '&': the text is shown as it is, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(call.text));
  box.setIcon((type & MB_ICONERROR) != 0 ? QMessageBox::Critical : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return IDOK;
}

void ShowMessage(const std::string& text) { MessageBoxA(nullptr, text.c_str(), "Corvane", MB_OK); }

void SetMessageBoxHook(std::function<void(const MessageBoxCall&)> hook) {
  Hook() = std::move(hook);
}
