#pragma once

// The spectrogram under the waveform: draws the builder's picture of the visible range over a black
// background, frequencies from 0 up to the wave model's fraction of half the sample rate. The latest
// request's picture, or until it is ready, the picture before it of the same file.

#include "ui/spectrogram/CSpecBuilder.h"
#include "ui/toolkit/CUIView.h"

#include <QObject>

#include <memory>

namespace TessarinEditor {

class CWavData;

class CSpectrogramImgView : public CUIView, public CSpecBuildingListener {
public:
    CSpectrogramImgView();
    explicit CSpectrogramImgView(CSpecBuilder::Params params);
    ~CSpectrogramImgView() override;

    // The wave model, shared with the other views (not owned); nullptr when there is none.
    void setWavData(const CWavData* wav) { m_wav = wav; }
    const CWavData* wavData() const { return m_wav; }

    // Before the wave model loads another file.
    void stopBuilder();
    // Requests a picture of the wave model's visible range for this view's width (after a load, a
    // time zoom, a pan or a resize). Nothing without a loaded file.
    void refresh();
    int latestRequest() const { return m_latestRequest; }
    CSpecBuilder& builder() { return *m_builder; }

    void layoutView(int left, int top, int right, int bottom) override;
    void drawView(const QRect& dirty, QPainter& painter) override;
    // From the builder's job thread: the redraw is handed to the UI thread.
    void onSpecRenderingReady() override;

private:
    bool hasFile() const;

    const CWavData* m_wav = nullptr;
    int m_latestRequest = 0;
    // Lives on the UI thread; queued calls to it die with it. Declared before the builder, so that
    // it outlives the builder's threads.
    QObject m_uiContext;
    std::unique_ptr<CSpecBuilder> m_builder;
};

} // namespace TessarinEditor
