// Showing a logo in the real main window, built as the program builds it (offscreen): the
// 24-megapixel photo selected through the tree, timed until the logo has been painted; then
// selecting it again from the root, toggling "Fit image into pane", and one step of a frame
// drag with the logo following the frame. djpeg decoding the same file, timed as a whole
// process, runs by turns with the first (x_djpeg). Install the peer with bench/setup.sh.
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

void BM_WindowShowLogo24MP(benchmark::State& state)
{
    TWindow& window = Window();
    const std::string djpeg = "djpeg -outfile /dev/null " + bench::Photo24MPJpeg();
    bench::Interleave(
        state, "djpeg",
        [&] {
            // The file touched: selected afresh, its picture is decoded.
            std::filesystem::last_write_time(window.LogoFile(), std::filesystem::file_time_type::clock::now());
            window.SelectRoot();
            window.SelectLogo();
        },
        [&] { return bench::ProcessMilliseconds(djpeg); });
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
