// The charting layer in one include.
#ifndef BRELO_CHART_CHART_H
#define BRELO_CHART_CHART_H

#include "chart/Axis.h"
#include "chart/BarOrder.h"
#include "chart/BaseChart.h"
#include "chart/ChartConstants.h"
#include "chart/DrawArea.h"
#include "chart/Figure.h"
#include "chart/Layer.h"
#include "chart/Legend.h"
#include "chart/MultiChart.h"
#include "chart/Palette.h"
#include "chart/PieChart.h"
#include "chart/TextBox.h"
#include "chart/XYChart.h"

#endif
