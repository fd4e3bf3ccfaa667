#pragma once
// The About box: banner, version, maker and an OK button. Created hidden at start-up.

#include <QWidget>

class TFormAbout final : public QWidget {
  Q_OBJECT
 public:
  explicit TFormAbout(QWidget* parent = nullptr);
  ~TFormAbout() override;
};

// The About box, while it exists.
inline TFormAbout* FormAbout = nullptr;
