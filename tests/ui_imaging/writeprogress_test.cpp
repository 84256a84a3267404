#include "imaging/ui/writeprogress.h"

#include <QProgressDialog>
#include <QWidget>
#include <gtest/gtest.h>

using namespace quillon;

// A write done before the delay shows nothing. A longer one shows a dialog modal to the
// window that follows the encoder, and it goes as soon as the file is complete.
TEST(WriteProgress, ShowsOnlyForALongWriteAndGoesWhenItEnds)
{
    QWidget window;
    window.show();
    {
        TWriteProgress quick(&window, 60'000);
        const TEncodeProgress tell = quick.Callback();
        tell(0);
        tell(0.5);
        EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
        tell(1);
    }
    TWriteProgress slow(&window, 0);
    const TEncodeProgress tell = slow.Callback();
    tell(0);
    tell(0.25);
    const QProgressDialog* dialog = window.findChild<QProgressDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->value(), dialog->maximum() / 4);
    tell(0.5);
    EXPECT_EQ(dialog->value(), dialog->maximum() / 2);
    tell(1);
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

// The window closed while its dialog is up takes the dialog with it; the progress is
// left with nothing to delete.
TEST(WriteProgress, OutlivesTheWindow)
{
    auto window = std::make_unique<QWidget>();
    TWriteProgress progress(window.get(), 0);
    const TEncodeProgress tell = progress.Callback();
    tell(0.3);
    ASSERT_NE(window->findChild<QProgressDialog*>(), nullptr);
    window.reset();
}
