// Printing: placement, lines, circles, arcs and texts as the paint device and the PDF get them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextItem>
#include <QPainter>
#include <array>
#include <functional>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "model/DrawingStore.h"
#include "render/JapaneseFonts.h"
#include "render/Mprint.h"

namespace {

// What reached the paint engine, in device pixels: a line's ends, a path or polyline
// flattened, or an ellipse's box.
struct Stroke {
    std::vector<QPointF> points;
    QRectF ellipse;
    QPen pen;
    QBrush brush;
};
struct Text {
    QString text;
    QPointF baseline, direction;  // where the base line begins, and its unit vector
    int pixelSize = 0;
    QColor colour;
};

class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return begun = true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& s) override {
        if (s.state() & DirtyTransform) transform_ = s.transform();
        if (s.state() & DirtyPen) pen_ = s.pen();
        if (s.state() & DirtyBrush) brush_ = s.brush();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawLines(const QLineF* l, int n) override {
        for (int i = 0; i < n; ++i) Add({transform_.map(l[i].p1()), transform_.map(l[i].p2())});
    }
    void drawEllipse(const QRectF& r) override { Add({}, transform_.mapRect(r)); }
    void drawPath(const QPainterPath& path) override {
        std::vector<QPointF> points;
        for (const QPolygonF& poly : transform_.map(path).toSubpathPolygons())
            points.insert(points.end(), poly.begin(), poly.end());
        Add(points);
    }
    void drawPolygon(const QPointF* p, int n, PolygonDrawMode) override {
        const QPolygonF mapped = transform_.map(QPolygonF(QList<QPointF>(p, p + n)));
        Add({mapped.begin(), mapped.end()});
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QPointF origin = transform_.map(p);
        texts.push_back({item.text(), origin, transform_.map(p + QPointF(1, 0)) - origin,
                         item.font().pixelSize(), pen_.color()});
    }

    bool begun = false;
    std::vector<Stroke> strokes;
    std::vector<Text> texts;

private:
    void Add(std::vector<QPointF> points, QRectF ellipse = {}) {
        strokes.push_back({std::move(points), ellipse, pen_, brush_});
    }
    QTransform transform_;
    QPen pen_;
    QBrush brush_;
};

// An A4 landscape sheet at 600 dpi that records instead of printing.
class RecordingDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable RecordingEngine engine;

protected:
    int metric(PaintDeviceMetric m) const override {
        if (m == PdmWidth) return 7016;
        if (m == PdmHeight) return 4961;
        if (m == PdmDpiX || m == PdmDpiY || m == PdmPhysicalDpiX || m == PdmPhysicalDpiY)
            return 600;
        if (m == PdmDevicePixelRatioScaled) return int(devicePixelRatioFScale());
        return m == PdmDepth ? 32 : m == PdmDevicePixelRatio ? 1 : 0;
    }
};

// Page pixels at 600 dpi of a distance from the paper's edge.
double Px(double mm) { return std::trunc(mm * 600.0 / 25.4); }

void AddRectangle(DrawingStore& s, double x0, double y0, double x1, double y1) {
    s.AppendLine(x0, y0, x1, y0);
    s.AppendLine(x1, y0, x1, y1);
    s.AppendLine(x1, y1, x0, y1);
    s.AppendLine(x0, y1, x0, y0);
}

// The page pixels of the recording's vertical lines (x) and horizontal lines (y).
std::pair<std::set<double>, std::set<double>> Edges(const RecordingEngine& e) {
    std::pair<std::set<double>, std::set<double>> edges;
    for (const Stroke& s : e.strokes) {
        if (s.points.size() != 2) continue;
        if (s.points[0].x() == s.points[1].x()) edges.first.insert(s.points[0].x());
        if (s.points[0].y() == s.points[1].y()) edges.second.insert(s.points[0].y());
    }
    return edges;
}

class Mprint : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InstallJapaneseFontSubstitutes(); }
    DrawingStore store;
    RecordingDevice page;
    const RecordingEngine& out = page.engine;
};

}  // namespace

TEST_F(Mprint, TheWidthFills252MmOrTheHeight180MmAroundTheOriginPlacedAt147By105Mm) {
    AddRectangle(store, 0, 0, 200, 100);
    // A pixel is 0.0336 units here: both ends of the first fall on pixel (1984, 2480).
    store.AppendLine(50.00001, 50.00001, 50.00002, 50.00002);
    store.AppendLine(50, 50, 50.05, 50);
    ASSERT_TRUE(PrintDrawing(page, store));
    EXPECT_NEAR(MakePrintContext(600, 600, 200, 200, 100).scale, 1.26, 1e-15);
    EXPECT_EQ(out.strokes.size(), 5u);
    using Set = std::set<double>;
    EXPECT_EQ(Edges(out), std::pair(Set{Px(21), Px(273)}, Set{Px(42), Px(168), Px(105)}));
    for (const Stroke& s : out.strokes) {
        EXPECT_EQ(s.pen.widthF(), 2.0);
        EXPECT_FALSE(s.pen.isCosmetic());
        EXPECT_EQ(s.pen.color(), QColor(Qt::black));
    }

    DrawingStore square;
    AddRectangle(square, 0, 0, 100, 100);
    RecordingDevice squarePage;
    ASSERT_TRUE(PrintDrawing(squarePage, square));
    EXPECT_NEAR(MakePrintContext(600, 600, 140, 100, 100).scale, 1.8, 1e-15);
    EXPECT_EQ(Edges(squarePage.engine), std::pair(Set{Px(57), Px(237)}, Set{Px(15), Px(195)}));

}

// The page used to be placed from the world origin, the box's corner wherever it was: a
// drawing away from the origin printed partly or not at all, and one of circles alone, with
// no line to scale by, not at all.
TEST_F(Mprint, WhateverIsDrawnWhereverItLiesFillsThePageAroundItsCentre) {
    struct Row {
        const char* what;
        std::function<void(DrawingStore&)> draw;
        double left, right, top, bottom;  // where the box's edges print, in mm
    };
    const Row rows[] = {
        {"moved by 1000, a circle and a text inside",
         [](DrawingStore& s) {
             AddRectangle(s, 1000, 0, 1200, 100);
             s.AppendCircle(1100, 50, 20, 0, 0);
             s.AppendText(1100, 50, "a", 5, 0);
         },
         21, 273, 42, 168},
        {"far off in both directions", [](DrawingStore& s) { AddRectangle(s, -3e6, 5e6, -3e6 + 100, 5e6 + 100); },
         57, 237, 15, 195},
        // Circle and arc: x from 450 to 750, y from 450 to 550.
        {"circles alone",
         [](DrawingStore& s) {
             s.AppendCircle(500, 500, 50, 0, 0);
             s.AppendCircle(700, 500, 50, 0, 90);
         },
         21, 273, 63, 147},
        // The quarter from 0 to 90 degrees spans its own quarter of the circle, no more.
        {"an arc alone", [](DrawingStore& s) { s.AppendCircle(0, 0, 100, 0, 90); }, 57, 237, 15, 195},
        {"an arc through 0", [](DrawingStore& s) { s.AppendCircle(0, 0, 100, 315, 45); },
         147 - 0.5 * (100 - 100 * std::sqrt(0.5)) * 252 / (1.4 * 100 * std::sqrt(2.0)),
         147 + 0.5 * (100 - 100 * std::sqrt(0.5)) * 252 / (1.4 * 100 * std::sqrt(2.0)), 15, 195},
    };
    for (const Row& r : rows) {
        DrawingStore drawing;
        r.draw(drawing);
        RecordingDevice sheet;
        ASSERT_TRUE(PrintDrawing(sheet, drawing)) << r.what;
        ASSERT_FALSE(sheet.engine.strokes.empty()) << r.what;
        QRectF ink;
        for (const Stroke& s : sheet.engine.strokes) {
            QRectF box = s.ellipse;
            for (const QPointF& p : s.points) box |= QRectF(p, QSizeF(0, 0)).adjusted(0, 0, 1e-9, 1e-9);
            ink |= box;
        }
        EXPECT_NEAR(ink.left(), Px(r.left), 2) << r.what;
        EXPECT_NEAR(ink.right(), Px(r.right), 2) << r.what;
        EXPECT_NEAR(ink.top(), Px(r.top), 2) << r.what;
        EXPECT_NEAR(ink.bottom(), Px(r.bottom), 2) << r.what;
        for (const Text& t : sheet.engine.texts) EXPECT_TRUE(ink.contains(t.baseline)) << r.what;
    }
}

TEST_F(Mprint, CirclesAreUnfilledEllipsesAndArcsRunCounterClockwiseOnThePage) {
    AddRectangle(store, 0, 0, 200, 100);
    store.AppendCircle(100, 50, 20, 0, 0);
    store.AppendCircle(100, 50, 20, 0, 90);    // the upper right quarter
    store.AppendCircle(100, 50, 20, 270, 90);  // the right half, through 0
    store.AppendCircle(100, 50, 20, 90, 0);    // three quarters, all but the upper right
    ASSERT_TRUE(PrintDrawing(page, store));
    ASSERT_EQ(out.strokes.size(), 8u);
    // Centre at (147, 105) mm, radius 20 * 1.26 = 25.2 mm.
    const double cx = Px(147), cy = Px(105), r = Px(25.2);
    EXPECT_EQ(out.strokes[4].ellipse, QRectF(QPointF(Px(147 - 25.2), Px(105 - 25.2)),
                                             QPointF(Px(147 + 25.2), Px(105 + 25.2))));
    EXPECT_EQ(out.strokes[4].brush.style(), Qt::NoBrush);

    auto quadrants =
        [&](const Stroke& s) {  // points upper right, upper left, lower left, lower right
            std::array<int, 4> n{};
            for (const QPointF& p : s.points) {
                const double dx = p.x() - cx, dy = p.y() - cy;
                EXPECT_NEAR(std::hypot(dx, dy), r, 3.0);
                if (std::abs(dx) > 3 && std::abs(dy) > 3)
                    n[dy < 0 ? (dx > 0 ? 0 : 1) : (dx < 0 ? 2 : 3)]++;
            }
            return std::array<bool, 4>{n[0] > 0, n[1] > 0, n[2] > 0, n[3] > 0};
        };
    EXPECT_EQ(quadrants(out.strokes[5]), (std::array<bool, 4>{true, false, false, false}));
    EXPECT_NEAR(out.strokes[5].points.front().x(), cx + r, 2);  // from 0 degrees
    EXPECT_NEAR(out.strokes[5].points.back().y(), cy - r, 2);   // to the top
    EXPECT_EQ(quadrants(out.strokes[6]), (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(quadrants(out.strokes[7]), (std::array<bool, 4>{false, true, true, true}));
}

// An arc's end points are truncated to pixels; when both fall on one, the rays alone cannot
// tell a sliver from a nearly closed ring, and taken alone they would print one as the other.
TEST_F(Mprint, AnArcWhoseEndsShareAPixelIsASliverOrARingAsItsAnglesSay) {
    AddRectangle(store, 0, 0, 200, 100);
    store.AppendCircle(100, 50, 20, 10, 10.00001);  // nothing to see
    store.AppendCircle(100, 50, 20, 10, 9.99999);   // all but a hair of a ring
    ASSERT_TRUE(PrintDrawing(page, store));
    ASSERT_EQ(out.strokes.size(), 5u);
    const std::vector<QPointF>& ring = out.strokes[4].points;
    ASSERT_GT(ring.size(), 16u);
    EXPECT_NEAR(QLineF(ring.front(), ring.back()).length(), 0, 1);
    EXPECT_NEAR(QLineF(ring.front(), ring[ring.size() / 2]).length(), 2 * Px(25.2), 2);
}

TEST_F(Mprint, ACircleFarLargerThanTheSheetPrintsOnlyItsPartByTheSheetWithoutBending) {
    // On the page of a drawing of 200 by 100, its top touches (100, 50), the middle of the
    // page, with a radius of 12.6 km on paper.
    {
        QPainter painter(&page);
        PrintContext context;
        BeginPrintPage(context, painter, 200, 200, 100);
        PrintCircle(context, painter, 100, -1e7, 1e7 + 50, 0, 0, 1.0);
        PrintCircle(context, painter, 100, -1e7, 1e7 + 50, 0, 1, 1.0);  // far off at the right
    }
    ASSERT_EQ(out.strokes.size(), 1u);
    // It crosses the sheet once, near straight, with no far-flung point handed over.
    const std::vector<QPointF>& points = out.strokes.back().points;
    const QLineF across(Px(147), 0, Px(147), 4961);
    int crossings = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_LT(QLineF(points[i], QPointF(Px(147), Px(105))).length(), 6000);
        QPointF at;
        if (i > 0 && QLineF(points[i - 1], points[i]).intersects(across, &at) ==
                         QLineF::BoundedIntersection) {
            EXPECT_NEAR(at.y(), Px(105), 1.0);
            ++crossings;
        }
    }
    EXPECT_EQ(crossings, 1);
    EXPECT_LT(std::min(points.front().x(), points.back().x()), 0);
    EXPECT_GT(std::max(points.front().x(), points.back().x()), 7016);
}

TEST_F(Mprint, TextsAreBlackSizedByHeightAndStandOnTheirInsertionPoint) {
    AddRectangle(store, 0, 0, 200, 100);
    store.AppendText(20, 20, "日本", 5, 0);
    store.AppendText(100, 50, "up", 5, 90);
    store.AppendText(10, 10, "tiny", 1e-6, 0);
    ASSERT_TRUE(PrintDrawing(page, store));
    ASSERT_EQ(out.texts.size(), 3u);

    const Text& flat = out.texts[0];
    EXPECT_EQ(flat.text, QString::fromUtf8("日本"));
    // The scale is the double just below 1.26, so 5 * scale * 20 truncates to 125, not 126.
    EXPECT_EQ(flat.pixelSize, 125);
    EXPECT_EQ(flat.colour, QColor(Qt::black));
    EXPECT_EQ(flat.direction, QPointF(1, 0));
    // The base line lies just above the insertion point, by the face's descent.
    const double x0 = Px(21 + 20 * 1.26), y0 = Px(168 - 20 * 1.26);
    EXPECT_EQ(flat.baseline.x(), x0);
    EXPECT_LT(flat.baseline.y(), y0);
    EXPECT_GT(flat.baseline.y(), y0 - 0.4 * 125);

    // Turned by 90 degrees it runs upwards, its lower-left corner still on the point.
    const Text& up = out.texts[1];
    EXPECT_NEAR(up.direction.x(), 0, 1e-9);
    EXPECT_NEAR(up.direction.y(), -1, 1e-9);
    EXPECT_NEAR(up.baseline.y(), Px(105), 1);
    EXPECT_LT(up.baseline.x(), Px(147));
    EXPECT_GT(up.baseline.x(), Px(147) - 0.4 * 125);

    EXPECT_EQ(out.texts[2].pixelSize, 1);
}

TEST_F(Mprint, NothingIsPrintedWhenNothingIsAliveAndNoPdfIsLeftWhenItCannotBeWritten) {
    store.AppendCircle(0, 0, 10, 0, 0);
    store.AppendText(0, 0, "a", 1, 0);
    store.AppendLine(0, 0, 10, 0);
    store.DeleteLine(0, 0);
    store.DeleteCircle(0, 0);
    store.text(0).alive = 0;
    EXPECT_FALSE(PrintDrawing(page, store));
    EXPECT_FALSE(out.begun);
    QTemporaryDir dir;
    EXPECT_FALSE(PrintDrawingToPdf(dir.filePath("none.pdf").toStdString(), store));

    AddRectangle(store, 0, 0, 200, 100);
    EXPECT_FALSE(PrintDrawingToPdf(dir.filePath("missing/drawing.pdf").toStdString(), store));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

namespace {

// The page of a PDF as pdftoppm draws it, in grey at 100 dpi; null when the tool is missing.
QImage Rendered(const QString& pdf) {
    const QString tool = QStandardPaths::findExecutable("pdftoppm");
    if (tool.isEmpty()) return {};
    const QString prefix = pdf + "-page";
    QProcess::execute(tool, {"-r", "100", "-gray", "-singlefile", pdf, prefix});
    return QImage(prefix + ".pgm");
}

// Whether ink lies within 2 pixels of the given point, in millimetres from the corner.
bool InkAt(const QImage& page, double xMm, double yMm) {
    const int x = int(xMm / 25.4 * 100), y = int(yMm / 25.4 * 100);
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (qGray(page.pixel(x + dx, y + dy)) < 200) return true;
    return false;
}

}  // namespace

TEST_F(Mprint, APdfIsALandscapeA4PageWithTheDrawingPlacedFromThePapersEdge) {
    AddRectangle(store, 0, 0, 200, 100);
    store.AppendText(20, 20, "日本", 5, 0);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("drawing.pdf");
    ASSERT_TRUE(PrintDrawingToPdf(pdf.toStdString(), store));
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("/MediaBox [0 0 842"));

    // A writer with margins of its own, as a printer has: the placement does not move.
    const QString framed = dir.filePath("framed.pdf");
    {
        QPdfWriter writer(framed);
        writer.setResolution(300);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter));
        ASSERT_TRUE(PrintDrawing(writer, store));
    }
    for (const QString& path : {pdf, framed}) {
        const QImage page = Rendered(path);
        if (page.isNull()) GTEST_SKIP() << "pdftoppm is not installed";
        EXPECT_NEAR(page.width(), 1169.3, 1);  // landscape A4 at 100 dpi
        EXPECT_NEAR(page.height(), 826.8, 1);
        EXPECT_TRUE(InkAt(page, 21, 105)) << path.toStdString();
        EXPECT_TRUE(InkAt(page, 273, 105));
        EXPECT_TRUE(InkAt(page, 147, 42));
        EXPECT_TRUE(InkAt(page, 147, 168));
        EXPECT_FALSE(InkAt(page, 147, 105));
    }
    // The text's glyphs stand just above the insertion point, (46.2, 142.8) mm.
    const QImage page = Rendered(pdf);
    int ink = 0;
    for (double x = 46.5; x < 56; x += 0.5)
        for (double y = 139; y < 142.5; y += 0.5) ink += InkAt(page, x, y);
    EXPECT_GT(ink, 20);
}
