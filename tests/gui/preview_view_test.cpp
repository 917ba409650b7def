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

TEST(PreviewPaintTest, FramesPanelsSelectionAndThumbnailsSitAtTheirPlaces) {
    PreviewPaintState state;
    state.pictureChosen = true;
    state.cells[5].selected = true;  // column 1, row 1: x0 = 145, y0 = 185
    QImage thumbnail(80, 60, QImage::Format_RGB32);
    thumbnail.fill(QColor(200, 30, 40));
    state.cells[2].thumbnail = thumbnail;  // stretched onto (290,60)-(409,149)
    state.cells[2].listText = "0003 F 02/05/14 10:20";
    QImage image(580, 450, QImage::Format_RGB32);
    image.fill(GREY);
    QPainter painter(&image);
    PreviewView::Paint(painter, state);
    painter.end();
    const QColor RED(200, 30, 40);
    const struct {
        int x, y;
        QColor colour;
    } probes[] = {
        // clang-format off
        // the first cell's frame: white through (5,55)-(135,175), dark a pixel up and left
        {5, 55, WHITE}, {135, 100, WHITE}, {70, 175, WHITE}, {4, 54, DARK}, {70, 54, DARK},
        {134, 120, DARK}, {133, 120, GREY}, {6, 100, GREY}, {60, 151, GREY},
        // the last cell's frame, the total panel's and the button panel's edges
        {425, 315, WHITE}, {424, 360, DARK}, {30, 20, DARK}, {100, 5, DARK}, {185, 20, WHITE},
        {100, 45, WHITE}, {105, 25, DARK}, {180, 25, WHITE}, {235, 25, DARK}, {545, 25, WHITE},
        // the selected cell's 2-pixel edge and its six-pixel green bar over the caption
        {200, 185, DARK}, {145, 250, DARK}, {213, 276, GREY}, {213, 279, GREEN}, {213, 281, GREEN},
        {213, 283, GREEN}, {213, 286, GREY},
        // the thumbnail
        {290, 60, RED}, {409, 149, RED}, {350, 100, RED},
        // clang-format on
    };
    for (const auto& probe : probes) {
        EXPECT_EQ(image.pixelColor(probe.x, probe.y), probe.colour) << probe.x << "," << probe.y;
    }
    EXPECT_NE(image.pixelColor(410, 100), RED);
    EXPECT_NE(image.pixelColor(350, 150), RED);
    // "Total" and the one-digit count are drawn in black inside their areas.
    auto hasBlack = [&](QRect area) { return DrawnColours(image, area).count(qRgb(0, 0, 0)) == 1; };
    EXPECT_TRUE(hasBlack(QRect(48, 16, 50, 22)));
    EXPECT_TRUE(hasBlack(QRect(125, 16, 12, 20)));
    EXPECT_FALSE(hasBlack(QRect(140, 14, 30, 20)));
}

TEST(PreviewPaintTest, ButtonsShowTheirNoChoiceBitmapsExactlyWhileNothingIsChosen) {
    struct Logic final : gui::PreviewLogic {
        PreviewPaintState PaintState() override { return state; }
        int DrawItem(int id, unsigned itemState, unsigned action) override {
            EXPECT_EQ(action, ODA_SELECT);
            drawn.emplace_back(id, itemState);
            return 0;
        }
        PreviewPaintState state;
        std::vector<std::pair<int, unsigned>> drawn;  // button and item state, in order
    } logic;
    PreviewView view(logic);
    view.resize(580, 450);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const struct {
        int id;
        int noChoice, up, pressed;
        QRect place;
    } buttons[] = {{3, 122, 120, 121, QRect(245, 10, 90, 30)},
                   {4, 123, 124, 125, QRect(345, 10, 90, 30)},
                   {5, 126, 127, 128, QRect(455, 10, 80, 30)}};
    for (const auto& button : buttons) {
        gui::PictureButtonWidget* widget = view.Button(button.id);
        EXPECT_EQ(widget->geometry(), button.place);
        logic.state.pictureChosen = false;
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.noChoice);
        logic.state.pictureChosen = true;
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.up);
        QTest::mousePress(widget, Qt::LeftButton);
        widget->grab();
        EXPECT_EQ(widget->ShownBitmap(), button.pressed);
        QTest::mouseRelease(widget, Qt::LeftButton);
        EXPECT_EQ(widget->grab().toImage().convertToFormat(QImage::Format_RGB32),
                  gui::ButtonBitmap(button.up)
                      .toImage()
                      .copy(widget->rect())
                      .convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(logic.drawn, (std::vector<std::pair<int, unsigned>>{{button.id, ODS_SELECTED},
                                                                      {button.id, 0}}));
        logic.drawn.clear();
    }
}

}  // namespace
}  // namespace fotolyx::testing
