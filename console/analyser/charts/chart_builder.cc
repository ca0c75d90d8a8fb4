#include "chart_builder.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QHorizontalBarSeries>
#include <QImage>
#include <QPainter>
#include <QStackedBarSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace vantry::analyser {
namespace {

constexpr QSize kSavedSize(1000, 600);

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A count axis from 0 with whole-number ticks, about five of them.
QValueAxis* CountAxis(qreal most) {
  auto* axis = new QValueAxis;
  axis->setLabelFormat("%d");
  // 1, 2 or 5 times a power of ten, the first that needs at most five steps.
  qreal step = 1;
  for (qreal scale = 1; step * 5 < most; scale *= 10) {
    for (qreal m : {1, 2, 5}) {
      step = m * scale;
      if (step * 5 >= most) break;
    }
  }
  axis->setRange(0, std::max<qreal>(step, std::ceil(most / step) * step));
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0);
  axis->setTickInterval(step);
  return axis;
}

// A horizontal bar per name, the first on top.
void AddBars(QChart& chart, const std::vector<ChartCount>& counts, const QString& series_name) {
  auto* set = new QBarSet(series_name);
  QStringList names;
  for (auto it = counts.rbegin(); it != counts.rend(); ++it) {
    *set << static_cast<qreal>(it->second);
    names << (it->first.empty() ? QString("(none)") : Text(it->first));
  }
  auto* series = new QHorizontalBarSeries;
  series->setName(series_name);
  series->append(set);
  series->setLabelsVisible(true);
  chart.addSeries(series);
  auto* axis = new QBarCategoryAxis;
  axis->append(names);
  chart.addAxis(axis, Qt::AlignLeft);
  series->attachAxis(axis);
  qreal most = 0;
  for (const ChartCount& count : counts) most = std::max<qreal>(most, count.second);
  QValueAxis* values = CountAxis(most);
  chart.addAxis(values, Qt::AlignBottom);
  series->attachAxis(values);
}

void AddTimeline(QChart& chart, const ChartCounts& counts) {
  auto* passed = new QBarSet("Passed");
  auto* refused = new QBarSet("Refused");
  passed->setColor(QColor(0x4c, 0xaf, 0x50));
  refused->setColor(QColor(0xe5, 0x39, 0x35));
  QStringList labels;
  for (const ChartBucket& bucket : counts.timeline) {
    *passed << static_cast<qreal>(bucket.passed);
    *refused << static_cast<qreal>(bucket.refused);
    // An hour shows its time, and the date where a day begins.
    QString label = Text(bucket.label);
    if (counts.hourly && !label.endsWith(" 00:00") && !labels.isEmpty()) label = label.mid(11);
    labels << label;
  }
  auto* series = new QStackedBarSeries;
  series->append(passed);
  series->append(refused);
  chart.addSeries(series);
  auto* axis = new QBarCategoryAxis;
  axis->append(labels);
  axis->setLabelsAngle(-90);
  chart.addAxis(axis, Qt::AlignBottom);
  series->attachAxis(axis);
  qreal most = 0;
  for (const ChartBucket& b : counts.timeline) most = std::max<qreal>(most, b.passed + b.refused);
  QValueAxis* values = CountAxis(most);
  chart.addAxis(values, Qt::AlignLeft);
  series->attachAxis(values);
}

}  // namespace

std::string_view ChartKindName(ChartKind kind) {
  switch (kind) {
    case ChartKind::kConnections:
      return "hourly";
    case ChartKind::kTypes:
      return "types";
    case ChartKind::kZones:
      return "zones";
    case ChartKind::kTop:
      return "top";
  }
  return "";
}

std::optional<ChartKind> ChartKindFromName(std::string_view name) {
  for (ChartKind kind : kChartKinds) {
    if (ChartKindName(kind) == name) return kind;
  }
  return std::nullopt;
}

QString ChartTitle(ChartKind kind, const ChartCounts& counts) {
  switch (kind) {
    case ChartKind::kConnections:
      return counts.hourly ? "Connections per hour" : "Connections per day";
    case ChartKind::kTypes:
      return "Refusals by block type";
    case ChartKind::kZones:
      return "Refusals by zone";
    case ChartKind::kTop:
      return "Busiest addresses";
  }
  return {};
}

std::unique_ptr<QChart> BuildChart(ChartKind kind, const ChartCounts& counts) {
  auto chart = std::make_unique<QChart>();
  chart->setTitle(ChartTitle(kind, counts));
  chart->setAnimationOptions(QChart::NoAnimation);
  switch (kind) {
    case ChartKind::kConnections:
      AddTimeline(*chart, counts);
      break;
    case ChartKind::kTypes:
      AddBars(*chart, counts.types, "Refusals");
      break;
    case ChartKind::kZones:
      AddBars(*chart, counts.zones, "Refusals");
      break;
    case ChartKind::kTop:
      AddBars(*chart, counts.top_addresses, "Connections");
      break;
  }
  chart->legend()->setVisible(true);  // names the series, in a saved file too
  chart->legend()->setAlignment(Qt::AlignBottom);
  return chart;
}

bool SaveChart(ChartKind kind, const ChartCounts& counts, const QString& path, QString* error) {
  QGraphicsScene scene;
  QChart* chart = BuildChart(kind, counts).release();
  scene.addItem(chart);  // the scene owns it now
  chart->resize(kSavedSize);
  scene.setSceneRect(QRectF(QPointF(0, 0), kSavedSize));
  if (path.endsWith(".svg", Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(kSavedSize);
    svg.setViewBox(QRect(QPoint(0, 0), kSavedSize));
    svg.setTitle(ChartTitle(kind, counts));
    QPainter painter;
    if (!painter.begin(&svg)) {
      if (error) *error = "cannot write " + path;
      return false;
    }
    scene.render(&painter);
    painter.end();
    return true;
  }
  QImage image(kSavedSize, QImage::Format_ARGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  scene.render(&painter);
  painter.end();
  if (!image.save(path, "PNG")) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace vantry::analyser
