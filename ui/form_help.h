// The help form: a stay-on-top list of the keys and a close button.
#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "app/key_bindings.h"

namespace velmora::ui {

class TFormHelp final : public QWidget {
 public:
  explicit TFormHelp(QWidget* parent = nullptr);

  QPlainTextEdit* MemoHelp = nullptr;
  QPushButton* ButtonClose = nullptr;

  void ButtonCloseClick() { close(); }
  // Lists the keys as bound in the table of the vehicle in use.
  void ShowKeys(const app::TKeyBindings& keys,
                app::TKeyTableKind shown = app::TKeyTableKind::Aircraft);
};

// The key list's face and size. Its longest lines hold 24 full-width
// characters; at 11 px they fit the list beside its scroll bar (at 12 px they
// would need 288 px of the 273 there are).
inline constexpr const char* kHelpListFamily = "Noto Sans Mono CJK JP";
inline constexpr int kHelpListPixels = 11;

// The lines of the key list, naming the keys as bound in the shown table
// (the aircraft's for the keys that table lacks) and the train's for driving a train.
QStringList HelpLines(const app::TKeyBindings& keys = app::DefaultKeyBindings(),
                      app::TKeyTableKind shown = app::TKeyTableKind::Aircraft);

// Where the help form's frame goes when it opens at start (top-left corner,
// global pixels), for the screen's free area, the main window's frame and
// its 3D view: beside the main window where the area has room for it, on
// the right first, level with the window's top; otherwise at the area's left
// edge level with the view's top, so that it covers no more of the view than
// it must and nothing below the view: the panels, instruments and message log.
QPoint HelpPlace(const QRect& area, const QRect& mainFrame, const QRect& view, const QSize& help);

}  // namespace velmora::ui
