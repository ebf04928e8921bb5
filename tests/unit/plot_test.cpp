// The renderer's plot: where its texts and panels go for renders short and
// long, and what the drawn picture shows of a long render's echoes.
#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Plot.h"

namespace fs = std::filesystem;

namespace {

constexpr double kRate = 48000;

// `seconds` of silence in both channels with the given clicks.
struct Click {
    double seconds;
    int channel;
    float value;
};

Envelope envelope(double seconds, const std::vector<Click>& clicks) {
    Envelope env;
    const int64_t frames = static_cast<int64_t>(seconds * kRate);
    std::vector<float> left(4096), right(4096);
    for (int64_t done = 0; done < frames;) {
        const int n = static_cast<int>(std::min<int64_t>(4096, frames - done));
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        for (const Click& c : clicks) {
            const int64_t at = static_cast<int64_t>(c.seconds * kRate) - done;
            if (at >= 0 && at < n) (c.channel == 0 ? left : right)[at] = c.value;
        }
        env.add(left.data(), right.data(), n);
        done += n;
    }
    return env;
}

struct Case {
    const char* name;
    double seconds;
    std::vector<Click> output;
    std::vector<EchoEvent> echoes;
};

std::vector<Case> cases() {
    const std::vector<EchoEvent> echoes = {
        {0, 0, 0, 1.0}, {1, 0.5, 0.5, -0.17}, {0, 1.0, 1.0, -0.057}, {1, 1.5, 1.5, 0.02}};
    return {
        {"short", 0.05, {{0.001, 0, 0.9f}}, echoes},
        {"demo", 8.8, {{0.2, 0, 0.7f}, {0.7, 1, -0.2f}}, echoes},
        {"long", 600, {{100, 0, 0.5f}, {104, 1, -0.01f}}, echoes},
        {"loud", 3, {{1, 0, 2.5f}, {2, 1, -1.7f}}, {{0, 0, 0, 2.0}}},
        {"no echoes", 2, {{1, 0, 0.5f}}, {}},
    };
}

const PlotPanel* findPanel(const PlotLayout& layout, PanelKind kind, int channel) {
    for (const PlotPanel& p : layout.panels)
        if (p.kind == kind && p.channel == channel) return &p;
    return nullptr;
}

bool hasText(const PlotLayout& layout, int panel, TextRole role, const std::string& text) {
    for (const PlotText& t : layout.texts)
        if (t.panel == panel && t.role == role && t.text == text) return true;
    return false;
}

TEST(Plot, TextsStayClearOfThePanelsAndOfEachOther) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const Envelope in = envelope(c.seconds, {{0, 0, 0.8f}});
        const Envelope out = envelope(c.seconds, c.output);
        const PlotLayout layout = layoutPlot({"Brindlewave: a title", kRate, &in, &out, c.echoes});
        ASSERT_EQ(layout.panels.size(), 5u);
        const PlotBox picture{0, 0, kPlotWidth, kPlotHeight};
        for (size_t i = 0; i < layout.texts.size(); ++i) {
            const PlotText& t = layout.texts[i];
            SCOPED_TRACE(t.text);
            EXPECT_GE(t.box.x, picture.x);
            EXPECT_GE(t.box.y, picture.y);
            EXPECT_LE(t.box.x + t.box.w, picture.w);
            EXPECT_LE(t.box.y + t.box.h, picture.h);
            for (const PlotPanel& p : layout.panels) EXPECT_FALSE(t.box.overlaps(p.area));
            for (size_t j = i + 1; j < layout.texts.size(); ++j)
                EXPECT_FALSE(t.box.overlaps(layout.texts[j].box)) << layout.texts[j].text;
            for (const PlotKey& k : layout.keys) EXPECT_FALSE(t.box.overlaps(k.box));
        }
    }
}

TEST(Plot, EveryPanelHasItsAxesLabelled) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const Envelope in = envelope(c.seconds, {});
        const Envelope out = envelope(c.seconds, c.output);
        const PlotLayout layout = layoutPlot({"t", kRate, &in, &out, c.echoes});
        for (int i = 0; i < static_cast<int>(layout.panels.size()); ++i) {
            const PlotPanel& p = layout.panels[i];
            SCOPED_TRACE(i);
            const bool wave = p.kind != PanelKind::Echoes;
            EXPECT_TRUE(hasText(layout, i, TextRole::AxisTitle, wave ? "dBFS" : "gain (dB)"));
            // Floor and full scale are both marked; a strip marks both halves.
            int zeros = 0, floors = 0;
            for (const PlotText& t : layout.texts)
                if (t.panel == i && t.role == TextRole::LevelTick) {
                    zeros += t.text == "0";
                    floors += t.text == "-90";
                    EXPECT_LT(t.box.x + t.box.w, p.area.x);
                    EXPECT_GE(t.box.y + t.box.h, p.area.y - 6);
                    EXPECT_LE(t.box.y, p.area.y + p.area.h + 6);
                }
            EXPECT_EQ(zeros, wave ? 2 : 1);
            EXPECT_EQ(floors, 1);
            // Each group's lowest panel carries the time axis.
            if (p.channel != 0) {
                EXPECT_TRUE(hasText(layout, i, TextRole::AxisTitle, "time (s)"));
                int ticks = 0, origins = 0;
                for (const PlotText& t : layout.texts)
                    if (t.panel == i && t.role == TextRole::TimeTick) {
                        ++ticks;
                        origins += std::strtod(t.text.c_str(), nullptr) == 0;
                        EXPECT_GT(t.box.y, p.area.y + p.area.h);
                    }
                EXPECT_GE(ticks, 5);
                EXPECT_EQ(origins, 1);
            }
            if (wave) {
                const char* name = p.channel == 0 ? "left" : "right";
                EXPECT_TRUE(hasText(layout, i, TextRole::ChannelName, name));
            }
        }
    }
}

TEST(Plot, AllPanelsShareOneTimeAxis) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const Envelope in = envelope(c.seconds, {});
        const Envelope out = envelope(c.seconds, c.output);
        const PlotLayout layout = layoutPlot({"t", kRate, &in, &out, c.echoes});
        const PlotPanel* output = findPanel(layout, PanelKind::Output, 1);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->t0, 0);
        EXPECT_GE(output->t1, c.seconds);
        for (const PlotPanel& p : layout.panels) {
            EXPECT_EQ(p.area.x, output->area.x);
            EXPECT_EQ(p.area.w, output->area.w);
            EXPECT_EQ(p.t0, output->t0);
            EXPECT_EQ(p.t1, output->t1);
        }
        for (const EchoEvent& e : c.echoes) EXPECT_LE(e.peakSeconds, output->t1);
    }
}

// Pixels of a channel's colour in a rectangle of the picture.
class Picture {
public:
    explicit Picture(const std::string& path)
        : surface_(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Picture() { cairo_surface_destroy(surface_); }
    bool ok() const { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface_); }
    int height() const { return cairo_image_surface_get_height(surface_); }

    // Rows y0..y1 of column x that show `channel`'s colour.
    int count(int channel, int x, int y0, int y1) const {
        static const int colours[2][3] = {{31, 107, 191}, {230, 102, 13}};
        const unsigned char* data = cairo_image_surface_get_data(surface_);
        const int stride = cairo_image_surface_get_stride(surface_);
        int n = 0;
        for (int y = std::max(0, y0); y <= std::min(height() - 1, y1); ++y) {
            const uint32_t pixel = *reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x);
            const int rgb[3] = {static_cast<int>((pixel >> 16) & 255),
                                static_cast<int>((pixel >> 8) & 255),
                                static_cast<int>(pixel & 255)};
            bool near = true;
            for (int k = 0; k < 3; ++k) near = near && std::abs(rgb[k] - colours[channel][k]) < 24;
            n += near;
        }
        return n;
    }

private:
    cairo_surface_t* surface_;
};

TEST(Plot, LongRendersShowEchoesWithTheirSigns) {
    // Ten minutes: a click on the left and two quiet echoes on the right, one
    // negative at -40 dB, one positive at -60 dB, far fewer pixel columns
    // than samples.
    const Envelope in = envelope(600, {{100, 0, 0.5f}});
    const Envelope out = envelope(600, {{100, 0, 0.5f}, {104, 1, -0.01f}, {300, 1, 0.001f}});
    const std::vector<EchoEvent> echoes = {{0, 0, 0, 1.0}, {1, 4, 4, -0.17}};
    const PlotData data{"long", kRate, &in, &out, echoes};
    const fs::path file =
        fs::temp_directory_path() / ("bw-plot-" + std::to_string(getpid()) + ".png");
    writePlot(file, data);
    Picture picture(file);
    fs::remove(file);
    ASSERT_TRUE(picture.ok());
    ASSERT_EQ(picture.width(), kPlotWidth);

    const PlotLayout layout = layoutPlot(data);
    const PlotPanel& left = *findPanel(layout, PanelKind::Output, 0);
    const PlotPanel& right = *findPanel(layout, PanelKind::Output, 1);
    auto column = [](const PlotPanel& p, double t) { return static_cast<int>(p.x(t)); };
    // Rows above and below the floor line, clear of it and of the border.
    auto upper = [](const PlotPanel& p) {
        const int middle = static_cast<int>(p.area.y + p.area.h / 2);
        return std::pair(static_cast<int>(p.area.y) + 1, middle - 2);
    };
    auto lower = [](const PlotPanel& p) {
        const int middle = static_cast<int>(p.area.y + p.area.h / 2);
        return std::pair(middle + 2, static_cast<int>(p.area.y + p.area.h) - 1);
    };
    // Strongest of three columns around a time, above or below the floor.
    auto ink = [&](const PlotPanel& p, double t, std::pair<int, int> rows) {
        int most = 0;
        for (int dx = -1; dx <= 1; ++dx)
            most = std::max(most,
                            picture.count(p.channel, column(p, t) + dx, rows.first, rows.second));
        return most;
    };
    const double half = right.area.h / 2;
    // -6 dB reaches most of the way up; -40 dB about half way down; -60 dB a third up.
    EXPECT_GT(ink(left, 100, upper(left)), 0.8 * half);
    EXPECT_EQ(ink(left, 100, lower(left)), 0);
    EXPECT_GT(ink(right, 104, lower(right)), 0.45 * half);
    EXPECT_LT(ink(right, 104, lower(right)), 0.65 * half);
    EXPECT_EQ(ink(right, 104, upper(right)), 0);
    EXPECT_GT(ink(right, 300, upper(right)), 0.25 * half);
    EXPECT_EQ(ink(right, 300, lower(right)), 0);
    // Between them only the floor line.
    for (double t : {50.0, 102.0, 200.0, 450.0}) {
        EXPECT_EQ(ink(right, t, upper(right)), 0) << t;
        EXPECT_EQ(ink(right, t, lower(right)), 0) << t;
    }

    // The echo pattern's marker for the echo at 4 s stands in the column of 4 s
    // of the output above it.
    const PlotPanel& echo = *findPanel(layout, PanelKind::Echoes, -1);
    const int rows0 = static_cast<int>(echo.area.y + echo.area.h / 2);
    const int rows1 = static_cast<int>(echo.area.y + echo.area.h) - 2;
    int stem = -1;
    for (int x = static_cast<int>(echo.area.x) + 2; x < echo.area.x + echo.area.w && stem < 0; ++x)
        if (picture.count(1, x, rows0, rows1) > 0.8 * (rows1 - rows0)) stem = x;
    EXPECT_NEAR(stem, right.x(4), 1.5);
}

}  // namespace
