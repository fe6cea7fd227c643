// Draws the desktop program's windows and views into PNG files:
//   lv_ui_screenshots --demo DIR --out DIR

#include "Screenshots.h"
#include "ui/toolkit/UiStyle.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace lvshots {

bool save(const Context& context, const QString& name, const QImage& image)
{
    const std::filesystem::path path = context.outDir / (name.toStdString() + ".png");
    if (image.isNull() || !image.save(QString::fromStdString(path.string()), "PNG")) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("  %s (%d x %d)\n", path.c_str(), image.width(), image.height());
    return true;
}

std::filesystem::path demoRecording(const Context& context)
{
    const std::filesystem::path preferred = context.demoDir / "wav" / "C4" / "C4_ka.wav";
    if (std::filesystem::is_regular_file(preferred)) {
        return preferred;
    }
    std::filesystem::path first;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(context.demoDir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().extension() == ".wav" && (first.empty() || it->path() < first)) {
            first = it->path();
        }
    }
    return first;
}

} // namespace lvshots

int main(int argc, char** argv)
{
    lvshots::Context context;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--demo") == 0) {
            context.demoDir = argv[i + 1];
        } else if (std::strcmp(argv[i], "--out") == 0) {
            context.outDir = argv[i + 1];
        }
    }
    if (context.demoDir.empty() || context.outDir.empty()) {
        std::fprintf(stderr, "usage: lv_ui_screenshots --demo DIR --out DIR\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(context.outDir, ec);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const std::string runtime = "/tmp/lvtb-screenshots-" + std::to_string(getuid());
        ::mkdir(runtime.c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
    }
    QApplication app(argc, argv);
    TessarinEditor::installToolkitFont();

    bool ok = true;
    ok = lvshots::toolkitScene(context) && ok;
    ok = lvshots::spectrogramScene(context) && ok;
    ok = lvshots::mainWindowScene(context) && ok;
    ok = lvshots::editorScene(context) && ok;
    ok = lvshots::buildScene(context) && ok;
    return ok ? 0 : 1;
}
