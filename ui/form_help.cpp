#include "ui/form_help.h"

#include <QPalette>
#include <algorithm>
#include <utility>

#include "app/controls.h"
#include "ui/qt_canvas.h"

namespace velmora::ui {
namespace {

constexpr uint32_t kHelpColour = 14745599;  // light yellow, red in the low byte

// A key as the list names it: the arrows in words, the others by their names.
QString KeyText(int32_t key) {
  switch (key) {
    case app::kKeyUp: return "上矢印";
    case app::kKeyDown: return "下矢印";
    case app::kKeyLeft: return "左矢印";
    case app::kKeyRight: return "右矢印";
    default: return QString::fromStdString(app::KeyName(key));
  }
}

}  // namespace

QStringList HelpLines(const app::TKeyBindings& keys, app::TKeyTableKind shown) {
  // The shown table where it holds the action, the aircraft's otherwise.
  app::TKeyTable air = keys[app::TKeyTableKind::Aircraft];
  for (int a = 0; a < app::kActionCount; ++a) {
    const int32_t key = keys[shown].Keys[static_cast<std::size_t>(a)];
    if (key != 0 || app::HasAction(shown, static_cast<app::TAction>(a))) {
      air.Keys[static_cast<std::size_t>(a)] = key;
    }
  }
  const app::TKeyTable& train = keys[app::TKeyTableKind::Train];
  const auto k = [&](const app::TKeyTable& table, app::TAction action) {
    return KeyText(table.KeyOf(action));
  };
  using app::TAction;
  const bool arrows = air.KeyOf(TAction::NoseDown) == app::kKeyUp &&
                      air.KeyOf(TAction::NoseUp) == app::kKeyDown &&
                      air.KeyOf(TAction::TurnLeft) == app::kKeyLeft &&
                      air.KeyOf(TAction::TurnRight) == app::kKeyRight;
  const QString turnKeys = arrows ? QString("矢印")
                                  : k(air, TAction::NoseDown) + "/" + k(air, TAction::NoseUp) +
                                        "/" + k(air, TAction::TurnLeft) + "/" +
                                        k(air, TAction::TurnRight);
  const QString sideKeys = arrows ? QString("左右矢印")
                                  : k(air, TAction::TurnLeft) + "・" + k(air, TAction::TurnRight);
  const QString pad = "　　　　　　　　　　　";
  QStringList lines = {"本画面表示　・・・・　" + k(air, TAction::Help) + "キー",
          "",
          "向き変更　・・・・・　ジョイスティック or " + turnKeys + "キー",
          pad + k(air, TAction::NoseUp) + "キー：機首上げ",
          pad + k(air, TAction::NoseDown) + "キー：機首下げ",
          pad + sideKeys + "キー：左右へ旋回",
          "",
          "ハンドル戻し　・・・　" + k(air, TAction::NoseDown) + "キー(地上のみ)",
          "",
          "推力全開　・・・・・　" + k(air, TAction::FullThrottle) + "キー",
          "（旅客機の場合TO/GA）",
          "",
          "推力増加　・・・・・　" + k(air, TAction::ThrottleUp) + "キー",
          "",
          "推力減少　・・・・・　" + k(air, TAction::ThrottleDown) + "キー",
          "",
          "ブレーキ　・・・・・　" + k(air, TAction::Brake) + "キー(地上のみ)",
          "",
          "電車の運転　・・・・　" + k(train, TAction::ThrottleUp) + ", " +
              k(train, TAction::ThrottleDown) + "キーで加速, 減速",
          pad + k(train, TAction::FullThrottle) + "で全開, " + k(train, TAction::Brake) +
              "でブレーキ",
          "",
          "ミサイル発射　・・・　ロック中にジョイスティックの",
          "　　　　　　　　　　　ボタンか " + k(air, TAction::Fire) + "キーを押す。敵が",
          "　　　　　　　　　　　射程距離内かつ正面なら自動的",
          "　　　　　　　　　　　にロックされ標的表示枠が出る",
          "",
          "脚の昇降　・・・・・　" + k(air, TAction::Gear) + "キー",
          "",
          "フラップの昇降　・・　昇：" + k(air, TAction::FlapsUp) + "キー, 降：" +
              k(air, TAction::FlapsDown) + "キー",
          "　　　　　　　　　　　0,1,5,10,20,25,30度の順",
          "",
          "行先変更パネル　・・　レーダー画面をクリック",
          "",
          "視界変更　・・・・・　Shift＋" + turnKeys + "キー",
          "",
          "リプレイ保存　・・・　Ctrl＋Sキー",
          "",
          "リプレイ再生　・・・　走行の終了後に出るパネルで",
          "　　　　　　　　　　　再生・逆再生・ポーズなど",
          "",
          "消音／音の再開　・・　Ctrl＋Mキー",
          "",
          "記録簿　・・・・・・　Ctrl＋Lキー",
          "",
          "設定　・・・・・・・　" + KeyText(app::kKeySettings) + "キー",
          "",
          "全画面表示　・・・・　F11キー（もう一度で元に戻る）",
          "",
          "終了　・・・・・・・　ウインドウ右上の×をクリック",
          "",
          "",
          "　　[補足] 本画面を開いたままでもプレイ可能。",
          "　　　　　（その場合はフォーカスをメイン画面に）"};
  // View keys bound of their own follow the view line.
  QStringList views;
  const std::pair<TAction, const char*> viewKeys[] = {{TAction::ViewAhead, "前"},
                                                       {TAction::ViewRight, "右"},
                                                       {TAction::ViewBehind, "後"},
                                                       {TAction::ViewLeft, "左"}};
  for (const auto& [action, side] : viewKeys) {
    if (air.KeyOf(action) != 0) views << QString(side) + "：" + k(air, action);
  }
  if (!views.isEmpty()) {
    lines.insert(lines.indexOf("視界変更　・・・・・　Shift＋" + turnKeys + "キー") + 1,
                 pad + views.join(" "));
  }
  return lines;
}

QPoint HelpPlace(const QRect& area, const QRect& mainFrame, const QRect& view, const QSize& help) {
  const auto within = [&](int top) {
    return std::clamp(top, area.top(), std::max(area.top(), area.bottom() + 1 - help.height()));
  };
  if (mainFrame.right() + help.width() <= area.right()) {
    return {mainFrame.right() + 1, within(mainFrame.top())};
  }
  if (mainFrame.left() - help.width() >= area.left()) {
    return {mainFrame.left() - help.width(), within(mainFrame.top())};
  }
  return {area.left(), within(view.top())};
}

TFormHelp::TFormHelp(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("FormHelp");
  setWindowTitle("ヘルプ");
  setFixedSize(321, 442);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ToQColor(kHelpColour));
  setPalette(palette);
  setAutoFillBackground(true);

  MemoHelp = new QPlainTextEdit(this);
  MemoHelp->setObjectName("MemoHelp");
  MemoHelp->setGeometry(8, 8, 305, 393);
  MemoHelp->setReadOnly(true);
  // The list aligns its columns by counting a full-width character as two
  // half-width ones: a monospaced face of the form's family keeps that true,
  // and no wrapping keeps each entry on its own line.
  QFont listFont(kHelpListFamily);
  listFont.setPixelSize(kHelpListPixels);
  MemoHelp->setFont(listFont);
  MemoHelp->setLineWrapMode(QPlainTextEdit::NoWrap);
  ShowKeys(app::DefaultKeyBindings());

  ButtonClose = new QPushButton("閉じる", this);
  ButtonClose->setObjectName("ButtonClose");
  ButtonClose->setGeometry(123, 409, 75, 25);
  QObject::connect(ButtonClose, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });
}

void TFormHelp::ShowKeys(const app::TKeyBindings& keys, app::TKeyTableKind shown) {
  MemoHelp->setPlainText(HelpLines(keys, shown).join('\n'));
}

}  // namespace velmora::ui
