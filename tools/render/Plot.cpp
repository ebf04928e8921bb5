#include "Plot.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
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
constexpr double kDbStep = 30;
constexpr const char* kFont = "sans-serif";

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

double topDb(double peak) { return peak > 1 ? 6 * std::ceil(toDb(peak) / 6) : 0; }

std::vector<double> timeTicks(const PlotPanel& p) {
    std::vector<double> ticks;
    const double step = tickStep(p.t1 - p.t0, 10);
    for (double t = std::ceil(p.t0 / step) * step; t <= p.t1 + step * 1e-6; t += step)
        ticks.push_back(t);
    return ticks;
}

double timeStep(const PlotPanel& p) { return tickStep(p.t1 - p.t0, 10); }

// Multiples of the step from the floor up to the top.
std::vector<double> dbTicks(const PlotPanel& p) {
    std::vector<double> ticks;
    for (double db = std::ceil(p.dbFloor / kDbStep) * kDbStep; db <= p.dbTop + 1e-9; db += kDbStep)
        ticks.push_back(db);
    return ticks;
}

// A waveform strip: the floor in the middle, positive samples above it and
// negative ones below, each half on the dB scale up to the top at the edge.
double waveY(const PlotPanel& p, double sample) {
    const double db = std::clamp(toDb(std::fabs(sample)), p.dbFloor, p.dbTop);
    const double fraction = (db - p.dbFloor) / (p.dbTop - p.dbFloor);
    const double half = p.area.h / 2;
    return p.area.y + half - (sample < 0 ? -1 : 1) * fraction * half;
}

double echoY(const PlotPanel& p, double db) {
    return p.area.y + (p.dbTop - db) / (p.dbTop - p.dbFloor) * p.area.h;
}

// Adds texts to a layout, measured with the font they are drawn in.
class TextSetter {
public:
    TextSetter(cairo_t* cr, PlotLayout& layout) : cr_(cr), layout_(layout) {
        cairo_select_font_face(cr_, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    }

    const PlotText& add(const std::string& text, TextRole role, int panel, double x, double y,
                        double alignX, double alignY, double size, bool upright = false,
                        int colour = -1) {
        cairo_text_extents_t e = extents(text, size);
        PlotBox box = upright ? PlotBox{x - e.height * alignY, y - e.width * (1 - alignX),
                                        e.height, e.width}
                              : PlotBox{x - e.width * alignX, y - e.height * alignY, e.width,
                                        e.height};
        layout_.texts.push_back(
            {text, role, panel, x, y, alignX, alignY, size, upright, colour, box});
        return layout_.texts.back();
    }
    double width(const std::string& text, double size) { return extents(text, size).width; }

private:
    cairo_text_extents_t extents(const std::string& text, double size) {
        cairo_set_font_size(cr_, size);
        cairo_text_extents_t e;
        cairo_text_extents(cr_, text.c_str(), &e);
        return e;
    }
    cairo_t* cr_;
    PlotLayout& layout_;
};

void addTimeAxis(TextSetter& t, const PlotLayout& layout, int panel) {
    const PlotPanel& p = layout.panels[panel];
    const double below = p.area.y + p.area.h;
    for (double tick : timeTicks(p))
        t.add(number(tick, timeStep(p)), TextRole::TimeTick, panel, p.x(tick), below + 5, 0.5, 0,
              11);
    t.add("time (s)", TextRole::AxisTitle, panel, p.area.x + p.area.w, below + 21, 1, 0, 11);
}

// The echo pattern's legend, right-aligned on its title line.
void addLegend(TextSetter& t, PlotLayout& layout, int panel) {
    const PlotPanel& p = layout.panels[panel];
    const struct {
        KeyShape shape;
        const char* text;
    } items[] = {{KeyShape::LeftSwatch, "left"},
                 {KeyShape::RightSwatch, "right"},
                 {KeyShape::Positive, "positive"},
                 {KeyShape::Negative, "negative"}};
    constexpr double kKey = 10, kKeyGap = 4, kItemGap = 16, kSize = 11;
    double total = 0;
    for (const auto& item : items) total += kKey + kKeyGap + t.width(item.text, kSize) + kItemGap;
    double x = p.area.x + p.area.w - total + kItemGap;
    const double base = p.area.y - 8;
    for (const auto& item : items) {
        layout.keys.push_back({item.shape, {x, base - kKey, kKey, kKey}});
        x += kKey + kKeyGap;
        x = t.add(item.text, TextRole::Legend, panel, x, base, 0, 1, kSize).box.x +
            t.width(item.text, kSize) + kItemGap;
    }
}

PlotLayout buildLayout(cairo_t* cr, const PlotData& d) {
    PlotLayout layout;
    TextSetter t(cr, layout);
    t.add(d.title, TextRole::Title, -1, kPlotWidth / 2.0, 14, 0.5, 0, 15);

    const double left = 86, right = 64, top = 64, groupGap = 62, bottom = 40, stripGap = 16;
    const double w = kPlotWidth - left - right;
    const double stripH = 116;
    const double groupH = 2 * stripH + stripGap;
    const double echoH = kPlotHeight - top - bottom - 2 * groupGap - 2 * groupH;

    // One time axis for every panel, long enough for the output and the echoes.
    double lastEcho = 0, echoPeak = 0;
    for (const EchoEvent& e : d.echoes) {
        lastEcho = std::max(lastEcho, e.peakSeconds);
        echoPeak = std::max(echoPeak, std::fabs(e.gain));
    }
    const double duration = std::max<double>(d.output->frames(), 1) / d.sampleRate;
    const double t1 = std::max(duration, lastEcho * 1.02);
    const double levelTop = topDb(std::max(d.input->peak(), d.output->peak()));

    auto addStrips = [&](PanelKind kind, double y, const std::string& title) {
        for (int c = 0; c < 2; ++c) {
            const int index = static_cast<int>(layout.panels.size());
            layout.panels.push_back({kind, c, {left, y + c * (stripH + stripGap), w, stripH}, 0,
                                     t1, kFloorDb, levelTop});
            const PlotPanel& p = layout.panels.back();
            for (double db : dbTicks(p)) {
                t.add(number(db, kDbStep), TextRole::LevelTick, index, left - 6,
                      waveY(p, std::pow(10.0, db / 20)), 1, 0.5, 10);
                if (db > p.dbFloor)
                    t.add(number(db, kDbStep), TextRole::LevelTick, index, left - 6,
                          waveY(p, -std::pow(10.0, db / 20)), 1, 0.5, 10);
            }
            const double middle = p.area.y + p.area.h / 2;
            t.add("dBFS", TextRole::AxisTitle, index, left - 52, middle, 0.5, 0.5, 11, true);
            t.add(kChannelNames[c], TextRole::ChannelName, index, left + w + 8, middle, 0, 0.5, 12,
                  false, c);
            if (c == 0) t.add(title, TextRole::PanelTitle, index, left, p.area.y - 8, 0, 1, 13);
            else addTimeAxis(t, layout, index);
        }
    };
    const std::string waveTitle =
        " (lowest and highest sample per column: positive up, negative down)";
    addStrips(PanelKind::Input, top, "Input" + waveTitle);
    addStrips(PanelKind::Output, top + groupH + groupGap, "Output" + waveTitle);

    const int echo = static_cast<int>(layout.panels.size());
    layout.panels.push_back({PanelKind::Echoes, -1,
                             {left, top + 2 * (groupH + groupGap), w, echoH}, 0, t1, kFloorDb,
                             topDb(echoPeak * 1.4)});
    const PlotPanel& p = layout.panels.back();
    for (double db : dbTicks(p))
        t.add(number(db, kDbStep), TextRole::LevelTick, echo, left - 6, echoY(p, db), 1, 0.5, 10);
    t.add("gain (dB)", TextRole::AxisTitle, echo, left - 52, p.area.y + p.area.h / 2, 0.5, 0.5, 11,
          true);
    t.add("Echo pattern: impulse on the left input, peak of each echo", TextRole::PanelTitle, echo,
          left, p.area.y - 8, 0, 1, 13);
    addTimeAxis(t, layout, echo);
    addLegend(t, layout, echo);
    return layout;
}

void setColour(cairo_t* cr, Colour c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void drawText(cairo_t* cr, const PlotText& text) {
    cairo_set_font_size(cr, text.size);
    if (text.colour >= 0) setColour(cr, kChannelColours[text.colour]);
    else if (text.role == TextRole::Title || text.role == TextRole::PanelTitle)
        cairo_set_source_rgb(cr, 0, 0, 0);
    else cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.text.c_str(), &e);
    cairo_save(cr);
    cairo_translate(cr, text.x, text.y);
    if (text.upright) cairo_rotate(cr, -std::numbers::pi / 2);
    cairo_move_to(cr, -e.width * text.alignX - e.x_bearing, -e.height * text.alignY - e.y_bearing);
    cairo_show_text(cr, text.text.c_str());
    cairo_restore(cr);
}

void gridLine(cairo_t* cr, double x0, double y0, double x1, double y1, double grey) {
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

void drawFrame(cairo_t* cr, const PlotPanel& p) {
    const PlotBox& a = p.area;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, a.x, a.y, a.w, a.h);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1);
    for (double t : timeTicks(p)) {
        double x = std::round(p.x(t)) + 0.5;
        gridLine(cr, x, a.y, x, a.y + a.h, 0.9);
    }
    for (double db : dbTicks(p)) {
        if (p.kind == PanelKind::Echoes) {
            double y = std::round(echoY(p, db)) + 0.5;
            gridLine(cr, a.x, y, a.x + a.w, y, 0.9);
            continue;
        }
        for (double sign : {1.0, -1.0}) {
            double y = std::round(waveY(p, sign * std::pow(10.0, db / 20))) + 0.5;
            gridLine(cr, a.x, y, a.x + a.w, y, db == p.dbFloor ? 0.75 : 0.9);
        }
    }
}

void drawBorder(cairo_t* cr, const PlotPanel& p) {
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, p.area.x + 0.5, p.area.y + 0.5, p.area.w - 1, p.area.h - 1);
    cairo_stroke(cr);
}

// One filled span per pixel column from its lowest to its highest sample,
// joined to the column before when the two do not touch (so a waveform with
// fewer samples than columns stays one line).
void drawWaveform(cairo_t* cr, const PlotPanel& p, const Envelope& env, double rate) {
    const std::vector<float>& lows = env.lows(p.channel);
    const std::vector<float>& highs = env.highs(p.channel);
    if (lows.empty()) return;
    const double bucketSeconds = env.framesPerBucket() / rate;
    const int columns = static_cast<int>(std::ceil(p.area.w));
    double lastTop = 0, lastBottom = 0;
    cairo_new_path(cr);
    for (int col = 0; col < columns; ++col) {
        const double ta = p.t0 + (p.t1 - p.t0) * col / p.area.w;
        const double tb = p.t0 + (p.t1 - p.t0) * (col + 1) / p.area.w;
        const size_t a = static_cast<size_t>(ta / bucketSeconds);
        if (a >= lows.size()) break;
        const size_t end = static_cast<size_t>(std::ceil(tb / bucketSeconds));
        const size_t b = std::min(lows.size(), std::max(a + 1, end));
        float lo = lows[a], hi = highs[a];
        for (size_t i = a + 1; i < b; ++i) {
            lo = std::min(lo, lows[i]);
            hi = std::max(hi, highs[i]);
        }
        double top = waveY(p, hi), bottom = waveY(p, lo);
        if (col > 0) {
            top = std::min(top, lastBottom);
            bottom = std::max(bottom, lastTop);
        }
        cairo_rectangle(cr, p.area.x + col, top - 0.5, 1, bottom - top + 1);
        lastTop = top;
        lastBottom = bottom;
    }
    setColour(cr, kChannelColours[p.channel]);
    cairo_fill(cr);
}

void drawEchoes(cairo_t* cr, const PlotPanel& p, const std::vector<EchoEvent>& echoes) {
    for (const EchoEvent& e : echoes) {
        double x = p.x(e.peakSeconds), y = echoY(p, toDb(std::fabs(e.gain)));
        setColour(cr, kChannelColours[e.channel]);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, x, p.area.y + p.area.h);
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
            cairo_set_line_width(cr, 1.5);
            cairo_stroke(cr);
        }
    }
}

void drawKey(cairo_t* cr, const PlotKey& key) {
    const PlotBox& b = key.box;
    cairo_new_path(cr);
    switch (key.shape) {
        case KeyShape::LeftSwatch:
        case KeyShape::RightSwatch:
            setColour(cr, kChannelColours[key.shape == KeyShape::LeftSwatch ? 0 : 1]);
            cairo_rectangle(cr, b.x, b.y + 1, b.w, b.h - 2);
            cairo_fill(cr);
            break;
        case KeyShape::Positive:
        case KeyShape::Negative:
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            cairo_arc(cr, b.x + b.w / 2, b.y + b.h / 2, b.w / 2 - 0.75, 0, 2 * std::numbers::pi);
            cairo_set_line_width(cr, 1.5);
            if (key.shape == KeyShape::Positive) cairo_fill(cr);
            else cairo_stroke(cr);
            break;
    }
}

void drawAll(cairo_t* cr, const PlotData& d, const PlotLayout& layout) {
    cairo_set_source_rgb(cr, 0.96, 0.96, 0.96);
    cairo_paint(cr);
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    for (const PlotPanel& p : layout.panels) {
        drawFrame(cr, p);
        if (p.kind == PanelKind::Echoes) drawEchoes(cr, p, d.echoes);
        else drawWaveform(cr, p, p.kind == PanelKind::Input ? *d.input : *d.output, d.sampleRate);
        drawBorder(cr, p);
    }
    for (const PlotKey& key : layout.keys) drawKey(cr, key);
    for (const PlotText& text : layout.texts) drawText(cr, text);
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

PlotLayout layoutPlot(const PlotData& data) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(surface);
    PlotLayout layout = buildLayout(cr, data);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return layout;
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
    const PlotLayout layout = buildLayout(cr, data);
    drawAll(cr, data, layout);
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
