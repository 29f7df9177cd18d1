// A run's charts drawn with Qt Charts from their plain data (app/run_charts.h):
// a widget with the charts in a grid, for the logbook window, and the same
// picture as PNG bytes, for velmora-logbook's plot.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "app/run_charts.h"

class QChart;
class QGridLayout;

namespace velmora::charts {

// A chart drawn from its data; the caller owns it.
QChart* MakeChart(const app::TChart& data);

// The charts in a grid of two columns; a text in place of them when there are none.
class TRunChartsWidget : public QWidget {
 public:
  explicit TRunChartsWidget(QWidget* parent = nullptr);
  void Show(const std::vector<app::TChart>& charts, const QString& none = QString());
  int ChartCount() const { return count_; }

 private:
  QGridLayout* grid_;
  int count_ = 0;
};

// The charts as a PNG picture of width × height pixels (a QApplication must exist).
std::string ChartsPng(const std::vector<app::TChart>& charts, int width, int height);

}  // namespace velmora::charts
