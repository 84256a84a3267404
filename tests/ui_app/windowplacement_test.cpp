// The window's arrangement where the window system places windows itself (Wayland): the
// size and the panes come back, the window is never moved, and the place an X session
// stored survives a Wayland session for the next X one.
#include "app/ui/windowlayoutkeeper.h"
#include "app/windowlayout.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

using namespace quillon;
using quillon::test::TTempDir;

struct TWindow {
    explicit TWindow(const TTempDir& dir, bool placeWindows)
    {
        splitter = new QSplitter(&widget);
        splitter->setObjectName("VerticalSplitter");
        splitter->addWidget(new QLabel("tree"));
        splitter->addWidget(new QLabel("pictures"));
        (new QVBoxLayout(&widget))->addWidget(splitter);
        widget.resize(300, 200);
        widget.move(17, 23);
        keeper = std::make_unique<TWindowLayoutKeeper>(
            dir.AppDir(), widget, QSize(200, 150), std::vector<QSplitter*>{splitter}, [this] { return fit; },
            [this](bool on) { fit = on; }, placeWindows);
    }

    QWidget widget;
    QSplitter* splitter;
    bool fit = false;
    std::unique_ptr<TWindowLayoutKeeper> keeper;
};

TEST(WindowPlacement, WithoutPlacingTheSizeAndPanesComeBackAndTheStoredPlaceStays)
{
    TTempDir dir;
    dir.Write("windowlayout.xml", "<windowlayout><window x=\"60\" y=\"40\" width=\"500\" height=\"400\" "
                                  "maximized=\"0\"/><splitter name=\"VerticalSplitter\" sizes=\"120,360\"/>"
                                  "<fittopane value=\"1\"/></windowlayout>");
    for (const bool placeWindows : {true, false}) {
        SCOPED_TRACE(placeWindows ? "X" : "Wayland");
        TWindow w(dir, placeWindows);
        EXPECT_TRUE(w.keeper->RestoreWindow());
        w.widget.show();
        QApplication::processEvents();
        w.keeper->RestoreSplitters();
        EXPECT_EQ(w.widget.size(), QSize(500, 400));
        EXPECT_EQ(w.widget.frameGeometry().topLeft(), placeWindows ? QPoint(60, 40) : QPoint(17, 23));
        EXPECT_NEAR(w.splitter->sizes().at(0), 120, 2);  // shared out over the real width
        EXPECT_TRUE(w.fit);
    }

    // A Wayland session that made the window larger keeps the X session's place.
    {
        TWindow w(dir, false);
        w.keeper->RestoreWindow();
        w.widget.show();
        w.widget.resize(600, 450);
        QApplication::processEvents();
        w.keeper->Save();
    }
    EXPECT_EQ(LoadWindowLayout(dir.AppDir()).window, (TWindowRect{60, 40, 600, 450}));

    // With no place stored yet, the next X session opens the window centred.
    std::filesystem::remove(dir.Path() / "windowlayout.xml");
    {
        TWindow w(dir, false);
        EXPECT_FALSE(w.keeper->RestoreWindow());
        w.widget.show();
        QApplication::processEvents();
        w.keeper->Save();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = w.widget.frameGeometry();
        const TWindowRect expected{area.x() + (area.width() - frame.width()) / 2,
                                   area.y() + (area.height() - frame.height()) / 2, w.widget.width(),
                                   w.widget.height()};
        EXPECT_EQ(LoadWindowLayout(dir.AppDir()).window, expected);
        EXPECT_EQ(w.widget.frameGeometry().topLeft(), QPoint(17, 23));
    }
}

} // namespace
