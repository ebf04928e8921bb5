#include "Plot.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cctype>
#include <memory>
#include <numbers>

#include "AtomicFile.h"
#include "Errors.h"

namespace {

struct Colour {
    double r, g, b;
};
constexpr Colour kChannelColours[2] = {{0.12, 0.42, 0.75}, {0.90, 0.40, 0.05}};
constexpr const char* kChannelNames[2] = {"left", "right"};
constexpr double kFloorDb = -90;

bool endsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    std::string tail = text.substr(text.size() - suffix.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == suffix;
}

double toDb(double magnitude) {
    return magnitude > 0 ? std::max(kFloorDb, 20 * std::log10(magnitude)) : kFloorDb;
}

// 1, 2 or 5 times a power of ten, giving about `count` ticks over `span`.
double tickStep(double span, int count) {
    double raw = span / count;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

std::string number(double value, double step) {
    char text[32];
    int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    if (std::fabs(value) < step * 1e-6) value = 0;  // no "-0"
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

struct Panel {
    double x, y, w, h;  // plot area in device units
    double t0, t1;      // seconds
    double db0, db1;    // dBFS, bottom and top

    double px(double t) const { return x + (t - t0) / (t1 - t0) * w; }
    double py(double db) const { return y + (db1 - db) / (db1 - db0) * h; }
};

void setColour(cairo_t* cr, Colour c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void text(cairo_t* cr, double x, double y, const std::string& s, double alignX = 0,
          double alignY = 0) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, x - e.width * alignX - e.x_bearing, y - e.height * alignY - e.y_bearing);
    cairo_show_text(cr, s.c_str());
}

void drawFrame(cairo_t* cr, const Panel& p, const std::string& title, bool timeLabels,
               double dbStep) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, p.x, p.y, p.w, p.h);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1);
    cairo_set_font_size(cr, 11);

    double tStep = tickStep(p.t1 - p.t0, 10);
    for (double t = std::ceil(p.t0 / tStep) * tStep; t <= p.t1 + tStep * 1e-6; t += tStep) {
        cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
        cairo_move_to(cr, std::round(p.px(t)) + 0.5, p.y);
        cairo_line_to(cr, std::round(p.px(t)) + 0.5, p.y + p.h);
        cairo_stroke(cr);
        if (!timeLabels) continue;
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, p.px(t), p.y + p.h + 4, number(t, tStep), 0.5, 0);
    }
    for (double db = std::ceil(p.db0 / dbStep) * dbStep; db <= p.db1 + 1e-9; db += dbStep) {
        cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
        cairo_move_to(cr, p.x, std::round(p.py(db)) + 0.5);
        cairo_line_to(cr, p.x + p.w, std::round(p.py(db)) + 0.5);
        cairo_stroke(cr);
        // An upper strip leaves its floor label out, so it cannot touch the
        // top label of the strip below.
        if (!timeLabels && db < p.db0 + dbStep / 2) continue;
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, p.x - 6, p.py(db), number(db, dbStep), 1, 0.5);
    }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_rectangle(cr, p.x + 0.5, p.y + 0.5, p.w - 1, p.h - 1);
    cairo_stroke(cr);

    cairo_set_font_size(cr, 13);
    cairo_set_source_rgb(cr, 0, 0, 0);
    if (!title.empty()) text(cr, p.x, p.y - 8, title, 0, 1);
    cairo_set_font_size(cr, 11);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    if (timeLabels) text(cr, p.x + p.w, p.y + p.h + 20, "time (s)", 1, 0);
    cairo_save(cr);
    cairo_translate(cr, p.x - 44, p.y + p.h / 2);
    cairo_rotate(cr, -std::numbers::pi / 2);
    text(cr, 0, 0, "dBFS", 0.5, 0.5);
    cairo_restore(cr);
}

void drawLegend(cairo_t* cr, const Panel& p, bool withSigns) {
    cairo_set_font_size(cr, 11);
    double x = p.x + p.w - (withSigns ? 300 : 130), y = p.y - 8;
    for (int c = 0; c < 2; ++c) {
        setColour(cr, kChannelColours[c], 0.8);
        cairo_rectangle(cr, x, y - 9, 14, 9);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        text(cr, x + 18, y, kChannelNames[c], 0, 1);
        x += 60;
    }
    if (!withSigns) return;
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_new_path(cr);
    cairo_arc(cr, x + 5, y - 4.5, 4, 0, 2 * std::numbers::pi);
    cairo_fill(cr);
    text(cr, x + 13, y, "positive", 0, 1);
    x += 75;
    cairo_new_path(cr);
    cairo_arc(cr, x + 5, y - 4.5, 4, 0, 2 * std::numbers::pi);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    text(cr, x + 13, y, "negative", 0, 1);
}

void drawEnvelope(cairo_t* cr, const Panel& p, const PeakEnvelope& env, int channel, double rate) {
    const std::vector<float>& peaks = env.peaks(channel);
    if (peaks.empty()) return;
    const double bucketSeconds = env.framesPerBucket() / rate;
    const int columns = static_cast<int>(p.w);
    cairo_move_to(cr, p.x, p.py(kFloorDb));
    for (int col = 0; col < columns; ++col) {
        double ta = p.t0 + (p.t1 - p.t0) * col / columns;
        double tb = p.t0 + (p.t1 - p.t0) * (col + 1) / columns;
        size_t a = static_cast<size_t>(ta / bucketSeconds);
        size_t b = std::max(a + 1, static_cast<size_t>(std::ceil(tb / bucketSeconds)));
        float peak = 0;
        for (size_t i = a; i < b && i < peaks.size(); ++i) peak = std::max(peak, peaks[i]);
        cairo_line_to(cr, p.x + col, p.py(toDb(peak)));
        cairo_line_to(cr, p.x + col + 1, p.py(toDb(peak)));
    }
    cairo_line_to(cr, p.x + p.w, p.py(kFloorDb));
    cairo_close_path(cr);
    setColour(cr, kChannelColours[channel], 0.35);
    cairo_fill_preserve(cr);
    setColour(cr, kChannelColours[channel], 0.9);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void drawEchoes(cairo_t* cr, const Panel& p, const std::vector<EchoEvent>& echoes) {
    for (const EchoEvent& e : echoes) {
        double x = p.px(e.peakSeconds), y = p.py(toDb(std::fabs(e.gain)));
        setColour(cr, kChannelColours[e.channel], 0.9);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, x, p.py(kFloorDb));
        cairo_line_to(cr, x, y);
        cairo_stroke(cr);
        cairo_new_path(cr);
        cairo_arc(cr, x, y, 5, 0, 2 * std::numbers::pi);
        if (e.gain > 0) {
            cairo_fill(cr);
        } else {
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_fill_preserve(cr);
            setColour(cr, kChannelColours[e.channel]);
            cairo_stroke(cr);
        }
    }
}

double topDb(double peak) { return peak > 1 ? 6 * std::ceil(toDb(peak) / 6) : 0; }

double peakOf(const PeakEnvelope& env) {
    float peak = 0;
    for (int c = 0; c < 2; ++c)
        for (float v : env.peaks(c)) peak = std::max(peak, v);
    return peak;
}

// One strip per channel, left above right, sharing the time axis.
void drawLevels(cairo_t* cr, double x, double y, double w, double h, double duration,
                double topDbfs, const PeakEnvelope& env, double rate, const std::string& title) {
    const double stripGap = 6, stripH = (h - stripGap) / 2;
    for (int c = 0; c < 2; ++c) {
        Panel strip{x, y + c * (stripH + stripGap), w, stripH, 0, duration, kFloorDb, topDbfs};
        drawFrame(cr, strip, c == 0 ? title : "", c == 1, 30);
        drawEnvelope(cr, strip, env, c, rate);
        cairo_set_font_size(cr, 12);
        setColour(cr, kChannelColours[c]);
        text(cr, strip.x + 8, strip.y + 6, kChannelNames[c], 0, 0);
    }
    Panel first{x, y, w, stripH, 0, duration, kFloorDb, topDbfs};
    drawLegend(cr, first, false);
}

void drawAll(cairo_t* cr, const PlotData& d) {
    cairo_set_source_rgb(cr, 0.96, 0.96, 0.96);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 15);
    cairo_set_source_rgb(cr, 0, 0, 0);
    text(cr, kPlotWidth / 2.0, 14, d.title, 0.5, 0);

    const double left = 80, right = 24, top = 64, gap = 62, bottom = 48;
    const double w = kPlotWidth - left - right;
    const double levelH = (kPlotHeight - top - bottom - 2 * gap) * 0.37;
    const double echoH = kPlotHeight - top - bottom - 2 * gap - 2 * levelH;
    const double duration = std::max<double>(d.output->frames(), 1) / d.sampleRate;
    const double levelTop = topDb(std::max(peakOf(*d.input), peakOf(*d.output)));

    drawLevels(cr, left, top, w, levelH, duration, levelTop, *d.input, d.sampleRate,
               "Input level (peak)");
    drawLevels(cr, left, top + levelH + gap, w, levelH, duration, levelTop, *d.output,
               d.sampleRate, "Output level (peak)");

    double echoEnd = 0.5, echoTop = 0;
    for (const EchoEvent& e : d.echoes) {
        echoEnd = std::max(echoEnd, e.peakSeconds);
        echoTop = std::max(echoTop, std::fabs(e.gain));
    }
    // Some room around the markers: the dry impulse sits at 0 s and 0 dBFS.
    Panel echo{left, top + 2 * (levelH + gap), w, echoH, -echoEnd * 0.02, echoEnd * 1.04,
               kFloorDb, topDb(echoTop * 1.4)};
    drawFrame(cr, echo, "Echo pattern: impulse on the left input, peak of each echo", true, 20);
    drawEchoes(cr, echo, d.echoes);
    drawLegend(cr, echo, true);
}

void check(cairo_status_t status, const std::string& path) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw RenderFailure("cannot draw " + path + ": " + cairo_status_to_string(status));
}

}  // namespace

// Fontconfig keeps its font cache until the process ends, which the leak
// checker of a sanitizer build would report on every plot. Only consulted by
// such builds.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

void checkPlotName(const std::string& path) {
    if (!endsWith(path, ".png") && !endsWith(path, ".svg"))
        throw UsageError("--plot takes a .png or .svg file name, not " + path);
}

void writePlot(const std::string& path, const PlotData& data) {
    AtomicFile file(path);
    const bool svg = endsWith(path, ".svg");
    cairo_surface_t* surface =
        svg ? cairo_svg_surface_create(file.tempPath().c_str(), kPlotWidth, kPlotHeight)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> owner(
        surface, cairo_surface_destroy);
    check(cairo_surface_status(surface), path);
    cairo_t* cr = cairo_create(surface);
    drawAll(cr, data);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    check(status, path);
    if (svg) {
        cairo_surface_finish(surface);
        check(cairo_surface_status(surface), path);
    } else {
        check(cairo_surface_write_to_png(surface, file.tempPath().c_str()), path);
    }
    owner.reset();
    file.commit();
}
