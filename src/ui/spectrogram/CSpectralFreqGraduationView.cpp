#include "ui/spectrogram/CSpectralFreqGraduationView.h"

#include "audio/CWavData.h"
#include "ui/editor/UISignalNames.h"

namespace TessarinEditor {

CSpectralFreqGraduationView::CSpectralFreqGraduationView() : CGraduationView(Orientation::Vertical)
{
    setUnitText(QStringLiteral("kHz"));
}

bool CSpectralFreqGraduationView::mouseMessage(const UIMessage& message)
{
    if (message.kind != UIMessageKind::Wheel || message.wheelDelta == 0) {
        return false;
    }
    int steps = wheelSteps(message.wheelDelta);
    sendSignal(message.wheelDelta > 0 ? UISignalNames::kZoomInFreq : UISignalNames::kZoomOutFreq, &steps);
    return true;
}

bool CSpectralFreqGraduationView::rangeToShow(double& start, double& span) const
{
    if (!m_wav || !(m_wav->duration > 0.0f) || !(m_wav->sampleRate > 0.0f)) {
        return false;
    }
    start = 0.0;
    span = spectrogramHighHz(*m_wav) / 1000.0; // [kHz]
    return true;
}

} // namespace TessarinEditor
