#include "charts/run_charts_view.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace velmora::charts {

namespace {

constexpr int kColumns = 2;
constexpr double kMarkSize = 9;  // px
constexpr double kLineWidth = 2;  // px
constexpr double kValueMargin = 0.08;  // of the values' span, above and below them

QColor ColourOf(uint32_t rgb) {
  return QColor(static_cast<int>(rgb >> 16 & 0xff), static_cast<int>(rgb >> 8 & 0xff),
                static_cast<int>(rgb & 0xff));
}

// The line's points; a stepped line holds each value until the next point.
QList<QPointF> LinePoints(const app::TChartSeries& s) {
  QList<QPointF> points;
  for (std::size_t i = 0; i < s.Points.size(); ++i) {
    const app::TChartPoint& p = s.Points[i];
    if (s.Style == app::TSeriesStyle::Step && i > 0) points.append({p.X, s.Points[i - 1].Y});
    points.append({p.X, p.Y});
  }
  return points;
}

struct TRange {
  double Lo = INFINITY, Hi = -INFINITY;
  void Add(double v) {
    if (!std::isfinite(v)) return;
    Lo = std::min(Lo, v);
    Hi = std::max(Hi, v);
  }
  // Some room around the values (`margin` of their span; none below zero
  // for values that are never negative), and some range where they are all one.
  void Apply(QValueAxis* axis, double margin) const {
    double lo = Lo, hi = Hi;
    if (!(lo <= hi)) lo = 0, hi = 1;
    if (hi - lo < 1e-9) lo -= 1, hi += 1;
    const double room = (hi - lo) * margin;
    axis->setRange(lo >= 0 ? std::max(0.0, lo - room) : lo - room, hi + room);
    axis->applyNiceNumbers();
    axis->setLabelFormat(hi - lo >= 20 ? "%.0f" : "%.1f");
  }
};

}  // namespace

QChart* MakeChart(const app::TChart& data) {
  auto* chart = new QChart;
  chart->setTitle(QString::fromStdString(data.Title));
  chart->legend()->setAlignment(Qt::AlignBottom);
  auto* x = new QValueAxis;
  auto* y = new QValueAxis;
  x->setTitleText(QString::fromStdString(data.XTitle));
  y->setTitleText(QString::fromStdString(data.YTitle));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  QValueAxis* right = nullptr;
  if (!data.RightTitle.empty()) {
    right = new QValueAxis;
    right->setTitleText(QString::fromStdString(data.RightTitle));
    chart->addAxis(right, Qt::AlignRight);
  }
  TRange xRange, yRange, rightRange;
  for (const app::TChartSeries& s : data.Series) {
    QValueAxis* yAxis = s.RightAxis && right != nullptr ? right : y;
    TRange& range = s.RightAxis && right != nullptr ? rightRange : yRange;
    for (const app::TChartPoint& p : s.Points) {
      xRange.Add(p.X);
      range.Add(p.Y);
    }
    if (s.Style == app::TSeriesStyle::Points) {
      // Each mark its own series, so that each carries its own label; one
      // legend entry for them all.
      for (std::size_t i = 0; i < s.Points.size(); ++i) {
        auto* mark = new QScatterSeries;
        mark->setName(QString::fromStdString(s.Name));
        mark->setColor(ColourOf(s.Colour));
        mark->setMarkerSize(kMarkSize);
        mark->append(s.Points[i].X, s.Points[i].Y);
        if (i < s.Labels.size()) {
          mark->setPointLabelsFormat(QString::fromStdString(s.Labels[i]));
          mark->setPointLabelsVisible(true);
          mark->setPointLabelsClipping(false);
        }
        chart->addSeries(mark);
        mark->attachAxis(x);
        mark->attachAxis(yAxis);
        if (i > 0) chart->legend()->markers(mark).front()->setVisible(false);
      }
      continue;
    }
    auto* line = new QLineSeries;
    line->setName(QString::fromStdString(s.Name));
    QPen pen(ColourOf(s.Colour));
    pen.setWidthF(kLineWidth);
    if (s.Style == app::TSeriesStyle::Dashed) pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    line->append(LinePoints(s));
    chart->addSeries(line);
    line->attachAxis(x);
    line->attachAxis(yAxis);
  }
  xRange.Apply(x, 0);
  yRange.Apply(y, kValueMargin);
  if (right != nullptr) rightRange.Apply(right, kValueMargin);
  return chart;
}

TRunChartsWidget::TRunChartsWidget(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this)) {
  grid_->setContentsMargins(0, 0, 0, 0);
  for (int column = 0; column < kColumns; ++column) grid_->setColumnStretch(column, 1);
}

void TRunChartsWidget::Show(const std::vector<app::TChart>& charts, const QString& none) {
  while (QLayoutItem* item = grid_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  count_ = static_cast<int>(charts.size());
  if (charts.empty()) {
    grid_->addWidget(new QLabel(none, this), 0, 0);
    return;
  }
  for (int i = 0; i < count_; ++i) {
    auto* view = new QChartView(MakeChart(charts[static_cast<std::size_t>(i)]), this);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(220);
    // A chart alone takes the whole width.
    grid_->addWidget(view, i / kColumns, i % kColumns, 1, count_ == 1 ? kColumns : 1);
  }
}

std::string ChartsPng(const std::vector<app::TChart>& charts, int width, int height) {
  TRunChartsWidget widget;
  widget.Show(charts, QStringLiteral("この走行には図がありません"));
  widget.resize(width, height);
  widget.setAttribute(Qt::WA_DontShowOnScreen);
  widget.show();
  widget.layout()->activate();
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    widget.render(&painter);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

}  // namespace velmora::charts
