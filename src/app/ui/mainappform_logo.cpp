// The selected logo on screen: the source view with its frame, the rendered logo, the
// mouse that moves and sizes the frame, and the image status bar.
#include "app/ui/mainappform.h"

#include "app/ui/dialogs.h"
#include "imaging/frame.h"
#include "imaging/picturecache.h"
#include "common/error.h"
#include "common/readfile.h"
#include "imaging/picturefiles.h"
#include "imaging/pictureformat.h"
#include "imaging/pictureshow.h"
#include "imaging/ui/pictureview.h"
#include "imaging/ui/qtbitmap.h"
#include "logodir/nodepaths.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cmath>
#include <optional>

namespace quillon {

namespace {

Qt::CursorShape ShapeOf(THitCode code)
{
    switch (code) {
    case hcTopLeft:
    case hcBottomRight:
        return Qt::SizeFDiagCursor;
    case hcTopRight:
    case hcBottomLeft:
        return Qt::SizeBDiagCursor;
    case hcLeft:
    case hcRight:
        return Qt::SizeHorCursor;
    case hcTop:
    case hcBottom:
        return Qt::SizeVerCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace

const TOptions* TMainAppForm::Options() const
{
    return dialogs_ && dialogs_->OptionsForm ? &dialogs_->OptionsForm->Options : nullptr;
}

bool TMainAppForm::FitToPane() const { return actions_.at("Fitimageintopane")->isChecked(); }

void TMainAppForm::ConnectSourceView()
{
    // The frame works in the picture's pixels, whatever the screen's scale.
    sourceImage_->MouseDown = [this](QMouseEvent* e) {
        const QPoint p = sourceImage_->PicturePoint(e->position());
        SourceImageMouseDown(p.x(), p.y());
    };
    sourceImage_->MouseMove = [this](QMouseEvent* e) {
        // A release that went to someone else (a pop-up menu, another window) still
        // ends the drag: a frame must never follow a pointer whose button is up.
        if (frameDragging_ && !(e->buttons() & Qt::LeftButton))
            EndFrameDrag();
        const QPoint p = sourceImage_->PicturePoint(e->position());
        SourceImageMouseMove(p.x(), p.y());
    };
    sourceImage_->MouseUp = [this](QMouseEvent* e) {
        const QPoint p = sourceImage_->PicturePoint(e->position());
        SourceImageMouseUp(p.x(), p.y());
    };
    sourceImage_->DragBroken = [this] { EndFrameDrag(); };
    connect(selFrameTimer_, &QTimer::timeout, this, &TMainAppForm::SelFrameTimerTimer);
    connect(imageCursorTimer_, &QTimer::timeout, this, &TMainAppForm::ImageCursorTimerTimer);

    // A resize of the pane comes in bursts while the user drags a splitter or the
    // window edge; the picture is decoded again once the pane has settled.
    resizeTimer_ = new QTimer(this);
    resizeTimer_->setSingleShot(true);
    resizeTimer_->setInterval(80);
    connect(resizeTimer_, &QTimer::timeout, this, [this] {
        if (activeSourceImage_ || PictureComing())
            ShowSelectedNode();
    });

    pictureShow_ = std::make_unique<TPictureShowWorker>();
    pictureShow_->Finished = [this](TPictureShowWorker::TResult result) { PictureShown(std::move(result)); };
}

namespace {

// The wait cursor while a picture is decoded that takes longer than a blink (files of a
// few megabytes and up); a kept picture or a small file shows without it.
class TBusyWhileDecoding {
public:
    TBusyWhileDecoding(const TPictureCache& cache, const std::string& path)
    {
        constexpr int64_t kBlinkBytes = 2 << 20;
        const std::optional<TFileStamp> stamp = TFileStamp::Of(path);
        busy_ = stamp && stamp->size >= kBlinkBytes && !cache.Find(path);
        if (busy_)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TBusyWhileDecoding()
    {
        if (busy_)
            QApplication::restoreOverrideCursor();
    }
    TBusyWhileDecoding(const TBusyWhileDecoding&) = delete;
    TBusyWhileDecoding& operator=(const TBusyWhileDecoding&) = delete;

private:
    bool busy_ = false;
};

} // namespace

void TMainAppForm::ShowSelectedNode()
{
    if (showingNode_)
        return;
    showingNode_ = true;
    // A drag belongs to the picture it started on.
    frameDragging_ = false;
    drag_ = {};
    // A picture still on its way for the node shown before is not wanted any more.
    EndQuickShow();
    activeSourceImage_.reset();
    activeNodeObject_ = nullptr;
    TLogoNode* node = SelectedNode();
    bool shown = false;
    // The record on show is the one the frame and the settings edit in place.
    tree_.WatchRecord(node);
    if (node) {
        activeNodeObject_ = node->Data();
        if (activeNodeObject_->nodekind == nkLogo) {
            try {
                const QSize pane = sourceImageScrollBox_->viewport()->size();
                TFillOptions fill;
                if (const TOptions* o = Options()) {
                    fill.fillemptyarea = o->fillemptyarea;
                    fill.emptyareacolor = static_cast<uint32_t>(o->emptyareacolor);
                }
                const TShowSettings settings{{pane.width(), pane.height()}, FitToPane(), fill};
                // A logo without a frame gets one; so does one whose stored frame
                // cannot lie in this work area (a directory file edited by hand). The picture
                // is kept for the next show of the same unchanged file (fit to pane, a pane
                // resize, a settings change, selecting it again), which decodes nothing.
                const std::string path = GetLogoFileName(env_.appDir, node);
                if (!StartQuickShow(path, settings)) {
                    TBusyWhileDecoding busy(pictureCache_, path);
                    TBitmap logo;
                    activeSourceImage_ = ShowPicture(path, *activeNodeObject_, settings, logo, &pictureCache_);
                    ShowActivePicture(logo);
                }
                sourceImageScrollBox_->horizontalScrollBar()->setValue(0);
                sourceImageScrollBox_->verticalScrollBar()->setValue(0);
                targetBkgndScrollBox_->horizontalScrollBar()->setValue(0);
                targetBkgndScrollBox_->verticalScrollBar()->setValue(0);
                shown = true;
            } catch (const std::exception& e) {
                // A picture changed or damaged outside the program: say why, show nothing,
                // and let the user go on with the rest of the directory.
                EndQuickShow();
                activeSourceImage_.reset();
                showingNode_ = false;
                sourceImage_->Clear();
                targetImage_->Clear();
                prompts_.Error(e.what());
                showingNode_ = true;
            }
        }
    }
    // An empty view sits in the top-left corner; a picture is centred in its pane.
    const Qt::Alignment alignment = shown ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop;
    sourceImageScrollBox_->setAlignment(alignment);
    targetBkgndScrollBox_->setAlignment(alignment);
    if (!shown) {
        sourceImage_->Clear();
        targetImage_->Clear();
    }
    showingNode_ = false;
    UpdateImageStatus();
}

void TMainAppForm::ShowActivePicture(const TBitmap& logo)
{
    // At its own size a picture (and always the logo) keeps one pixel per pixel of the
    // screen; fitted to the pane it takes the pane's size.
    targetImage_->SetPixelRatio(devicePixelRatioF());
    sourceImage_->SetPixelRatio(FitToPane() ? 1.0 : devicePixelRatioF());
    targetImage_->SetPicture(ImageFromBitmap(logo));
    // The quick picture and the full one share the display's size, so the one replacing
    // the other moves nothing on screen.
    const TSize display = activeSourceImage_ ? activeSourceImage_->Display().display : quickView_->Display().display;
    sourceImage_->SetPainter(QSize(display.width, display.height), [this](QImage& canvas, QPoint origin) {
        if (!activeSourceImage_ && !quickView_) {
            canvas.fill(Qt::white);
            return;
        }
        TBitmap part(canvas.width(), canvas.height());
        if (activeSourceImage_)
            activeSourceImage_->DrawSourceView(part, {origin.x(), origin.y()});
        else
            quickView_->DrawSourceView(part, {origin.x(), origin.y()});
        for (int y = 0; y < part.Height(); ++y)
            std::copy_n(part.Row(y), part.Stride(), canvas.scanLine(y));
    });
}

bool TMainAppForm::StartQuickShow(const std::string& path, const TShowSettings& settings)
{
    if (PictureFormatOfName(path) != pfJPEG || pictureCache_.Find(path))
        return false;
    std::string file;
    try {
        file = ReadWholeFile(path);
    } catch (const QuillonError&) {
        return false; // the decode at once says why
    }
    const std::optional<TSize> full = UprightJPEGSize(file);
    if (!full || int64_t{full->width} * full->height < kQuickPictureMinPixels
        || int64_t{full->width} * full->height > kMaxPicturePixels)
        return false;
    // The frame is placed here, on the tree's record, before the worker copies it.
    PlaceFrameIfMissing(*activeNodeObject_, *full);
    comingNode_ = activeNodeObject_;
    comingRecord_ = *activeNodeObject_;
    pictureShow_->Start(path, comingRecord_, settings);

    const TSize work = WorkAreaSize(*full, {comingRecord_.logowidth, comingRecord_.logoheight});
    const TDisplayLayout layout = ComputeDisplayLayout(*full, work, settings.pane, settings.fitToPane);
    const qreal ratio = settings.fitToPane ? 1.0 : devicePixelRatioF();
    const TSize visible{static_cast<int32_t>(std::ceil(settings.pane.width * ratio)),
                        static_cast<int32_t>(std::ceil(settings.pane.height * ratio))};
    TQuickPicture quick;
    try {
        quick = DecodeQuickPicture(file, layout, VisiblePicturePart(layout, *full, visible));
    } catch (const QuillonError&) {
        // Nothing to show early; the full decode reports what is wrong with the file.
        quick = TQuickPicture{*full, {}, {}};
    }
    const TRect frame{comingRecord_.frameleft, comingRecord_.frametop,
                      comingRecord_.frameleft + comingRecord_.framewidth,
                      comingRecord_.frametop + comingRecord_.frameheight};
    quickView_ = std::make_unique<TQuickView>(std::move(quick), layout, frame);
    // The logo's place, empty until the logo is made.
    TBitmap logo(comingRecord_.logowidth, comingRecord_.logoheight);
    FillRect(logo, {0, 0, logo.Width(), logo.Height()},
             settings.fill.fillemptyarea ? RgbFromColorRef(settings.fill.emptyareacolor) : kWhite);
    DrawOutline(logo, {0, 0, logo.Width(), logo.Height()}, kPreviewBorderColor);
    ShowActivePicture(logo);
    sourceImage_->setCursor(Qt::BusyCursor);
    return true;
}

void TMainAppForm::EndQuickShow()
{
    if (pictureShow_)
        pictureShow_->Cancel();
    if (quickView_)
        sourceImage_->unsetCursor();
    quickView_.reset();
    comingNode_ = nullptr;
}

void TMainAppForm::PictureShown(TPictureShowWorker::TResult result)
{
    TLogoDirObject* const node = comingNode_;
    const bool unchanged = node && node == activeNodeObject_ && *node == comingRecord_;
    EndQuickShow();
    if (!result.image) {
        activeSourceImage_.reset();
        sourceImage_->Clear();
        targetImage_->Clear();
        sourceImageScrollBox_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        targetBkgndScrollBox_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        UpdateImageStatus();
        prompts_.Error(result.error);
        return;
    }
    pictureCache_ = std::move(result.cache);
    if (!unchanged) {
        // The record changed meanwhile without a new show: show it again from the picture
        // just decoded.
        ShowSelectedNode();
        return;
    }
    // The worker places a frame only when the decoded picture differs from its header.
    node->frameleft = result.record->frameleft;
    node->frametop = result.record->frametop;
    node->framewidth = result.record->framewidth;
    node->frameheight = result.record->frameheight;
    result.image->Rebind(*node);
    activeSourceImage_ = std::move(result.image);
    ShowActivePicture(result.logo);
    UpdateImageStatus();
}

TSourceImage* TMainAppForm::ShownPicture() const
{
    // Waiting is what showing a picture did before it had a quick look.
    auto* self = const_cast<TMainAppForm*>(this);
    if (self->pictureShow_)
        if (std::optional<TPictureShowWorker::TResult> result = self->pictureShow_->Wait())
            self->PictureShown(std::move(*result));
    return activeSourceImage_.get();
}

void TMainAppForm::RenderLogo()
{
    if (!activeSourceImage_)
        return;
    TBitmap target;
    activeSourceImage_->RenderLogo(target);
    targetImage_->SetPicture(ImageFromBitmap(target));
}

void TMainAppForm::UpdateImageStatus()
{
    const TLogoNode* node = SelectedNode() ? SelectedNode() : tree_.Root();
    const TLogoDirObject* r = node ? node->Data() : nullptr;
    QString texts[4] = {"Source Image: ", "Source Selection: ", "Logo Screen: ", "Logo Image: "};
    if (r && r->nodekind == nkLogo && activeSourceImage_) {
        const TSourceImage& s = *activeSourceImage_;
        const TSize picture = s.PictureSize();
        const TSize offset = s.PictureOffset();
        texts[0] += QString("%1x%2").arg(picture.width).arg(picture.height);
        texts[1] += QString("(%1,%2):(%3x%4)")
                        .arg(r->frameleft - offset.width)
                        .arg(r->frametop - offset.height)
                        .arg(r->framewidth)
                        .arg(r->frameheight);
        texts[2] += QString("%1x%2").arg(r->logowidth).arg(r->logoheight);
        const bool covers = s.FrameCoversPicture();
        texts[3] += QString("%1x%2")
                        .arg(covers ? s.LogoPicture().Width() : 0)
                        .arg(covers ? s.LogoPicture().Height() : 0);
    }
    for (int i = 0; i < 4; ++i)
        imageStatusPanels_[i]->setText(texts[i]);
}

QString TMainAppForm::ImageStatusText(int panel) const { return imageStatusPanels_[panel]->text(); }

QRegion TMainAppForm::FrameRegion() const
{
    // Only the one-pixel strips under the frame change between two frames, and only
    // their part inside the pane is ever painted, whatever the size of the frame.
    QRegion region;
    const QRect visible = sourceImage_->VisiblePictureRect();
    for (const TRect& s : FrameEraseStrips(activeSourceImage_->DisplayFrame()))
        region += QRect(s.left, s.top, s.Width(), s.Height()).intersected(visible);
    return region;
}

void TMainAppForm::RepaintFrame()
{
    if (activeSourceImage_)
        sourceImage_->UpdatePicture(FrameRegion());
}

void TMainAppForm::SelFrameTimerTimer()
{
    if (!activeSourceImage_)
        return;
    // Drawn with the current phase, then advanced for the next tick.
    if (const QRegion region = FrameRegion(); !region.isEmpty())
        sourceImage_->RepaintPicture(region);
    activeSourceImage_->AdvanceAnts();
}

void TMainAppForm::SetAppCursor(const QCursor* cursor)
{
    if (!cursor) {
        if (appCursorSet_)
            QApplication::restoreOverrideCursor();
        appCursorSet_ = false;
        return;
    }
    if (appCursorSet_)
        QApplication::changeOverrideCursor(*cursor);
    else
        QApplication::setOverrideCursor(*cursor);
    appCursorSet_ = true;
}

void TMainAppForm::UpdateFrameCursor(int x, int y)
{
    const TLogoNode* node = SelectedNode();
    if (!node || node->Data()->nodekind != nkLogo || frameDragging_ || !activeSourceImage_)
        return;
    const THitCode code = HitCode(activeSourceImage_->HitTestFrame(), x, y);
    const QCursor cursor = code == hcInside ? cursors_[1] : QCursor(ShapeOf(code));
    sourceImage_->setCursor(cursor);
    SetAppCursor(&cursor);
}

void TMainAppForm::ImageCursorTimerTimer()
{
    const QPoint global = QCursor::pos();
    const bool overImage = sourceImage_->rect().contains(sourceImage_->mapFromGlobal(global));
    const bool overPane = sourceImageScrollBox_->viewport()->rect().contains(
        sourceImageScrollBox_->viewport()->mapFromGlobal(global));
    if (!overImage || !overPane) {
        SetAppCursor(nullptr);
        imageCursorTimer_->stop();
    }
}

void TMainAppForm::SourceImageMouseDown(int x, int y)
{
    if (mouseBusy_)
        return;
    mouseBusy_ = true;
    frameDragging_ = true;
    UpdateFrameCursor(x, y);
    const TLogoNode* node = SelectedNode();
    if (node && node->Data()->nodekind == nkLogo && activeSourceImage_)
        drag_ = activeSourceImage_->BeginDrag({x, y});
    else
        drag_ = {};
    mouseBusy_ = false;
}

void TMainAppForm::SourceImageMouseMove(int x, int y)
{
    if (mouseBusy_)
        return;
    mouseBusy_ = true;
    imageCursorTimer_->start();
    UpdateFrameCursor(x, y);
    DragFrame(x, y);
    UpdateImageStatus();
    mouseBusy_ = false;
}

void TMainAppForm::SourceImageMouseUp(int x, int y)
{
    if (mouseBusy_)
        return;
    mouseBusy_ = true;
    FinishFrameDrag();
    UpdateFrameCursor(x, y);
    UpdateImageStatus();
    mouseBusy_ = false;
}

void TMainAppForm::FinishFrameDrag()
{
    const TOptions* options = Options();
    if (frameDragging_ && activeSourceImage_ && !(options && options->showlogochange))
        RenderLogo();
    frameDragging_ = false;
    drag_ = {};
}

void TMainAppForm::EndFrameDrag()
{
    if (!frameDragging_ || mouseBusy_)
        return;
    mouseBusy_ = true;
    FinishFrameDrag();
    UpdateImageStatus();
    mouseBusy_ = false;
}

void TMainAppForm::DragFrame(int x, int y)
{
    const TLogoNode* node = SelectedNode();
    if (!node || node->Data()->nodekind != nkLogo || !frameDragging_ || drag_.zone == hcOutside || !activeSourceImage_)
        return;
    RepaintFrame();  // where the frame was
    activeSourceImage_->DragFrame(drag_, {x, y});
    RepaintFrame();  // where it is now
    const TOptions* options = Options();
    if (options && options->showlogochange)
        RenderLogo();
}

} // namespace quillon
