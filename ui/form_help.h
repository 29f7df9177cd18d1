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

// The key list's face and size. Its longest lines hold 24 full-width
// characters; at 11 px they fit the list beside its scroll bar (at 12 px they
// would need 288 px of the 273 there are).
inline constexpr const char* kHelpListFamily = "Noto Sans Mono CJK JP";
inline constexpr int kHelpListPixels = 11;

// The lines of the key list.
QStringList HelpLines();

}  // namespace velmora::ui
