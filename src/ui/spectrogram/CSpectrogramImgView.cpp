#include "ui/spectrogram/CSpectrogramImgView.h"

#include "audio/CWavData.h"
#include "ui/toolkit/UiStyle.h"

#include <QMetaObject>
#include <QPainter>

namespace TessarinEditor {

CSpectrogramImgView::CSpectrogramImgView() : CSpectrogramImgView(CSpecBuilder::Params{}) {}

CSpectrogramImgView::CSpectrogramImgView(CSpecBuilder::Params params)
    : m_builder(std::make_unique<CSpecBuilder>(this, params))
{
}

CSpectrogramImgView::~CSpectrogramImgView()
{
    // The builder's threads call back into this object: they end before any of it goes.
    m_builder.reset();
}

bool CSpectrogramImgView::hasFile() const
{
    return m_wav && m_wav->duration > 0.0f && !m_wav->pcm.empty() && m_wav->sampleRate > 0.0f;
}

void CSpectrogramImgView::stopBuilder()
{
    m_builder->stop();
}

void CSpectrogramImgView::refresh()
{
    if (!hasFile()) {
        return;
    }
    m_latestRequest = m_builder->request(m_wav->pcm.data(), std::int64_t(m_wav->pcm.size()),
                                         double(m_wav->sampleRate), double(m_wav->viewStart),
                                         double(m_wav->viewLength), viewRect().toQRect());
    invalidateView();
}

void CSpectrogramImgView::layoutView(int left, int top, int right, int bottom)
{
    const int before = viewRect().width();
    CUIView::layoutView(left, top, right, bottom);
    // The finest picture depends on the width.
    if (viewRect().width() != before && m_latestRequest != 0) {
        refresh();
    }
}

void CSpectrogramImgView::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect area = viewRect().toQRect();
    painter.fillRect(area, uiColour(UiColours::kSpectrogramBackground));
    if (hasFile()) {
        const double highHz = spectrogramHighHz(*m_wav);
        // Until the latest request's first picture is ready, the one before it stands in (placed by
        // its own times), so that zooming and panning do not flash black.
        m_builder->drawLatest(painter, double(m_wav->viewStart), double(m_wav->viewLength), 0.0, highHz, area,
                              m_latestRequest);
    }
    drawChildren(dirty, painter);
}

void CSpectrogramImgView::onSpecRenderingReady()
{
    QMetaObject::invokeMethod(&m_uiContext, [this] { invalidateView(); }, Qt::QueuedConnection);
}

} // namespace TessarinEditor
