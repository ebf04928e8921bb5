// A picture of a render: input and output level over time per channel, and
// the echo pattern of the settings' impulse response. PNG or SVG by the
// file's extension, drawn with cairo.
#pragma once

#include <string>
#include <vector>

#include "EchoAnalysis.h"
#include "Render.h"

struct PlotData {
    std::string title;
    double sampleRate = 48000;
    const PeakEnvelope* input = nullptr;
    const PeakEnvelope* output = nullptr;
    std::vector<EchoEvent> echoes;
};

constexpr int kPlotWidth = 1200;
constexpr int kPlotHeight = 900;

// Throws UsageError unless the name ends in .png or .svg.
void checkPlotName(const std::string& path);
// Writes through a temporary file beside `path`. Throws RenderFailure.
void writePlot(const std::string& path, const PlotData& data);
