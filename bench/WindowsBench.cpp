// The dictionary window's typing speed: one key typed into a list of up to 1 MB, from the key press
// until the window has handled it (the edit, the project's field, the repaint). The window is
// offscreen; times are wall-clock per key.

#include "OffscreenBenchmarks.h"
#include "model/ProjectDocument.h"
#include "ui/toolkit/UiStyle.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/windows/CurrentProject.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace TessarinEditor;

namespace {

// Symbol list lines ("symbol,consonant,vowel") until the text holds about bytes bytes.
std::string symbolList(std::size_t bytes)
{
    std::string text;
    const char* consonants[] = {"k", "s", "t", "n", "h", "m", "y", "r", "w", "g"};
    const char* vowels[] = {"a", "i", "u", "e", "o"};
    for (std::size_t i = 0; text.size() < bytes; ++i) {
        const std::string c = consonants[i % 10];
        const std::string v = vowels[(i / 10) % 5];
        text += c + v + std::to_string(i) + "," + c + "," + v + "\r\n";
    }
    return text;
}

} // namespace

// Typing in the middle of the symbol list (the whole text is in the window, as the author sees it).
static void BM_DictionaryKeyPress(benchmark::State& state)
{
    ProjectDocument& project = currentProject();
    project.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), {});
    project.setField(ProjectField::symbolList, symbolList((std::size_t(state.range(0)) << 10) - 64));

    CTsDictSettingDlg dlg;
    dlg.resize(960, 640);
    dlg.show();
    QApplication::processEvents();
    auto* edit = dlg.findChild<QTabWidget*>()->currentWidget()->findChild<QPlainTextEdit*>();
    edit->setFocus();
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(edit->document()->characterCount() / 2);
    edit->setTextCursor(cursor);
    QApplication::processEvents();

    int i = 0;
    for (auto _ : state) {
        // A typed "x", then a backspace, so the list keeps its size.
        const bool letter = (i++ % 2) == 0;
        QKeyEvent press(QEvent::KeyPress, letter ? Qt::Key_X : Qt::Key_Backspace, Qt::NoModifier,
                        letter ? QStringLiteral("x") : QString());
        QKeyEvent release(QEvent::KeyRelease, letter ? Qt::Key_X : Qt::Key_Backspace, Qt::NoModifier,
                          letter ? QStringLiteral("x") : QString());
        QApplication::sendEvent(edit, &press);
        QApplication::sendEvent(edit, &release);
        QApplication::processEvents();
    }
    benchmark::DoNotOptimize(project.field(ProjectField::symbolList).size());
    state.SetLabel(std::to_string(project.field(ProjectField::symbolList).size()) + " bytes");
}
BENCHMARK(BM_DictionaryKeyPress)->Arg(64)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    runOffscreenBenchmarks(argc, argv);
    return 0;
}
