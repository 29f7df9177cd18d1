// The help form: a stay-on-top list of the keys and a close button.
#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace velmora::ui {

class TFormHelp final : public QWidget {
 public:
  explicit TFormHelp(QWidget* parent = nullptr);

  QPlainTextEdit* MemoHelp = nullptr;
  QPushButton* ButtonClose = nullptr;

  void ButtonCloseClick() { close(); }
};

// The lines of the key list.
QStringList HelpLines();

}  // namespace velmora::ui
