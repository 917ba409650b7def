#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>

#include "gui/gui_session.h"
#include "gui/preview_view.h"

namespace fotolyx::testing {
namespace {

using gui::PreviewPaintState;
using gui::PreviewView;

const QColor WHITE(255, 255, 255);
const QColor DARK(64, 64, 64);
const QColor GREY(192, 192, 192);
const QColor GREEN(0, 255, 0);

QImage Painted(const PreviewPaintState& state) {
    QImage image(580, 450, QImage::Format_RGB32);
    image.fill(GREY);
    QPainter painter(&image);
    PreviewView::Paint(painter, state);
    return image;
}

TEST(PreviewPaintTest, CellFramesPanelsAndTextsSitAtTheirPlaces) {
    const QImage image = Painted(PreviewPaintState{});
    struct Probe {
        int x, y;
        QColor colour;
    };
    // Cell frames (white through (5,55)-(135,175), dark a pixel up and left) of the first and
    // the last cell, no selection edge or bar, the total panel's and the button panel's edges.
    const Probe probes[] = {
        {5, 55, WHITE},   {135, 100, WHITE}, {70, 175, WHITE},  {4, 54, DARK},    {70, 54, DARK},
        {134, 120, DARK}, {133, 120, GREY},  {425, 315, WHITE}, {424, 360, DARK}, {60, 151, GREY},
        {6, 100, GREY},   {30, 20, DARK},    {100, 5, DARK},    {185, 20, WHITE}, {100, 45, WHITE},
        {105, 25, DARK},  {180, 25, WHITE},  {235, 25, DARK},   {545, 25, WHITE},
    };
    for (const Probe& probe : probes) {
        SCOPED_TRACE(::testing::Message() << probe.x << "," << probe.y);
        EXPECT_EQ(image.pixelColor(probe.x, probe.y), probe.colour);
    }
    // "Total" and the count are drawn in black inside their areas.
    auto hasBlack = [&](QRect area) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (image.pixelColor(x, y) == Qt::black) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(hasBlack(QRect(48, 16, 50, 22)));
    EXPECT_TRUE(hasBlack(QRect(125, 16, 12, 20)));
    EXPECT_FALSE(hasBlack(QRect(140, 14, 30, 20)));  // one digit only
}

TEST(PreviewPaintTest, SelectedCellsGetEdgeAndGreenBarAndThumbnailsFillTheirArea) {
    PreviewPaintState state;
    state.pictureChosen = true;
    state.cells[5].selected = true;  // column 1, row 1
    QImage thumbnail(80, 60, QImage::Format_RGB32);
    thumbnail.fill(QColor(200, 30, 40));
    state.cells[2].thumbnail = thumbnail;  // column 2, row 0
    state.cells[2].listText = "0003 F 02/05/14 10:20";
    const QImage image = Painted(state);

    // Cell 5: x0 = 145, y0 = 185.
    EXPECT_EQ(image.pixelColor(200, 185), DARK);  // the 2-pixel top edge
    EXPECT_EQ(image.pixelColor(145, 250), DARK);  // the 2-pixel left edge
    EXPECT_EQ(image.pixelColor(153 + 60, 151 + 130), GREEN);
    EXPECT_EQ(image.pixelColor(153 + 60, 149 + 130), GREEN);
    EXPECT_EQ(image.pixelColor(153 + 60, 153 + 130), GREEN);  // six pixels, over the caption
    EXPECT_EQ(image.pixelColor(153 + 60, 146 + 130), GREY);
    EXPECT_EQ(image.pixelColor(153 + 60, 156 + 130), GREY);
    // Unselected cells have neither.
    EXPECT_EQ(image.pixelColor(60, 151), GREY);
    // The thumbnail is stretched onto (290,60)-(409,149).
    for (const QPoint point : {QPoint(290, 60), QPoint(409, 149), QPoint(350, 100)}) {
        EXPECT_EQ(image.pixelColor(point), QColor(200, 30, 40));
    }
    EXPECT_NE(image.pixelColor(410, 100), QColor(200, 30, 40));
    EXPECT_NE(image.pixelColor(350, 150), QColor(200, 30, 40));
}

TEST(PreviewPaintTest, ButtonsShowTheirNoChoiceBitmapsExactlyWhileNothingIsChosen) {
    bool chosen = false;
    std::vector<std::pair<int, unsigned>> drawn;  // button and item state, in order
    gui::PreviewLogic logic;
    logic.paintState = [&] {
        PreviewPaintState state;
        state.pictureChosen = chosen;
        return state;
    };
    logic.drawItem = [&](int id, unsigned state, unsigned action) {
        EXPECT_EQ(action, ODA_SELECT);
        drawn.emplace_back(id, state);
        return 0;
    };
    PreviewView view(std::move(logic));
    view.resize(580, 450);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    struct Button {
        int id;
        int noChoice, up, pressed;
        QRect place;
    };
    const Button buttons[] = {{3, 122, 120, 121, QRect(245, 10, 90, 30)},
                              {4, 123, 124, 125, QRect(345, 10, 90, 30)},
                              {5, 126, 127, 128, QRect(455, 10, 80, 30)}};
    for (const Button& button : buttons) {
        gui::PictureButtonWidget* widget = view.Button(button.id);
        EXPECT_EQ(widget->geometry(), button.place);
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.noChoice);
    }
    chosen = true;
    for (const Button& button : buttons) {
        gui::PictureButtonWidget* widget = view.Button(button.id);
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.up);
        QTest::mousePress(widget, Qt::LeftButton);
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.pressed);
        QTest::mouseRelease(widget, Qt::LeftButton);
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.up);
        // The drawn bitmap is the one painted from the table.
        EXPECT_EQ(widget->grab().toImage().convertToFormat(QImage::Format_RGB32),
                  gui::ButtonBitmap(button.up)
                      .toImage()
                      .copy(widget->rect())
                      .convertToFormat(QImage::Format_RGB32));
    }
    // Each press and release reached the logic as a selection change.
    EXPECT_EQ(
        drawn,
        (std::vector<std::pair<int, unsigned>>{
            {3, ODS_SELECTED}, {3, 0}, {4, ODS_SELECTED}, {4, 0}, {5, ODS_SELECTED}, {5, 0}}));
}

}  // namespace
}  // namespace fotolyx::testing
