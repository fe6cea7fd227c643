#pragma once

// What the tests of the main window and its tool windows share: a settings folder of their own, a
// scripted Prompter, a stand-in wave editor that records the entries it is asked to load, and the
// sounds the main window plays.

#include "ScriptedPrompter.h"
#include "support/TestSupport.h"
#include "ui/build/DesktopBuildHooks.h"
#include "ui/windows/CTsToolBoxAppMainFrame.h"
#include "ui/windows/CurrentProject.h"
#include "ui/toolkit/Messages.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lvtest {

// Lets events through until done() holds (at most 120 s).
template <class Done>
bool pumpUntil(Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 120000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Takes the 8589 messages the main window hands to the editor; reports its closing like the editor.
class RecordingEditor : public QWidget {
public:
    explicit RecordingEditor(QWidget* parent) : QWidget(parent, Qt::Window) { setAttribute(Qt::WA_DeleteOnClose); }
    struct Loaded {
        std::string key;
        QString folder;
    };
    std::vector<Loaded> loaded;

protected:
    bool event(QEvent* e) override
    {
        if (static_cast<int>(e->type()) == TessarinEditor::Msg::kEditEntry) {
            const auto* entry = static_cast<TessarinEditor::EntryEvent*>(e);
            loaded.push_back({entry->entry->entryKey(), entry->wavFolder});
            return true;
        }
        return QWidget::event(e);
    }
    void closeEvent(QCloseEvent* e) override
    {
        TessarinEditor::ToolWindowEvent closed(TessarinEditor::Msg::kWaveEditor, 1);
        QCoreApplication::sendEvent(parentWidget(), &closed);
        e->accept();
    }
};

class DesktopFixture : public ::testing::Test {
protected:
    DesktopFixture()
    {
        std::filesystem::create_directories(m_dir / "config");
        qputenv("LVTB_CONFIG_DIR", QByteArray::fromStdString((m_dir / "config").string()));
        qputenv("LVTB_UPDATE_HOST", QByteArray());
        // Each test starts from a new, unmodified project.
        TessarinEditor::currentProject().replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), {});
    }
    ~DesktopFixture() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // A main window whose editor is a RecordingEditor and whose sounds are recorded; with
    // withBuildPanel, Function ▸ Build Voice Bank opens the program's own build panel.
    std::unique_ptr<TessarinEditor::CTsToolBoxAppMainFrame> makeFrame(bool withBuildPanel = false)
    {
        TessarinEditor::MainFrameHooks hooks;
        if (withBuildPanel) {
            TessarinEditor::installBuildAndUpdateHooks(hooks);
        }
        hooks.makeWaveEditor = [this](QWidget* parent) {
            editor = new RecordingEditor(parent);
            return static_cast<QWidget*>(editor);
        };
        hooks.playSound = [this](TessarinEditor::ConfirmationSound s) { sounds.push_back(s); };
        hooks.availableGeometry = availableGeometry;
        return std::make_unique<TessarinEditor::CTsToolBoxAppMainFrame>(hooks);
    }

    static void send(QObject* to, QEvent&& event) { QCoreApplication::sendEvent(to, &event); }

    // Runs what was posted (the list's deferred commands) and deletes what was closed.
    static void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempDir m_dir;
    ScriptedPrompter scripted;
    TessarinEditor::PrompterScope scope{scripted};
    QPointer<RecordingEditor> editor; // the last one made
    std::vector<TessarinEditor::ConfirmationSound> sounds;
    // The screen's available area the main window places its tool windows in (unset: the screen's).
    std::function<QRect()> availableGeometry;
};

} // namespace lvtest
