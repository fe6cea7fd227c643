#pragma once

// The view tree of the wave annotation editor: the overview of the whole file with the visible
// range as a draggable area, the time ruler, the waveform with its amplitude ruler, the spectrogram
// with its frequency ruler, the shading of the two margins, the marker layer and the floating
// button panel. Every view shares the editor's wave model by pointer and talks to the editor by
// signals (UISignalNames.h).

#include "ui/toolkit/CGraduationView.h"
#include "ui/spectrogram/CSpectralFreqGraduationView.h"
#include "ui/spectrogram/CSpectrogramImgView.h"
#include "ui/editor/CTagSet.h"
#include "ui/editor/EditorReadout.h"
#include "ui/editor/F0CheckOverlay.h"
#include "ui/toolkit/CUIButton.h"
#include "ui/toolkit/CUIView.h"
#include "ui/editor/WaveformRenderer.h"

#include <QCursor>
#include <QImage>

#include <optional>
#include <vector>

namespace TessarinEditor {

class CWavData;

// The layout table: every part's rectangle for a client area of width × height.
// The time strip takes the bottom kTimeStripHeight pixels above the inset (and a 2-pixel gap); the
// table's parts share what is above it.
struct WavMgrLayout {
    static constexpr int kTimeStripHeight = 34; // two lines of text
    UIRect overview, timeRuler, waveform, ampRuler, spectrogram, freqRuler, margins, markers, timeStrip;
};
WavMgrLayout wavMgrLayout(int width, int height);

// The floating panel's place after a drag: pushed back inside a window of width × height (the side
// nearer the panel's centre is the one it may not pass).
UIRect keepPanelInside(const UIRect& panel, int width, int height);

// The pictures and the cursor of the editor, drawn by the program.
namespace EditorImages {
QImage frame();       // the editor's background, stretched as a nine-slice frame
QImage storeButton(); // three states side by side, each 30 × 30
QImage upButton();
QImage downButton();
QCursor waveCursor(); // over the waveform, the time ruler and the spectrogram; hotspot at its centre
} // namespace EditorImages

// Time-ruler, waveform and spectrogram mouse rules: wheel zooms around the time under the pointer,
// a left press moves the play cursor. Shared by the views that carry them.
bool handleWaveMouse(CUIView& view, const UIRect& area, const CWavData* wav, const UIMessage& message);

class CWavDispAreaBtn : public CUIButton {};
class CWavDispChangeAreaBtn : public CUIButton {
public:
    explicit CWavDispChangeAreaBtn(bool left) : m_left(left) {}
    bool isLeft() const { return m_left; }

private:
    bool m_left;
};

class CWavPreviewView : public CUIView, public CUIButtonDelegate {
public:
    CWavPreviewView();
    void setWavData(const CWavData* wav);
    // Places the area and the handles over the visible range (after every change of it).
    void syncArea();
    // The area's extent in pixels from the overview's left edge: x and width.
    static void areaExtent(const CWavData& wav, int overviewWidth, int& x, int& width);

    CWavDispAreaBtn& area() { return *m_area; }
    CWavDispChangeAreaBtn& leftHandle() { return *m_leftHandle; }
    CWavDispChangeAreaBtn& rightHandle() { return *m_rightHandle; }

    void layoutView(int left, int top, int right, int bottom) override;
    void drawView(const QRect& dirty, QPainter& painter) override;
    bool mouseMessage(const UIMessage& message) override;
    void buttonDragged(CUIButton* button, int pressX, int pressY, int lastX, int lastY, int x, int y) override;
    bool buttonSetCursor(CUIButton* button) override;

private:
    bool hasFile() const;
    float timeAt(int x) const;

    const CWavData* m_wav = nullptr;
    CWavDispAreaBtn* m_area;
    CWavDispChangeAreaBtn* m_leftHandle;
    CWavDispChangeAreaBtn* m_rightHandle;
    std::vector<WaveColumn> m_columns; // the whole file, for the current width
    const std::int16_t* m_columnsOf = nullptr;
    int m_columnsWidth = -1;
};

class CWavTimeGraduationView : public CGraduationView {
public:
    CWavTimeGraduationView();
    void setWavData(const CWavData* wav) { m_wav = wav; }
    bool mouseMessage(const UIMessage& message) override;

protected:
    bool rangeToShow(double& start, double& span) const override;

private:
    const CWavData* m_wav = nullptr;
    bool m_dragging = false;
    int m_lastX = 0;
};

class CWavAmpGraduationView : public CGraduationView {
public:
    CWavAmpGraduationView();
    void setWavData(const CWavData* wav) { m_wav = wav; }
    bool mouseMessage(const UIMessage& message) override;

protected:
    bool rangeToShow(double& start, double& span) const override;

private:
    const CWavData* m_wav = nullptr;
};

// The mouse handling of the waveform.
class CWavDispActionView : public CUIView {
public:
    void setWavData(const CWavData* wav) { m_wav = wav; }
    bool mouseMessage(const UIMessage& message) override;

protected:
    const CWavData* m_wav = nullptr;
};

class CWavDispView : public CWavDispActionView {
public:
    void drawView(const QRect& dirty, QPainter& painter) override;

private:
    WaveformRenderer m_renderer;
};

class CWavMarginView : public CUIView {
public:
    void setWavData(const CWavData* wav) { m_wav = wav; }
    void drawView(const QRect& dirty, QPainter& painter) override;
    bool hitTest(int, int) const override { return false; }

private:
    const CWavData* m_wav = nullptr;
};

// A marker's label: dragging it moves the marker.
class CCommonTagView : public CUIButton {
public:
    explicit CCommonTagView(CTag* tag) : m_tag(tag) {}
    CTag* tag() const { return m_tag; }
    void drawView(const QRect& dirty, QPainter& painter) override;
    bool mouseMessage(const UIMessage& message) override;
    Qt::KeyboardModifiers dragModifiers() const { return m_modifiers; }

private:
    CTag* m_tag;
    Qt::KeyboardModifiers m_modifiers;
};

// The play cursor's handle.
class CPlayTagView : public CCommonTagView {
public:
    using CCommonTagView::CCommonTagView;
    void drawView(const QRect& dirty, QPainter& painter) override;
};

class CTagMgrView : public CUIView, public CUIButtonDelegate {
public:
    static constexpr int kLabelHeight = 20;
    static constexpr int kLabelPitch = 21;
    static constexpr int kFirstLabelTop = 4;
    static constexpr int kHandleSize = 15;

    void setWavData(const CWavData* wav) { m_wav = wav; }
    // The marker set whose markers are shown (rebuilds the labels).
    void setTagSet(CTagSet* tags);
    // Places the labels and the handle at their markers' pixels (after every move, zoom or pan).
    void syncTags();
    const std::vector<CCommonTagView*>& labels() const { return m_labels; }
    CPlayTagView* playHandle() const { return m_playHandle; }
    // The label box of marker index i (before syncTags() hides the ones out of view).
    UIRect labelRect(int index) const;

    void layoutView(int left, int top, int right, int bottom) override;
    void drawView(const QRect& dirty, QPainter& painter) override;
    bool hitTest(int, int) const override { return false; }
    void buttonPressed(CUIButton* button, int x, int y) override;
    void buttonDragged(CUIButton* button, int pressX, int pressY, int lastX, int lastY, int x, int y) override;
    bool buttonSetCursor(CUIButton* button) override;
    // The floating panel: marker lines leave its box clear; the labels stay above it, so that every
    // label can be grabbed wherever the panel is.
    void setCoveringView(const CUIView* view) { m_covering = view; }

private:
    bool hasFile() const;
    void clearLabels();

    float m_dragStartTime = 0.0f; // [s] the dragged marker when it was grabbed
    int m_dragStartX = 0;
    const CUIView* m_covering = nullptr;

    const CWavData* m_wav = nullptr;
    CTagSet* m_tags = nullptr;
    std::vector<CCommonTagView*> m_labels;
    CPlayTagView* m_playHandle = nullptr;
};

// The f0 overlay over the spectrogram (F0CheckOverlay.h): draws the outcome it is given, nothing
// without one.
class CF0OverlayView : public CUIView {
public:
    void setWavData(const CWavData* wav) { m_wav = wav; }
    void setOutcome(std::shared_ptr<const F0CheckOutcome> outcome) { m_outcome = std::move(outcome); }
    const F0CheckOutcome* outcome() const { return m_outcome.get(); }
    void drawView(const QRect& dirty, QPainter& painter) override;
    bool hitTest(int, int) const override { return false; }

private:
    const CWavData* m_wav = nullptr;
    std::shared_ptr<const F0CheckOutcome> m_outcome;
};

// The strip under the spectrogram: times of the pointer, the play cursor and the markers, the CV
// lengths (EditorReadout.h) and the source check's verdict, and a state line at its right end.
class CWavTimeStripView : public CUIView {
public:
    void setModels(const CWavData* wav, const CTagSet* tags) { m_wav = wav; m_tags = tags; }
    void setKind(int kind) { m_kind = kind; }
    void setPointer(std::optional<float> time) { m_pointer = time; }
    std::optional<float> pointer() const { return m_pointer; }
    // The state line: "" for none.
    void setState(const QString& text, QRgb colour) { m_state = text; m_stateColour = colour; }
    const QString& state() const { return m_state; }
    // The check line, after the lengths: "" for none.
    void setCheck(const QString& text, QRgb colour) { m_check = text; m_checkColour = colour; }
    const QString& check() const { return m_check; }
    // What the strip shows now, items then the state line.
    std::vector<ReadoutItem> items() const;

    void drawView(const QRect& dirty, QPainter& painter) override;
    bool hitTest(int, int) const override { return false; }

private:
    const CWavData* m_wav = nullptr;
    const CTagSet* m_tags = nullptr;
    int m_kind = 0;
    std::optional<float> m_pointer;
    QString m_state;
    QRgb m_stateColour = 0;
    QString m_check;
    QRgb m_checkColour = 0;
};

class CWavMgrFloatPanel : public CUIButton, public CUIButtonDelegate {
public:
    static constexpr int kWidth = 120;
    static constexpr int kHeight = 42;

    CWavMgrFloatPanel();
    // Moves the panel to its top-left corner (board pixels), kept inside the window.
    void placeAt(int x, int y);
    CUIImageButton& storeButton() { return *m_store; }
    CUIImageButton& upButton() { return *m_up; }
    CUIImageButton& downButton() { return *m_down; }

    void layoutView(int left, int top, int right, int bottom) override;
    void drawView(const QRect& dirty, QPainter& painter) override;
    void buttonDragged(CUIButton* button, int pressX, int pressY, int lastX, int lastY, int x, int y) override;
    void buttonClicked(CUIButton* button) override;

private:
    CUIImageButton* m_store;
    CUIImageButton* m_up;
    CUIImageButton* m_down;
    int m_windowWidth = 0;
    int m_windowHeight = 0;
};

class CWavMgrView : public CUIView {
public:
    CWavMgrView();
    // Every view gets the wave model; the marker layer gets the marker set.
    void setModels(CWavData* wav, CTagSet* tags);

    void layoutView(int left, int top, int right, int bottom) override;
    void drawView(const QRect& dirty, QPainter& painter) override;
    bool mouseMessage(const UIMessage& message) override;
    // After the visible range or the markers changed: places the area, the labels and the handle.
    void syncAll();

    CWavPreviewView& overview() { return *m_overview; }
    CWavTimeGraduationView& timeRuler() { return *m_timeRuler; }
    CWavDispView& waveform() { return *m_waveform; }
    CWavAmpGraduationView& ampRuler() { return *m_ampRuler; }
    CSpectrogramImgView& spectrogram() { return *m_spectrogram; }
    CSpectralFreqGraduationView& freqRuler() { return *m_freqRuler; }
    CF0OverlayView& f0Overlay() { return *m_f0Overlay; }
    CWavMarginView& margins() { return *m_margins; }
    CTagMgrView& markers() { return *m_markers; }
    CWavMgrFloatPanel& panel() { return *m_panel; }
    CWavTimeStripView& timeStrip() { return *m_timeStrip; }

private:
    CWavData* m_wav = nullptr;
    CWavPreviewView* m_overview;
    CWavTimeGraduationView* m_timeRuler;
    CWavDispView* m_waveform;
    CWavAmpGraduationView* m_ampRuler;
    CSpectrogramImgView* m_spectrogram;
    CSpectralFreqGraduationView* m_freqRuler;
    CF0OverlayView* m_f0Overlay;
    CWavMarginView* m_margins;
    CTagMgrView* m_markers;
    CWavMgrFloatPanel* m_panel;
    CWavTimeStripView* m_timeStrip;
    bool m_panelPlaced = false;
};

} // namespace TessarinEditor
