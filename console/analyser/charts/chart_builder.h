#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string_view>

#include "chart_counts.h"

class QChart;

namespace vantry::analyser {

/// The analysis window's charts.
enum class ChartKind {
  kConnections,  ///< per hour or day, passed and refused stacked
  kTypes,        ///< refusals by block type
  kZones,        ///< refusals by zone
  kTop,          ///< the ten busiest addresses
};
inline constexpr ChartKind kChartKinds[] = {ChartKind::kConnections, ChartKind::kTypes,
                                            ChartKind::kZones, ChartKind::kTop};

/// The kind's name on the command line and in file names: hourly, types, zones, top.
std::string_view ChartKindName(ChartKind kind);
std::optional<ChartKind> ChartKindFromName(std::string_view name);
/// The tab and chart title.
QString ChartTitle(ChartKind kind, const ChartCounts& counts);

/// A chart of `counts`; its series are named "Passed" and "Refused", or "Refusals"
/// and "Connections" for the bar charts.
std::unique_ptr<QChart> BuildChart(ChartKind kind, const ChartCounts& counts);

/// Renders the chart to `path`: SVG for ".svg", else PNG; 1000 x 600. Needs a
/// QApplication (any platform, offscreen too). False with the reason in *error.
bool SaveChart(ChartKind kind, const ChartCounts& counts, const QString& path,
               QString* error = nullptr);

}  // namespace vantry::analyser
