// Message boxes on the offscreen platform, shown for real and answered from a zero timer.
#include "platform/messagebox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <string>

namespace {

struct ShownBox {
  bool shown = false;
  Qt::TextFormat format = Qt::AutoText;
  std::string text;
  std::string caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Shows the box and records it as the user sees it before pressing OK.
ShownBox Show(const char* text, UINT type) {
  ShownBox seen;
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen = {true, box->textFormat(), box->text().toStdString(), box->windowTitle().toStdString(),
            box->icon()};
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(MessageBoxA(nullptr, text, "Corvane", type), IDOK);
  return seen;
}

TEST(MessageBoxTest, TextThatLooksLikeMarkupIsShownAsItIs) {
  const char* const path = "Unable to write to /home/<b>x</b>/a&amp;b<br>.INI.";
  ASSERT_TRUE(Qt::mightBeRichText(QString::fromUtf8(path)));
  const ShownBox box = Show(path, MB_OK | MB_ICONERROR);
  ASSERT_TRUE(box.shown);
  EXPECT_EQ(box.format, Qt::PlainText);
  EXPECT_EQ(box.text, path);
  EXPECT_EQ(box.caption, "Corvane");
  EXPECT_EQ(box.icon, QMessageBox::Critical);

  const ShownBox plain = Show("Failed to execute", MB_OK);
  ASSERT_TRUE(plain.shown);
  EXPECT_EQ(plain.format, Qt::PlainText);
  EXPECT_EQ(plain.icon, QMessageBox::NoIcon);
}

}  // namespace
