// The spectrogram of a demo recording with its time and frequency rulers: the coarse first picture,
// and the picture after every refinement.

#include "Screenshots.h"
#include "audio/CWavData.h"
#include "ui/toolkit/CGraduationView.h"
#include "ui/spectrogram/CSpectralFreqGraduationView.h"
#include "ui/spectrogram/CSpectrogramImgView.h"
#include "ui/toolkit/CUIBoard.h"

#include <QCoreApplication>
#include <QPainter>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

using namespace TessarinEditor;

namespace lvshots {

namespace {

// Holds the builder's job thread inside the announcement of the first picture until released, so
// that the coarse picture can be drawn before the finer ones replace it.
class HeldSpectrogram : public CSpectrogramImgView {
public:
    void onSpecRenderingReady() override
    {
        {
            std::unique_lock lock(m_mutex);
            ++m_pictures;
            m_changed.notify_all();
            if (m_pictures == 1) {
                m_changed.wait(lock, [this] { return m_released; });
            }
        }
        CSpectrogramImgView::onSpecRenderingReady();
    }
    bool waitForFirst()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_pictures >= 1; });
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_pictures = 0;
    bool m_released = false;
};

// The editor's lower half in miniature: time ruler on top, spectrogram, frequency ruler at the right.
class SpectrogramPanel : public CUIView {
public:
    explicit SpectrogramPanel(const CWavData& wav) : time(CGraduationView::Orientation::Horizontal)
    {
        time.setRange(double(wav.viewStart), double(wav.viewLength));
        spectrogram.setWavData(&wav);
        ruler.setWavData(&wav);
        addChild(&time);
        addChild(&spectrogram);
        addChild(&ruler);
    }
    ~SpectrogramPanel() override
    {
        removeChild(&ruler);
        removeChild(&spectrogram);
        removeChild(&time);
    }
    void layoutView(int left, int top, int right, int bottom) override
    {
        CUIView::layoutView(left, top, right, bottom);
        time.layoutView(left + 10, top + 10, right - 48, top + 34);
        spectrogram.layoutView(left + 10, top + 34, right - 48, bottom - 10);
        ruler.layoutView(right - 48, top + 34, right - 10, bottom - 10);
    }
    void drawView(const QRect& dirty, QPainter& painter) override
    {
        painter.fillRect(viewRect().toQRect(), QColor(30, 30, 30));
        drawChildren(dirty, painter);
    }

    CGraduationView time;
    HeldSpectrogram spectrogram;
    CSpectralFreqGraduationView ruler;
};

} // namespace

bool spectrogramScene(const Context& context)
{
    const std::filesystem::path path = demoRecording(context);
    CWavData wav;
    if (path.empty() || loadForEditor(path, wav) != WavLoadStatus::Loaded) {
        std::fprintf(stderr, "screenshots: no demo recording in %s (run lvtb demo first)\n", context.demoDir.c_str());
        return false;
    }
    std::printf("  (spectrogram of %s, %.3f s)\n", path.c_str(), double(wav.duration));

    CUIBoard board;
    SpectrogramPanel panel(wav);
    board.addChild(&panel);
    board.resize(960, 360);
    board.relayout();

    panel.spectrogram.refresh();
    bool ok = panel.spectrogram.waitForFirst();
    ok = ok && save(context, QStringLiteral("spectrogram-coarse"), board.grab().toImage());
    panel.spectrogram.release();
    ok = ok && panel.spectrogram.builder().waitUntilIdle(std::chrono::seconds(30));
    QCoreApplication::processEvents();
    ok = ok && save(context, QStringLiteral("spectrogram-refined"), board.grab().toImage());
    board.removeChild(&panel);
    return ok;
}

} // namespace lvshots
