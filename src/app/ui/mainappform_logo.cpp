// The selected logo on screen: the source view with its frame, the rendered logo, the
// mouse that moves and sizes the frame, and the image status bar.
#include "app/ui/mainappform.h"

#include "app/ui/dialogs.h"
#include "imaging/frame.h"
#include "imaging/picturecache.h"
#include "imaging/picturefiles.h"
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
        if (activeSourceImage_)
            ShowSelectedNode();
    });
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
                // A logo without a frame gets one; so does one whose stored frame
                // cannot lie in this work area (a directory file edited by hand). The picture
                // is kept for the next show of the same unchanged file (fit to pane, a pane
                // resize, a settings change, selecting it again), which decodes nothing.
                const std::string path = GetLogoFileName(env_.appDir, node);
                TBusyWhileDecoding busy(pictureCache_, path);
                TBitmap logo;
                activeSourceImage_ = ShowPicture(path, *activeNodeObject_, {{pane.width(), pane.height()}, FitToPane(), fill},
                                                 logo, &pictureCache_);
                // At its own size a picture (and always the logo) keeps one pixel per
                // pixel of the screen; fitted to the pane it takes the pane's size.
                targetImage_->SetPixelRatio(devicePixelRatioF());
                sourceImage_->SetPixelRatio(FitToPane() ? 1.0 : devicePixelRatioF());
                targetImage_->SetPicture(ImageFromBitmap(logo));
                const TSize display = activeSourceImage_->Display().display;
                sourceImage_->SetPainter(QSize(display.width, display.height), [this](QImage& canvas, QPoint origin) {
                    if (!activeSourceImage_) {
                        canvas.fill(Qt::white);
                        return;
                    }
                    TBitmap part(canvas.width(), canvas.height());
                    activeSourceImage_->DrawSourceView(part, {origin.x(), origin.y()});
                    for (int y = 0; y < part.Height(); ++y)
                        std::copy_n(part.Row(y), part.Stride(), canvas.scanLine(y));
                });
                sourceImageScrollBox_->horizontalScrollBar()->setValue(0);
                sourceImageScrollBox_->verticalScrollBar()->setValue(0);
                targetBkgndScrollBox_->horizontalScrollBar()->setValue(0);
                targetBkgndScrollBox_->verticalScrollBar()->setValue(0);
                shown = true;
            } catch (const std::exception& e) {
                // A picture changed or damaged outside the program: say why, show nothing,
                // and let the user go on with the rest of the directory.
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
