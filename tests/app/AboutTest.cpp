// The About box on the offscreen platform.
#include "app/About.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QtTest/QTest>
#include <cstdint>
#include <memory>
#include <span>

#include "app/BannerPicture.h"
#include "app/MainWindowView.h"
#include "app/main.h"
#include "tests/support/ScriptedDevicesTest.h"

namespace {

class AboutTest : public testing::Test {
 protected:
  TFormAbout about_;
};

TEST_F(AboutTest, TheBannerIsCutOffByTheFixedClientArea) {
  EXPECT_EQ(about_.size(), QSize(397, 235));  // a border of 5 around the 387 x 225 client
  EXPECT_EQ(about_.BtnOK->parentWidget()->geometry(), QRect(5, 5, 387, 225));
  EXPECT_EQ(about_.minimumSize(), about_.maximumSize());
  EXPECT_EQ(about_.windowTitle().toStdString(), "About Corvane");
  EXPECT_EQ(about_.Image1->geometry(), QRect(-14, -2, 403, 63));

  QFile file(QStringLiteral(":/assets/About.Image1.picture"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray stored = file.readAll();
  const QImage banner =
      LoadStoredPicture(std::span(reinterpret_cast<const std::uint8_t*>(stored.constData()),
                                  static_cast<std::size_t>(stored.size())))
          .image;
  ASSERT_FALSE(banner.isNull());
  const QImage shown = about_.grab().toImage();
  // The client area's first pixels, inside the border of 5, are the banner's column 14 and
  // row 2; the border itself shows none of it.
  const QPoint client(5, 5);
  for (const QPoint at : {QPoint(0, 0), QPoint(200, 30), QPoint(385, 57)}) {
    EXPECT_EQ(shown.pixel(client + at), banner.pixel(at + QPoint(14, 2)))
        << at.x() << "," << at.y();
  }
  EXPECT_NE(shown.pixel(2, 20), banner.pixel(11, 17));
}

TEST_F(AboutTest, ItOpensCentredThenWhereItWasLeftAndOkHidesIt) {
  about_.show();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(about_.pos(), screen.center() - QPoint(397 / 2, 235 / 2));
  about_.move(40, 30);
  QTest::mouseClick(about_.BtnOK, Qt::LeftButton);
  EXPECT_FALSE(about_.isVisible());
  about_.show();
  EXPECT_EQ(about_.pos(), QPoint(40, 30));
  about_.close();
  EXPECT_FALSE(about_.isVisible());
}

class AboutMenuTest : public ScriptedDevicesTest {
 protected:
  void SetUp() override {
    ScriptedDevicesTest::SetUp();
    AddDevice("Line In", WAVE_FORMAT_4S16);
    form_ = std::make_unique<TFormMain>();
    about_ = std::make_unique<TFormAbout>();
  }
  void TearDown() override {
    about_.reset();
    form_.reset();
    ScriptedDevicesTest::TearDown();
  }
  std::unique_ptr<TFormMain> form_;
  std::unique_ptr<TFormAbout> about_;
};

// "About..." on a minimised box brings it back where it was left.
TEST_F(AboutMenuTest, AboutBringsAMinimisedBoxBack) {
  form_->menuAboutClick();
  about_->move(40, 30);
  about_->showMinimized();
  ASSERT_TRUE(about_->isMinimized());
  form_->menuAboutClick();
  EXPECT_FALSE(about_->isMinimized());
  EXPECT_TRUE(about_->isVisible());
  EXPECT_EQ(about_->pos(), QPoint(40, 30));
}

}  // namespace
