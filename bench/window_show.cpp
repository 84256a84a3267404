// Showing a logo in the real main window, built as the program builds it (offscreen): the
// 24-megapixel photo selected through the tree, timed until the source view has been
// painted with the picture (its quick look, for a large JPEG) and until the logo has been
// painted; then selecting it again from the root, toggling "Fit image into pane", and one
// step of a frame drag with the logo following the frame. djpeg decoding the same file,
// timed as a whole process, runs by turns with the first (x_djpeg_screen, x_djpeg_logo).
// Install the peer with bench/setup.sh.
#include "codec_support.h"
#include "peer_support.h"

#include "app/ui/dialogs.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "imaging/ui/pictureview.h"
#include "logodir/ui/logotreemodel.h"
#include "options/ui/optionsform.h"

#include <QAction>
#include <QApplication>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <memory>

namespace quillon {
namespace {

// The program's window over a fresh application folder holding one logo, the photo.
class TWindow {
public:
    TWindow()
        : platform_(QString::fromStdString(runtime_.string()))
    {
        std::filesystem::create_directories(runtime_);
        std::filesystem::create_directories(app_);
        std::ofstream(app_ / "phoneslist.xml") << "<phoneslist><make name=\"Any\"><model name=\"Phone\" "
                                                  "screenwidth=\"176\" screenheight=\"208\"/></make></phoneslist>";
        std::ofstream(app_ / "parameters.xml") << "<parameters/>";
        TAppEnvironment env = platform_.Environment(app_.string() + "/");
        const std::string photo = bench::Photo24MPJpeg();
        // The one adapter replaced: the file dialog that adds the photo.
        env.askOpenFile = [photo](const std::string&) { return photo; };
        env.systemProxy = [] { return std::optional<std::string>(); };
        app_ptr_ = std::make_unique<TQuillonApplication>(env);
        form_ = &app_ptr_->MainForm();
        app_ptr_->Start();
        form_->resize(1024, 768);
        form_->show();
        form_->Open1Click();
        logo_ = form_->SelectedNode();
        tree_ = form_->findChild<QTreeView*>("LogoTreeView");
        target_ = form_->findChild<TPictureView*>("TargetImage");
        source_ = form_->findChild<TPictureView*>("SourceImage");
        Settle();
    }
    ~TWindow()
    {
        form_->ShutdownApplication();
        app_ptr_.reset();
        std::filesystem::remove_all(app_.parent_path());
    }

    TMainAppForm& Form() { return *form_; }
    TQuillonApplication& App() { return *app_ptr_; }
    // The photo's copy in the logo directory.
    std::filesystem::path LogoFile() const
    {
        return app_ / "Logo Directory" / std::filesystem::path(bench::Photo24MPJpeg()).filename();
    }

    void Select(const TLogoNode* node)
    {
        auto* model = static_cast<TLogoTreeModel*>(tree_->model());
        tree_->setCurrentIndex(model->IndexOf(node));
        Paint();
    }
    void SelectLogo() { Select(logo_); }
    void SelectRoot() { Select(form_->LogoTree().Root()); }
    TLogoNode* Logo() const { return logo_; }

    // Until both views have been painted.
    void Paint()
    {
        source_->repaint();
        target_->repaint();
    }
    void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        Paint();
    }

private:
    std::filesystem::path app_ = bench::BenchFile("window-" + std::to_string(getpid())) / "app";
    std::filesystem::path runtime_ = bench::BenchFile("window-" + std::to_string(getpid())) / "run";
    TRealPlatform platform_;
    std::unique_ptr<TQuillonApplication> app_ptr_;
    TMainAppForm* form_ = nullptr;
    TLogoNode* logo_ = nullptr;
    QTreeView* tree_ = nullptr;
    TPictureView* target_ = nullptr;
    TPictureView* source_ = nullptr;
};

// Made on first use, and ended in main while the application still exists: the window's
// pictures cannot outlive it.
std::unique_ptr<TWindow> window;

TWindow& Window()
{
    if (!window)
        window = std::make_unique<TWindow>();
    return *window;
}

// The photo selected afresh (the file touched, so it is decoded), timed twice: until the
// source view has been painted, and until the logo has been painted too. The logo is
// waited for as a command that needs it waits (the window's shown picture); djpeg runs
// after each, so both figures are measured against the same runs of the peer.
void ShowTimes(benchmark::State& state, TWindow& window)
{
    const std::string djpeg = "djpeg -outfile /dev/null " + bench::Photo24MPJpeg();
    std::vector<double> screenMs, logoMs, peerMs;
    for (auto _ : state) {
        std::filesystem::last_write_time(window.LogoFile(), std::filesystem::file_time_type::clock::now());
        window.SelectRoot();
        double screen = 0;
        const double logo = bench::Milliseconds([&] {
            screen = bench::Milliseconds([&] { window.SelectLogo(); });
            window.Form().ActiveSourceImage();
            window.Paint();
        });
        const double peer = bench::ProcessMilliseconds(djpeg);
        if (peer < 0) {
            state.SkipWithError("djpeg is not available: run bench/setup.sh");
            return;
        }
        screenMs.push_back(screen);
        logoMs.push_back(logo);
        peerMs.push_back(peer);
        state.SetIterationTime(logo / 1000);
    }
    const double peer = bench::Median(peerMs);
    state.counters["screen_ms"] = bench::Median(screenMs);
    state.counters["logo_ms"] = bench::Median(logoMs);
    state.counters["djpeg_ms"] = peer;
    state.counters["x_djpeg_screen"] = bench::Median(screenMs) / peer;
    state.counters["x_djpeg_logo"] = bench::Median(logoMs) / peer;
}

// The phone's logo (176 x 208) at the picture's own size: the pane shows the top of the
// tall work area, the white band above the picture.
void BM_WindowShowLogo24MP(benchmark::State& state) { ShowTimes(state, Window()); }

// Fitted into the pane: the whole picture is on screen.
void BM_WindowShowLogo24MPFitted(benchmark::State& state)
{
    TWindow& window = Window();
    QAction* fit = window.Form().findChild<QAction*>("Fitimageintopane");
    fit->trigger();
    ShowTimes(state, window);
    fit->trigger();
}

// A logo in the picture's proportions (3:2) at the picture's own size: the work area is
// the picture, and the pane shows its top-left corner pixel for pixel.
void BM_WindowShowLogo24MPOwnSize(benchmark::State& state)
{
    TWindow& window = Window();
    TLogoDirObject& record = *window.Logo()->Data();
    const TLogoDirObject before = record;
    record.logowidth = 240;
    record.logoheight = 160;
    record.DiscardFrame();
    ShowTimes(state, window);
    record = before;
}

void BM_WindowSelectAgain24MP(benchmark::State& state)
{
    TWindow& window = Window();
    window.SelectLogo();
    bench::Timed(state, [&] {
        window.SelectRoot();
        window.SelectLogo();
    });
}

void BM_WindowToggleFit24MP(benchmark::State& state)
{
    TWindow& window = Window();
    window.SelectLogo();
    QAction* fit = window.Form().findChild<QAction*>("Fitimageintopane");
    bench::Timed(state, [&] {
        fit->trigger();
        window.Paint();
    });
}

void BM_WindowDragStep24MP(benchmark::State& state)
{
    TWindow& window = Window();
    window.SelectLogo();
    TMainAppForm& form = window.Form();
    window.App().Dialogs().OptionsForm->Options.showlogochange = true;
    const TSourceImage* image = form.ActiveSourceImage();
    const TRect frame = image->DisplayFrame();
    const int x = (frame.left + frame.right) / 2, y = (frame.top + frame.bottom) / 2;
    form.SourceImageMouseDown(x, y);
    int step = 0;
    bench::Timed(state, [&] {
        form.SourceImageMouseMove(x + (step++ % 2 ? 3 : -3), y);
        window.Paint();
    });
    form.SourceImageMouseUp(x, y);
}

} // namespace
} // namespace quillon

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    using namespace quillon;
    benchmark::RegisterBenchmark("BM_WindowShowLogo24MP", BM_WindowShowLogo24MP)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);
    benchmark::RegisterBenchmark("BM_WindowShowLogo24MPFitted", BM_WindowShowLogo24MPFitted)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);
    benchmark::RegisterBenchmark("BM_WindowShowLogo24MPOwnSize", BM_WindowShowLogo24MPOwnSize)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);
    benchmark::RegisterBenchmark("BM_WindowSelectAgain24MP", BM_WindowSelectAgain24MP)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
    benchmark::RegisterBenchmark("BM_WindowToggleFit24MP", BM_WindowToggleFit24MP)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
    benchmark::RegisterBenchmark("BM_WindowDragStep24MP", BM_WindowDragStep24MP)
        ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);
    benchmark::RunSpecifiedBenchmarks();
    window.reset();
    benchmark::Shutdown();
    return 0;
}
