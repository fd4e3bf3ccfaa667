#pragma once
// The settings dialog: input device, DC offset correction and the synchronising channels.
// Created hidden at start-up and shown modeless; every choice takes effect at once.

#include <QWidget>

class QComboBox;

class TFormSettings final : public QWidget {
  Q_OBJECT
 public:
  explicit TFormSettings(QWidget* parent = nullptr);
  ~TFormSettings() override;

  QComboBox* CmbBoxInDev = nullptr;
};

// The dialog, while it exists.
inline TFormSettings* FormSettings = nullptr;
