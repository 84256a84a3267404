#include "imaging/picturefiles.h"
#include "imaging/picturemessages.h"
#include "imaging/ui/fileformatchoiceform.h"
#include "imaging/ui/gifpropsform.h"
#include "imaging/ui/jpegpropsform.h"

#include "support/tempdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

using namespace quillon;
using quillon::test::TTempDir;
namespace fs = std::filesystem;

namespace {

TBitmap Logo()
{
    TBitmap b(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = b.Pixel(x, y);
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(y * 5);
            p[2] = static_cast<uint8_t>((x ^ y) * 3);
        }
    return b;
}

template <class T>
T* Child(QWidget* form, const char* name)
{
    T* c = form->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

class PropsFormsTest : public ::testing::Test {
protected:
    // Runs the dialog; inside runs while it is open and decides how it closes.
    bool Run(TPicturePropsForm& form, const std::function<void()>& inside)
    {
        QTimer::singleShot(0, &form, inside);
        return form.Execute(logo, dir.AppDir(), fs::path(temp).filename().string(), options, [this] { ++saves; });
    }
    qint64 SizeLabel(QWidget& form) { return Child<QLabel>(&form, "ImageSizeLabel")->text().toLongLong(); }
    qint64 FileSize() const { return static_cast<qint64>(fs::file_size(temp)); }

    TTempDir dir;  // a fresh application folder: no "Temp" in it yet
    std::string temp = (dir.Path() / "Temp" / "logo.jpg").string();
    TBitmap logo = Logo();
    TOptions options;
    int saves = 0;
};

TEST_F(PropsFormsTest, JpegQualitySnapsToTensAndTheSizeIsTheFilesSize)
{
    TJPEGPropsForm form;
    EXPECT_EQ(form.windowTitle(), "JPEG Picture Properties");
    options.jpegquality = 60;
    const bool ok = Run(form, [&] {
        auto* bar = Child<QSlider>(&form, "JPEGQualityTrackBar");
        auto* label = Child<QLabel>(&form, "JPEGQualityLabel");
        EXPECT_EQ(bar->value(), 60);
        EXPECT_EQ(label->text(), "60%");
        EXPECT_EQ(SizeLabel(form), FileSize());
        const qint64 at60 = SizeLabel(form);
        const struct {
            int moved, snapped;
        } cases[] = {{84, 80}, {85, 90}, {14, 10}, {100, 100}};
        for (const auto& c : cases) {
            bar->setValue(c.moved);
            EXPECT_EQ(bar->value(), c.snapped);
            EXPECT_EQ(label->text(), QString::number(c.snapped) + "%");
            EXPECT_EQ(form.LastPreviewValue(), c.snapped);
            EXPECT_EQ(SizeLabel(form), FileSize());
        }
        EXPECT_GT(SizeLabel(form), at60);  // quality 100 costs more bytes
        // The preview is the file decoded again.
        EXPECT_EQ(Child<QLabel>(&form, "JPEGImage")->pixmap().size(), QSize(64, 48));
        bar->setValue(84);
        Child<QCheckBox>(&form, "ShowJPEGDialogCheckBox")->setChecked(false);
        form.accept();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(options.jpegquality, 80);
    EXPECT_FALSE(options.showjpegdialog);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(LoadPicture(temp).Width(), 64);
}

TEST_F(PropsFormsTest, CancelStoresNothing)
{
    TJPEGPropsForm jpeg;
    TGIFPropsForm gif;
    const TOptions before = options;
    EXPECT_FALSE(Run(jpeg, [&] {
        Child<QSlider>(&jpeg, "JPEGQualityTrackBar")->setValue(30);
        Child<QCheckBox>(&jpeg, "ShowJPEGDialogCheckBox")->setChecked(false);
        jpeg.reject();
    }));
    temp = (dir.Path() / "Temp" / "logo.gif").string();
    EXPECT_FALSE(Run(gif, [&] {
        Child<QSlider>(&gif, "GIFBitDepthTrackBar")->setValue(4);
        gif.reject();
    }));
    EXPECT_EQ(options, before);
    EXPECT_EQ(saves, 0);
}

TEST_F(PropsFormsTest, GifDepthLimitsTheColoursOfThePreviewFile)
{
    TGIFPropsForm form;
    EXPECT_EQ(form.windowTitle(), "GIF Picture Properties");
    temp = (dir.Path() / "Temp" / "logo.gif").string();
    EXPECT_TRUE(Run(form, [&] {
        auto* bar = Child<QSlider>(&form, "GIFBitDepthTrackBar");
        EXPECT_EQ(Child<QLabel>(&form, "GIFBitDepthLabel")->text(), "8 bits");
        bar->setValue(3);
        EXPECT_EQ(Child<QLabel>(&form, "GIFBitDepthLabel")->text(), "3 bits");
        EXPECT_EQ(SizeLabel(form), FileSize());
        form.accept();
    }));
    const TBitmap back = LoadPicture(temp);
    std::set<uint32_t> colours;
    for (int y = 0; y < back.Height(); ++y)
        for (int x = 0; x < back.Width(); ++x) {
            const uint8_t* p = back.Pixel(x, y);
            colours.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    EXPECT_LE(colours.size(), 8u);
    EXPECT_EQ(options.gifbitdepth, 3);
    EXPECT_TRUE(options.showgifdialog);
}

TEST(FileFormatChoiceFormTest, OffersPngFirstThenTheLastChoice)
{
    TFileFormatChoiceForm choice;
    EXPECT_EQ(choice.windowTitle(), kCaptionFormatChoice);
    auto* combo = choice.findChild<QComboBox*>("FileFormatComboBox");
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0), kFormatCaptions[0]);
    int format = -1;
    QTimer::singleShot(0, &choice, [&] {
        EXPECT_EQ(combo->currentIndex(), pfPNG);
        combo->setCurrentIndex(pfGIF);
        choice.accept();
    });
    ASSERT_TRUE(choice.Execute(format));
    EXPECT_EQ(format, pfGIF);
    QTimer::singleShot(0, &choice, [&] {
        EXPECT_EQ(combo->currentIndex(), pfGIF);
        choice.reject();
    });
    format = -1;
    EXPECT_FALSE(choice.Execute(format));
    EXPECT_EQ(format, -1);
}

} // namespace
