#include "ui/form_help.h"

#include <QPalette>
#include <algorithm>

#include "ui/qt_canvas.h"

namespace velmora::ui {
namespace {

constexpr uint32_t kHelpColour = 14745599;  // light yellow, red in the low byte

}  // namespace

QStringList HelpLines() {
  return {"本画面表示　・・・・　F8キー",
          "",
          "向き変更　・・・・・　ジョイスティック or 矢印キー",
          "　　　　　　　　　　　下矢印キー：機首上げ",
          "　　　　　　　　　　　上矢印キー：機首下げ",
          "　　　　　　　　　　　左右矢印キー：左右へ旋回",
          "",
          "ハンドル戻し　・・・　上矢印キー(地上のみ)",
          "",
          "推力全開　・・・・・　F4キー",
          "（旅客機の場合TO/GA）",
          "",
          "推力増加　・・・・・　F3キー",
          "",
          "推力減少　・・・・・　F2キー",
          "",
          "ブレーキ　・・・・・　F1キー(地上のみ)",
          "",
          "電車の運転　・・・・　F3, F2キーで加速, 減速",
          "　　　　　　　　　　　F4で全開, F1でブレーキ",
          "",
          "ミサイル発射　・・・　ロック中にジョイスティックの",
          "　　　　　　　　　　　ボタンか Endキーを押す。敵が",
          "　　　　　　　　　　　射程距離内かつ正面なら自動的",
          "　　　　　　　　　　　にロックされ標的表示枠が出る",
          "",
          "脚の昇降　・・・・・　F5キー",
          "",
          "フラップの昇降　・・　昇：F6キー, 降：F7キー",
          "　　　　　　　　　　　0,1,5,10,20,25,30度の順",
          "",
          "行先変更パネル　・・　レーダー画面をクリック",
          "",
          "視界変更　・・・・・　Shift＋矢印キー",
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
          "全画面表示　・・・・　F11キー（もう一度で元に戻る）",
          "",
          "終了　・・・・・・・　ウインドウ右上の×をクリック",
          "",
          "",
          "　　[補足] 本画面を開いたままでもプレイ可能。",
          "　　　　　（その場合はフォーカスをメイン画面に）"};
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
  MemoHelp->setPlainText(HelpLines().join('\n'));

  ButtonClose = new QPushButton("閉じる", this);
  ButtonClose->setObjectName("ButtonClose");
  ButtonClose->setGeometry(123, 409, 75, 25);
  QObject::connect(ButtonClose, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });
}

}  // namespace velmora::ui
