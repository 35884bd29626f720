// Layers of an XYChart: lines, bars and scatter symbols, each holding one
// or more data sets, optional x data, extra fields and data labels.
#ifndef BRELO_CHART_LAYER_H
#define BRELO_CHART_LAYER_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "chart/ChartConstants.h"
#include "chart/TextBox.h"

class Axis;
class DrawArea;

// The plot area and its two axes, as the layers see them while drawing.
struct PlotFrame {
    const Axis* pxAxis;
    const Axis* pyAxis;
    int nX, nY, nW, nH;
    double px(double x) const;  // pixel column of x in axis units
    double py(double y) const;  // pixel row of y in axis units
};

class DataSet {
  public:
    DataSet(const std::vector<double>& data, int color, const std::string& name);
    void setDataColor(int color, int edgeColor = -1);
    void setDataSymbol(int symbol, int size = 5, int fillColor = -1, int edgeColor = -1);

    const std::vector<double>& data() const { return m_vdData; }
    const std::string& name() const { return m_strName; }
    int color() const { return m_nColor; }
    int edgeColor() const { return m_nEdgeColor; }
    int symbol() const { return m_nSymbol; }
    int symbolSize() const { return m_nSymbolSize; }

  private:
    std::vector<double> m_vdData;
    int m_nColor;
    int m_nEdgeColor = -1;
    std::string m_strName;
    int m_nSymbol = Chart::NoSymbol;
    int m_nSymbolSize = 5;
};

class Layer {
  public:
    // colorCounter hands out the chart's default data colours in order.
    explicit Layer(int* colorCounter);
    virtual ~Layer() = default;
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // A colour of -1 takes the chart's next default data colour.
    DataSet* addDataSet(const std::vector<double>& data, int color = -1,
                        const std::string& name = "");
    void setBorderColor(int color, int raisedEffect = 0);
    // x positions in axis units; without them point i sits at position i.
    void setXData(const std::vector<double>& xData);
    void addExtraField(const std::vector<std::string>& texts);
    void addExtraField(const std::vector<double>& numbers);
    // Template of the data labels: "{value}", "{value|0}", "{field0}" ...
    void setDataLabelFormat(const std::string& formatString);
    TextBox* setDataLabelStyle(const std::string& font = "", double fontSize = 8,
                               int fontColor = Chart::TextColor, double fontAngle = 0);
    void setLineWidth(int width);

    // --- used by XYChart while drawing ---
    int dataSetCount() const { return static_cast<int>(m_vDataSets.size()); }
    const DataSet& dataSet(int i) const { return *m_vDataSets[i]; }
    int positionCount() const;
    double xAt(int i) const;
    bool hasXData() const { return !m_vdXData.empty(); }
    virtual bool isBarLayer() const { return false; }
    virtual void xRange(double& lo, double& hi) const;
    virtual void yRange(double& lo, double& hi) const;
    virtual void draw(DrawArea& d, const PlotFrame& frame) const = 0;
    // Adds the box (left, top, right, bottom in pixels) of every symbol the
    // layer draws (none by default).
    virtual void addSymbolBoxes(const PlotFrame& frame,
                                std::vector<std::array<double, 4>>& boxes) const;
    // Draws the data labels that overlap none of the boxes taken (left,
    // top, right, bottom in pixels) and no symbol of another point (one
    // whose symbol covers the labelled point stands at the same spot), and
    // adds theirs to taken: where points crowd, some go unlabelled rather
    // than all unreadable.
    void drawDataLabels(DrawArea& d, const PlotFrame& frame,
                        std::vector<std::array<double, 4>>& taken,
                        const std::vector<std::array<double, 4>>& symbols = {}) const;

  protected:
    std::string dataLabelText(int ds, int i) const;
    // Adds the boxes of the symbols of size `size` at the points of ds.
    void addDataSetBoxes(const PlotFrame& frame, const DataSet& ds, int size,
                         std::vector<std::array<double, 4>>& boxes) const;

    int* m_pColorCounter;
    std::vector<std::unique_ptr<DataSet>> m_vDataSets;
    std::vector<double> m_vdXData;
    std::vector<std::vector<std::string>> m_vvstrExtraFields;
    std::string m_strDataLabelFormat;
    TextBox m_tbDataLabelStyle;
    int m_nBorderColor = -1;
    int m_nLineWidth = 1;
};

class LineLayer : public Layer {
  public:
    using Layer::Layer;
    void draw(DrawArea& d, const PlotFrame& frame) const override;
    void addSymbolBoxes(const PlotFrame& frame,
                        std::vector<std::array<double, 4>>& boxes) const override;
};

class BarLayer : public Layer {
  public:
    BarLayer(int* colorCounter, int dataCombineMethod);
    // Gap between bars as a fraction of a position's width (0 .. 1).
    void setBarGap(double gap) { m_dBarGap = gap; }
    bool isBarLayer() const override { return true; }
    void yRange(double& lo, double& hi) const override;
    void xRange(double& lo, double& hi) const override;
    void draw(DrawArea& d, const PlotFrame& frame) const override;

  private:
    // Bottom and top of data set ds at position i, in axis units.
    void segment(int ds, int i, double& bottom, double& top) const;

    int m_nCombine;
    double m_dBarGap = 0.2;
};

class ScatterLayer : public Layer {
  public:
    ScatterLayer(int* colorCounter, int symbol, int symbolSize, int edgeColor);
    void draw(DrawArea& d, const PlotFrame& frame) const override;
    void addSymbolBoxes(const PlotFrame& frame,
                        std::vector<std::array<double, 4>>& boxes) const override;

  private:
    int m_nSymbol;
    int m_nSymbolSize;
};

// Draws a scatter symbol of the given size centred at pixel (x, y).
void DrawSymbol(DrawArea& d, int symbol, int size, double x, double y, int fillColor,
                int edgeColor);

#endif
