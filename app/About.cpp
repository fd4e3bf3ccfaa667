#include "app/About.h"
#include "app/WindowStyle.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <cstdint>
#include <iostream>
#include <span>

#include "app/Assets.h"
#include "app/BannerPicture.h"
#include "app/main.h"

namespace {

constexpr int ClientWidth = 387;
constexpr int ClientHeight = 225;
constexpr int BorderWidth = 5;
const char* const StoredBanner = ":/assets/About.Image1.picture";

QPixmap LoadBanner() {
  InitAssets();
  QFile file(QString::fromLatin1(StoredBanner));
  if (!file.open(QIODevice::ReadOnly)) {
    std::cerr << "corvane: the About box shows no banner: " << StoredBanner << " is not built in\n";
    return {};
  }
  const QByteArray stored = file.readAll();
  const PictureResult picture =
      LoadStoredPicture(std::span(reinterpret_cast<const std::uint8_t*>(stored.constData()),
                                  static_cast<std::size_t>(stored.size())));
  if (picture.image.isNull()) {
    std::cerr << "corvane: the About box shows no banner: " << picture.error << "\n";
    return {};
  }
  return QPixmap::fromImage(picture.image);
}

}  // namespace

TFormAbout::TFormAbout(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle(QStringLiteral("About Corvane"));
  InitAssets();
  setWindowIcon(QIcon(QStringLiteral(":/assets/about.png")));
  setFont(WindowFont());
  setFixedSize(ClientWidth + 2 * BorderWidth, ClientHeight + 2 * BorderWidth);
  // The controls stand in the area inside the border, which also cuts the banner off.
  auto* client = new QWidget(this);
  client->setGeometry(BorderWidth, BorderWidth, ClientWidth, ClientHeight);

  Image1 = new QLabel(client);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setGeometry(-14, -2, 403, 63);
  Image1->setPixmap(LoadBanner());
  LabVersion = MakeLabel(client, "Version 2.3", 158, 72, 53, 13);
  LabAuthor = MakeLabel(client, "\u00A9 2026 The Corvane developers", 110, 98, 155, 13);
  Bevel1 = new QFrame(client);
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(4, 116, 377, 2);
  LabWWW = MakeLabel(client, "Sound-card oscilloscope", 128, 138, 119, 13);
  BtnOK = new QPushButton(QStringLiteral("OK"), client);
  BtnOK->setGeometry(152, 172, 73, 27);
  BtnOK->setFocus();
  connect(BtnOK, &QPushButton::clicked, this, [this] { BtnOKClick(); });
  FormAbout = this;
}

TFormAbout::~TFormAbout() {
  if (FormAbout == this) FormAbout = nullptr;
}

void TFormAbout::BtnOKClick() { close(); }

void TFormAbout::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (placed_ || event->spontaneous()) return;
  placed_ = true;
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
}
