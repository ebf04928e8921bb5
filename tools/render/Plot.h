// A picture of a render: input and output waveforms per channel (lowest and
// highest sample of each pixel column, on a dB scale mirrored about the
// floor, so quiet echoes and their signs show in long files too) and the
// echo pattern of the settings' impulse response on the same time axis.
// PNG or SVG by the file's extension, drawn with cairo.
#pragma once

#include <string>
#include <vector>

#include "EchoAnalysis.h"
#include "Render.h"

struct PlotData {
    std::string title;
    double sampleRate = 48000;
    const Envelope* input = nullptr;
    const Envelope* output = nullptr;
    std::vector<EchoEvent> echoes;
};

constexpr int kPlotWidth = 1200;
constexpr int kPlotHeight = 900;

struct PlotBox {
    double x = 0, y = 0, w = 0, h = 0;
    bool overlaps(const PlotBox& o) const {
        return x < o.x + o.w && o.x < x + w && y < o.y + o.h && o.y < y + h;
    }
};

enum class PanelKind { Input, Output, Echoes };

struct PlotPanel {
    PanelKind kind;
    int channel;  // 0 left, 1 right; -1 for the echo pattern
    PlotBox area;
    double t0, t1;          // seconds at the left and right edge
    double dbFloor, dbTop;  // a waveform strip has its floor in the middle
    double x(double seconds) const { return area.x + (seconds - t0) / (t1 - t0) * area.w; }
};

enum class TextRole { Title, PanelTitle, TimeTick, LevelTick, AxisTitle, ChannelName, Legend };

struct PlotText {
    std::string text;
    TextRole role;
    int panel;  // index into PlotLayout::panels, -1 for the picture's title
    double x, y;            // anchor
    double alignX, alignY;  // where the anchor sits on the text, 0..1
    double size;
    bool upright;     // turned to read upwards
    int colour;       // 0 or 1: that channel's colour; -1 ink
    PlotBox box;      // extent of the text on the picture
};

enum class KeyShape { LeftSwatch, RightSwatch, Positive, Negative };

struct PlotKey {
    KeyShape shape;
    PlotBox box;
};

struct PlotLayout {
    std::vector<PlotPanel> panels;
    std::vector<PlotText> texts;
    std::vector<PlotKey> keys;  // the echo pattern's legend
};

// Where everything goes for these data.
PlotLayout layoutPlot(const PlotData& data);

// Throws UsageError unless the name ends in .png or .svg.
void checkPlotName(const std::string& path);
// Writes through a temporary file beside `path`. Throws RenderFailure.
void writePlot(const std::string& path, const PlotData& data);
