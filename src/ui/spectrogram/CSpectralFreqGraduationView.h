#pragma once

// The frequency ruler beside the spectrogram: kHz from 0 up to the shown fraction of half the sample
// rate. The wheel over it zooms the frequency axis ("zoomInFreq" away from the user, "zoomOutFreq"
// towards, with the wheel steps as argument).

#include "ui/toolkit/CGraduationView.h"

namespace TessarinEditor {

class CWavData;

class CSpectralFreqGraduationView : public CGraduationView {
public:
    CSpectralFreqGraduationView();

    void setWavData(const CWavData* wav) { m_wav = wav; }

    bool mouseMessage(const UIMessage& message) override;

protected:
    bool rangeToShow(double& start, double& span) const override;

private:
    const CWavData* m_wav = nullptr;
};

} // namespace TessarinEditor
