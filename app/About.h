#pragma once
// The About box: banner, version, maker and an OK button. Created hidden at start-up, shown
// modeless, centred on the screen the first time and where it was left after that.

#include <QIcon>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class QShowEvent;

class TFormAbout final : public QWidget {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent = nullptr);
  ~TFormAbout() override;

  // Controls, owned by the box. Image1 reaches past the client area's top-left corner, which
  // cuts off the banner's first 14 columns and 2 rows.
  QLabel* Image1 = nullptr;
  QLabel* LabVersion = nullptr;
  QLabel* LabAuthor = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* LabWWW = nullptr;
  QPushButton* BtnOK = nullptr;

  void BtnOKClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool placed_ = false;
};

// The About box, while it exists.
inline TFormAbout* FormAbout = nullptr;
