#include "ui/editor/CWavMgrView.h"

#include "audio/CWavData.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/UISignalNames.h"
#include "ui/toolkit/UiStyle.h"
#include "ui/editor/WavViewRange.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {
constexpr int kInset = 10;
constexpr int kRulerWidth = 38;
constexpr QRgb kOverviewBackground = qRgb(24, 24, 24);
constexpr QRgb kOverviewWave = qRgb(120, 140, 180);
constexpr QRgb kAreaFill = qRgb(255, 255, 255);
constexpr QRgb kHandle = qRgb(230, 230, 230);
constexpr QRgb kLabelText = qRgb(0, 0, 0);
constexpr float kWheelPanFraction = 0.1f; // of the view length per wheel step (120) with Shift

bool loaded(const CWavData* wav)
{
    return wav && wav->duration > 0.0f && !wav->pcm.empty();
}

void setCursorOf(CUIView& view, const QCursor& cursor)
{
    if (CUIBoard* board = view.board()) {
        board->setCursor(cursor);
    }
}
} // namespace

WavMgrLayout wavMgrLayout(int width, int height)
{
    const int l = kInset, t = kInset, r = width - kInset;
    const int b = height - kInset - WavMgrLayout::kTimeStripHeight - 2;
    const int m = (t + 70) + ((b - (t + 70)) / 2);
    WavMgrLayout out;
    out.timeStrip = {l, b + 2, r, height - kInset};
    out.overview = {l, t, r, t + 36};
    out.timeRuler = {l, t + 46, r - kRulerWidth, t + 70};
    out.waveform = {l, t + 70, r - kRulerWidth, m};
    out.ampRuler = {r - kRulerWidth, t + 70, r, m};
    out.spectrogram = {l, m + 2, r - kRulerWidth, b};
    out.freqRuler = {r - kRulerWidth, m + 2, r, b};
    out.margins = {l, t + 70, r - kRulerWidth, b};
    out.markers = {l, t + 55, r - kRulerWidth, b};
    return out;
}

UIRect keepPanelInside(const UIRect& panel, int width, int height)
{
    UIRect out = panel;
    const int w = panel.width(), h = panel.height();
    if ((panel.left + panel.right) / 2 < width / 2) {
        out.left = std::max(panel.left, 0);
    } else {
        out.left = std::min(panel.right, width) - w;
    }
    if ((panel.top + panel.bottom) / 2 < height / 2) {
        out.top = std::max(panel.top, 0);
    } else {
        out.top = std::min(panel.bottom, height) - h;
    }
    out.right = out.left + w;
    out.bottom = out.top + h;
    return out;
}

// ---- Pictures -----------------------------------------------------------------------------------

namespace EditorImages {

QImage frame()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(46, 46, 50));
    QPainter p(&image);
    p.setPen(QPen(QColor(80, 80, 88), 0));
    p.drawRect(0, 0, 31, 31);
    p.setPen(QPen(QColor(30, 30, 33), 0));
    p.drawRect(1, 1, 29, 29);
    return image;
}

namespace {
// Three 30 × 30 states side by side (normal, hover, pressed) around a glyph drawn by glyph().
template <class Glyph>
QImage strip(Glyph glyph)
{
    QImage image(90, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor fills[3] = {QColor(70, 74, 84), QColor(92, 98, 112), QColor(50, 54, 62)};
    for (int s = 0; s < 3; ++s) {
        const QRectF box(s * 30 + 1.5, 1.5, 27, 27);
        p.setPen(QPen(QColor(140, 146, 160), 1));
        p.setBrush(fills[s]);
        p.drawRoundedRect(box, 4, 4);
        p.save();
        p.translate(s * 30 + (s == 2 ? 1 : 0), s == 2 ? 1 : 0);
        glyph(p);
        p.restore();
    }
    return image;
}
} // namespace

QImage storeButton()
{
    return strip([](QPainter& p) {
        // A tick: store.
        p.setPen(QPen(QColor(120, 220, 120), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(8, 15), QPointF(13, 21), QPointF(22, 9)}));
    });
}

QImage upButton()
{
    return strip([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 230, 230));
        p.drawPolygon(QPolygonF({QPointF(15, 8), QPointF(23, 20), QPointF(7, 20)}));
    });
}

QImage downButton()
{
    return strip([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 230, 230));
        p.drawPolygon(QPolygonF({QPointF(7, 10), QPointF(23, 10), QPointF(15, 22)}));
    });
}

QCursor waveCursor()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    // A thin vertical beam with a cross bar, outlined for any background.
    p.setPen(QPen(QColor(0, 0, 0), 3));
    p.drawLine(16, 4, 16, 28);
    p.drawLine(11, 16, 21, 16);
    p.setPen(QPen(QColor(255, 255, 255), 1));
    p.drawLine(16, 4, 16, 28);
    p.drawLine(11, 16, 21, 16);
    p.end();
    return QCursor(QPixmap::fromImage(image), 16, 16);
}

} // namespace EditorImages

// ---- Shared mouse rules -------------------------------------------------------------------------

bool handleWaveMouse(CUIView& view, const UIRect& area, const CWavData* wav, const UIMessage& message)
{
    if (!area.contains(message.x, message.y)) {
        return false;
    }
    switch (message.kind) {
    case UIMessageKind::SetCursor:
        setCursorOf(view, EditorImages::waveCursor());
        return true;
    case UIMessageKind::Wheel: {
        if (!loaded(wav) || message.wheelDelta == 0) {
            return true;
        }
        if (message.modifiers.testFlag(Qt::ShiftModifier)) {
            // Shift+wheel pans: away from the user towards the start, a tenth of the view per step.
            float delta = -float(message.wheelDelta) / 120.0f * kWheelPanFraction * wav->viewLength;
            view.sendSignal(UISignalNames::kOffsetDispArea, &delta);
            return true;
        }
        WavZoomArgument zoom;
        zoom.anchorTime = pixelToTime(*wav, message.x, area.left, area.width());
        zoom.steps = wheelSteps(message.wheelDelta);
        view.sendSignal(message.wheelDelta > 0 ? UISignalNames::kZoomInWav : UISignalNames::kZoomOutWav, &zoom);
        return true;
    }
    case UIMessageKind::LeftDown: {
        if (!loaded(wav)) {
            return true;
        }
        float time = pixelToTime(*wav, message.x, area.left, area.width());
        view.sendSignal(UISignalNames::kMovePlayPos, &time);
        return true;
    }
    default:
        return false;
    }
}

// ---- Overview -----------------------------------------------------------------------------------

CWavPreviewView::CWavPreviewView()
{
    m_area = addOwnedChild(std::make_unique<CWavDispAreaBtn>());
    m_leftHandle = addOwnedChild(std::make_unique<CWavDispChangeAreaBtn>(true));
    m_rightHandle = addOwnedChild(std::make_unique<CWavDispChangeAreaBtn>(false));
    for (CUIButton* b : {static_cast<CUIButton*>(m_area), static_cast<CUIButton*>(m_leftHandle),
                         static_cast<CUIButton*>(m_rightHandle)}) {
        b->setDelegate(this);
        b->setViewHidden(true);
    }
}

void CWavPreviewView::setWavData(const CWavData* wav)
{
    m_wav = wav;
    m_columnsWidth = -1;
    syncArea();
}

bool CWavPreviewView::hasFile() const
{
    return loaded(m_wav);
}

void CWavPreviewView::areaExtent(const CWavData& wav, int overviewWidth, int& x, int& width)
{
    const double w = double(overviewWidth);
    x = int(std::floor(double(wav.viewStart) / double(wav.duration) * w));
    width = std::max(3, int(std::floor(double(wav.viewLength) / double(wav.duration) * w)));
}

void CWavPreviewView::syncArea()
{
    const bool show = hasFile() && viewRect().width() > 0;
    m_area->setViewHidden(!show);
    m_leftHandle->setViewHidden(!show);
    m_rightHandle->setViewHidden(!show);
    if (!show) {
        return;
    }
    const UIRect r = viewRect();
    int x = 0, w = 0;
    areaExtent(*m_wav, r.width(), x, w);
    const int left = r.left + x;
    m_area->layoutView(left, r.top, left + w, r.bottom);
    const int handle = w > 13 ? 7 : 1;
    m_leftHandle->layoutView(left, r.top, left + handle, r.bottom);
    m_rightHandle->layoutView(left + w - handle, r.top, left + w, r.bottom);
}

void CWavPreviewView::layoutView(int left, int top, int right, int bottom)
{
    CUIView::layoutView(left, top, right, bottom);
    syncArea();
}

float CWavPreviewView::timeAt(int x) const
{
    return float(x - viewRect().left) / float(std::max(1, viewRect().width())) * m_wav->duration;
}

void CWavPreviewView::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect area = viewRect().toQRect();
    painter.fillRect(area, uiColour(kOverviewBackground));
    if (hasFile() && area.width() > 0) {
        if (m_columnsWidth != area.width() || m_columnsOf != m_wav->pcm.data()) {
            overviewColumns(m_wav->pcm, area.width(), m_columns);
            m_columnsWidth = area.width();
            m_columnsOf = m_wav->pcm.data();
        }
        painter.setPen(QPen(uiColour(kOverviewWave), 0));
        const double centre = area.top() + area.height() / 2.0;
        const double half = area.height() / 2.0;
        for (int c = 0; c < area.width(); ++c) {
            const WaveColumn& col = m_columns[std::size_t(c)];
            if (!col.empty) {
                painter.drawLine(area.left() + c, int(std::floor(centre - col.high * half)), area.left() + c,
                                 int(std::floor(centre - col.low * half)));
            }
        }
        // The visible range.
        const QRect shown = m_area->viewRect().toQRect();
        QColor fill = uiColour(kAreaFill);
        fill.setAlpha(m_area->state() == CUIButton::kPressed ? 90 : (m_area->state() == CUIButton::kHover ? 70 : 50));
        painter.fillRect(shown, fill);
        painter.setPen(QPen(uiColour(kAreaFill), 0));
        painter.drawRect(shown.adjusted(0, 0, -1, -1));
        for (CWavDispChangeAreaBtn* h : {m_leftHandle, m_rightHandle}) {
            QColor c = uiColour(kHandle);
            c.setAlpha(h->state() == CUIButton::kNormal ? 150 : 230);
            painter.fillRect(h->viewRect().toQRect(), c);
        }
    }
    drawChildren(dirty, painter);
}

bool CWavPreviewView::mouseMessage(const UIMessage& message)
{
    if (!hasFile()) {
        return message.kind != UIMessageKind::SetCursor;
    }
    const UIRect r = viewRect();
    const UIRect shown = m_area->viewRect();
    const float centre = float(shown.left + shown.right) / 2.0f;
    switch (message.kind) {
    case UIMessageKind::LeftDown: {
        float delta = (float(message.x) - centre) / float(r.width()) * m_wav->duration;
        sendSignal(UISignalNames::kOffsetDispArea, &delta);
        return true;
    }
    case UIMessageKind::Wheel:
        if (shown.contains(message.x, message.y)) {
            WavZoomArgument zoom;
            zoom.anchorTime = timeAt(message.x);
            zoom.steps = wheelSteps(message.wheelDelta);
            sendSignal(message.wheelDelta > 0 ? UISignalNames::kZoomInWav : UISignalNames::kZoomOutWav, &zoom);
        } else {
            float delta = (float(message.x) - centre) / float(r.width()) * m_wav->duration;
            sendSignal(UISignalNames::kOffsetDispArea, &delta);
        }
        return true;
    default:
        return false;
    }
}

void CWavPreviewView::buttonDragged(CUIButton* button, int, int, int lastX, int, int x, int)
{
    if (!hasFile() || x == lastX) {
        return;
    }
    float delta = float(x - lastX) / float(std::max(1, viewRect().width())) * m_wav->duration;
    if (button == m_area) {
        sendSignal(UISignalNames::kOffsetDispArea, &delta, button);
    } else if (button == m_leftHandle) {
        sendSignal(UISignalNames::kOffsetLeftPt, &delta, button);
    } else if (button == m_rightHandle) {
        sendSignal(UISignalNames::kOffsetRightPt, &delta, button);
    }
}

bool CWavPreviewView::buttonSetCursor(CUIButton* button)
{
    setCursorOf(*this, button == m_area ? QCursor(Qt::SizeAllCursor) : QCursor(Qt::SizeHorCursor));
    return true;
}

// ---- Rulers -------------------------------------------------------------------------------------

CWavTimeGraduationView::CWavTimeGraduationView() : CGraduationView(Orientation::Horizontal) {}

bool CWavTimeGraduationView::rangeToShow(double& start, double& span) const
{
    if (!loaded(m_wav)) {
        return false;
    }
    start = m_wav->viewStart;
    span = m_wav->viewLength;
    return true;
}

bool CWavTimeGraduationView::mouseMessage(const UIMessage& message)
{
    const UIRect r = viewRect();
    if (message.kind == UIMessageKind::MouseMove) {
        if (m_dragging && message.leftButtonHeld() && loaded(m_wav)) {
            const int dx = message.x - m_lastX;
            m_lastX = message.x;
            if (dx != 0) {
                float delta = -float(dx) / float(std::max(1, r.width())) * m_wav->viewLength;
                sendSignal(UISignalNames::kOffsetDispArea, &delta);
            }
            return true;
        }
        m_dragging = false;
        return false;
    }
    if (message.kind == UIMessageKind::LeftDown) {
        m_dragging = true;
        m_lastX = message.x;
    } else if (message.kind == UIMessageKind::LeftUp) {
        m_dragging = false;
    }
    return handleWaveMouse(*this, r, m_wav, message);
}

CWavAmpGraduationView::CWavAmpGraduationView() : CGraduationView(Orientation::Vertical) {}

bool CWavAmpGraduationView::rangeToShow(double& start, double& span) const
{
    if (!loaded(m_wav)) {
        return false;
    }
    start = -double(m_wav->amplitudeRange);
    span = 2.0 * double(m_wav->amplitudeRange);
    return true;
}

bool CWavAmpGraduationView::mouseMessage(const UIMessage& message)
{
    if (message.kind != UIMessageKind::Wheel || !loaded(m_wav)) {
        return false;
    }
    int steps = wheelSteps(message.wheelDelta);
    sendSignal(message.wheelDelta > 0 ? UISignalNames::kZoomInAmp : UISignalNames::kZoomOutAmp, &steps);
    return true;
}

// ---- Waveform and margins -----------------------------------------------------------------------

bool CWavDispActionView::mouseMessage(const UIMessage& message)
{
    return handleWaveMouse(*this, viewRect(), m_wav, message);
}

void CWavDispView::drawView(const QRect& dirty, QPainter& painter)
{
    static const CWavData kEmpty;
    m_renderer.draw(painter, viewRect().toQRect(), m_wav ? *m_wav : kEmpty);
    drawChildren(dirty, painter);
}

void CWavMarginView::drawView(const QRect& dirty, QPainter& painter)
{
    if (loaded(m_wav) && m_wav->viewLength > 0.0f) {
        const UIRect r = viewRect();
        QColor fill = uiColour(UiColours::kMargin);
        fill.setAlpha(UiColours::kMarginAlpha);
        const float d = m_wav->duration;
        for (const auto& [from, to] : {std::pair{0.0f, WavRange::kMargin}, std::pair{d - WavRange::kMargin, d}}) {
            const int x0 = std::max(r.left, timeToPixel(*m_wav, from, r.left, r.width()));
            const int x1 = std::min(r.right, timeToPixel(*m_wav, to, r.left, r.width()));
            if (x1 > x0) {
                painter.fillRect(QRect(x0, r.top, x1 - x0, r.height()), fill);
            }
        }
    }
    drawChildren(dirty, painter);
}

// ---- Markers ------------------------------------------------------------------------------------

bool CCommonTagView::mouseMessage(const UIMessage& message)
{
    m_modifiers = message.modifiers;
    return CUIButton::mouseMessage(message);
}

void CCommonTagView::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect box = viewRect().toQRect();
    QColor fill = QColor::fromRgb(m_tag->colour);
    if (state() != kNormal) {
        fill = fill.lighter(125);
    }
    painter.fillRect(box, fill);
    painter.setPen(QPen(QColor(0, 0, 0, 120), 0));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(uiColour(kLabelText), 0));
    painter.setFont(toolkitFont());
    painter.drawText(box, Qt::AlignCenter, QString::fromStdString(m_tag->name));
    drawChildren(dirty, painter);
}

void CPlayTagView::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect box = viewRect().toQRect();
    QColor fill = QColor::fromRgb(tag()->colour);
    if (state() != kNormal) {
        fill = fill.lighter(140);
    }
    painter.fillRect(box, fill);
    painter.setPen(QPen(QColor(255, 255, 255), 0));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    drawChildren(dirty, painter);
}

bool CTagMgrView::hasFile() const
{
    return loaded(m_wav) && m_wav->viewLength > 0.0f;
}

void CTagMgrView::clearLabels()
{
    for (CCommonTagView* label : m_labels) {
        removeChild(label);
    }
    m_labels.clear();
    if (m_playHandle) {
        removeChild(m_playHandle);
        m_playHandle = nullptr;
    }
}

void CTagMgrView::setTagSet(CTagSet* tags)
{
    clearLabels();
    m_tags = tags;
    if (!tags) {
        return;
    }
    for (const auto& tag : tags->markers) {
        auto* label = addOwnedChild(std::make_unique<CCommonTagView>(tag.get()));
        label->setDelegate(this);
        m_labels.push_back(label);
    }
    m_playHandle = addOwnedChild(std::make_unique<CPlayTagView>(&tags->playCursor));
    m_playHandle->setDelegate(this);
    syncTags();
}

UIRect CTagMgrView::labelRect(int index) const
{
    const UIRect r = viewRect();
    const CTag* tag = m_tags->markers[std::size_t(index)].get();
    const int x = timeToPixel(*m_wav, tag->position, r.left, r.width());
    const int w = 6 * int(tag->name.size()) + 6;
    const int left = x - w / 2;
    const int top = r.top + kFirstLabelTop + kLabelPitch * index;
    return {left, top, left + w, top + kLabelHeight};
}

void CTagMgrView::syncTags()
{
    if (!m_tags) {
        return;
    }
    const UIRect r = viewRect();
    const bool show = hasFile();
    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        CCommonTagView* label = m_labels[i];
        if (!show) {
            label->setViewHidden(true);
            continue;
        }
        const UIRect box = labelRect(int(i));
        const int x = (box.left + box.right) / 2;
        // A label whose marker is out of view is hidden, unless it is being dragged.
        const bool inView = x >= r.left && x < r.right;
        label->layoutView(box.left, box.top, box.right, box.bottom);
        label->setViewHidden(!inView && label->state() != CUIButton::kPressed);
    }
    if (m_playHandle) {
        const int x = show ? timeToPixel(*m_wav, m_tags->playCursor.position, r.left, r.width()) : r.left;
        const int left = x - kHandleSize / 2;
        m_playHandle->layoutView(left, r.top, left + kHandleSize, r.top + kHandleSize);
        m_playHandle->setViewHidden(!show || ((x < r.left || x >= r.right) && m_playHandle->state() != CUIButton::kPressed));
    }
}

void CTagMgrView::layoutView(int left, int top, int right, int bottom)
{
    CUIView::layoutView(left, top, right, bottom);
    syncTags();
}

void CTagMgrView::drawView(const QRect& dirty, QPainter& painter)
{
    if (m_tags && hasFile()) {
        const UIRect r = viewRect();
        painter.save();
        QRegion lineArea(r.toQRect());
        if (m_covering && !m_covering->isViewHidden()) {
            lineArea -= QRegion(m_covering->viewRect().toQRect());
        }
        painter.setClipRegion(lineArea, Qt::IntersectClip);
        // The play cursor first: a marker at the same pixel stays visible over it.
        const int px = timeToPixel(*m_wav, m_tags->playCursor.position, r.left, r.width());
        painter.setPen(QPen(QColor::fromRgb(m_tags->playCursor.colour), 0));
        painter.drawLine(px, r.top + kHandleSize, px, r.bottom - 1);
        for (std::size_t i = 0; i < m_labels.size(); ++i) {
            const CTag* tag = m_tags->markers[i].get();
            const UIRect box = labelRect(int(i));
            const int x = timeToPixel(*m_wav, tag->position, r.left, r.width());
            painter.setPen(QPen(QColor::fromRgb(tag->colour), 0));
            const int lineTop = r.top + 15;
            if (box.top > lineTop) {
                painter.drawLine(x, lineTop, x, box.top - 1);
            }
            painter.drawLine(x, box.bottom, x, r.bottom - 1);
        }
        painter.restore();
        painter.save();
        painter.setClipRect(r.toQRect(), Qt::IntersectClip);
        drawChildren(dirty, painter);
        painter.restore();
        return;
    }
    drawChildren(dirty, painter);
}

void CTagMgrView::buttonPressed(CUIButton* button, int x, int)
{
    m_dragStartTime = static_cast<CCommonTagView*>(button)->tag()->position;
    m_dragStartX = x;
}

void CTagMgrView::buttonDragged(CUIButton* button, int, int, int lastX, int, int x, int)
{
    if (!hasFile() || x == lastX) {
        return;
    }
    auto* label = static_cast<CCommonTagView*>(button);
    // The marker goes to the time under the pointer (as grabbed), not by the step since the last
    // move: a step cut off at 0 or at the end would otherwise be lost and the marker would no
    // longer follow the pointer when it comes back.
    const float pointerTime =
        m_dragStartTime + float(x - m_dragStartX) / float(std::max(1, viewRect().width())) * m_wav->viewLength;
    const float target = std::min(std::max(pointerTime, 0.0f), m_wav->duration);
    TagMovingArgument moving;
    moving.tag = label->tag();
    moving.delta = target - label->tag()->position;
    if (moving.delta == 0.0f) {
        return;
    }
    moving.allMarkers = label != m_playHandle && label->dragModifiers().testFlag(Qt::ControlModifier);
    sendSignal(UISignalNames::kTagMoving, &moving, button);
}

bool CTagMgrView::buttonSetCursor(CUIButton*)
{
    setCursorOf(*this, QCursor(Qt::PointingHandCursor));
    return true;
}

// ---- f0 overlay ---------------------------------------------------------------------------------

void CF0OverlayView::drawView(const QRect& dirty, QPainter& painter)
{
    if (m_outcome && loaded(m_wav)) {
        drawF0Overlay(painter, viewRect().toQRect(), *m_wav, *m_outcome);
    }
    drawChildren(dirty, painter);
}

// ---- Time strip ---------------------------------------------------------------------------------

std::vector<ReadoutItem> CWavTimeStripView::items() const
{
    std::vector<ReadoutItem> out;
    if (m_wav && m_tags) {
        out = timeReadout(*m_wav, *m_tags, m_kind, m_pointer);
    }
    if (!m_check.isEmpty()) {
        out.push_back({m_check, m_checkColour, 1});
    }
    if (!m_state.isEmpty()) {
        out.push_back({m_state, m_stateColour});
    }
    return out;
}

void CWavTimeStripView::drawView(const QRect& dirty, QPainter& painter)
{
    // Two lines: the times; then the lengths at the left and the state line at the right.
    const QRect box = viewRect().toQRect();
    painter.fillRect(box, uiColour(UiColours::kRulerBackground));
    painter.setFont(toolkitFont());
    const QFontMetrics metrics(painter.font());
    const int gap = 2 * metrics.averageCharWidth();
    const int lineHeight = box.height() / 2;
    int stateLeft = box.right();
    if (!m_state.isEmpty()) {
        stateLeft = box.right() - 6 - metrics.horizontalAdvance(m_state);
        painter.setPen(QPen(QColor::fromRgb(m_stateColour), 0));
        painter.drawText(QRect(stateLeft, box.top() + lineHeight, box.right() - stateLeft, lineHeight),
                         Qt::AlignVCenter | Qt::AlignLeft, m_state);
    }
    int x[2] = {box.left() + 6, box.left() + 6};
    if (m_wav && m_tags) {
        std::vector<ReadoutItem> shown = timeReadout(*m_wav, *m_tags, m_kind, m_pointer);
        if (!m_check.isEmpty()) {
            shown.push_back({m_check, m_checkColour, 1});
        }
        for (const ReadoutItem& item : shown) {
            const int line = std::clamp(item.line, 0, 1);
            const int w = metrics.horizontalAdvance(item.text);
            const int limit = line == 1 ? stateLeft - gap : box.right();
            if (x[line] + w > limit) {
                continue; // a narrow window shows what fits
            }
            painter.setPen(QPen(QColor::fromRgb(item.colour), 0));
            painter.drawText(QRect(x[line], box.top() + line * lineHeight, w + 1, lineHeight), Qt::AlignVCenter | Qt::AlignLeft,
                             item.text);
            x[line] += w + gap;
        }
    }
    drawChildren(dirty, painter);
}

// ---- Floating panel -----------------------------------------------------------------------------

CWavMgrFloatPanel::CWavMgrFloatPanel()
{
    setDelegate(this);
    const auto makeButton = [this](const QImage& strip, const QString& tip) {
        auto* b = addOwnedChild(std::make_unique<CUIImageButton>());
        for (int s = 0; s < 3; ++s) {
            b->stateImage(s).setImage(strip);
            b->stateImage(s).setSourceRect(QRect(s * 30, 0, 30, 30));
        }
        b->setTooltip(tip);
        b->setDelegate(this);
        return b;
    };
    m_store = makeButton(EditorImages::storeButton(), QStringLiteral("Store"));
    m_up = makeButton(EditorImages::upButton(), QStringLiteral("Previous"));
    m_down = makeButton(EditorImages::downButton(), QStringLiteral("Next"));
}

void CWavMgrFloatPanel::layoutView(int left, int top, int right, int bottom)
{
    CUIView::layoutView(left, top, right, bottom);
    const int y = top + (kHeight - 30) / 2;
    m_store->layoutView(left + 10, y, left + 40, y + 30);
    // The following entry, then the preceding one.
    m_down->layoutView(left + 45, y, left + 75, y + 30);
    m_up->layoutView(left + 80, y, left + 110, y + 30);
}

void CWavMgrFloatPanel::placeAt(int x, int y)
{
    const CUIView* parent = parentView();
    const int width = parent ? parent->viewRect().right : 0;
    const int height = parent ? parent->viewRect().bottom : 0;
    UIRect box{x, y, x + kWidth, y + kHeight};
    if (width > 0 && height > 0) {
        box = keepPanelInside(box, width, height);
    }
    layoutView(box.left, box.top, box.right, box.bottom);
}

void CWavMgrFloatPanel::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect box = viewRect().toQRect();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(150, 150, 160, 200), 1));
    painter.setBrush(QColor(40, 42, 48, 215));
    painter.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.restore();
    drawChildren(dirty, painter);
}

void CWavMgrFloatPanel::buttonDragged(CUIButton* button, int, int, int lastX, int lastY, int x, int y)
{
    if (button != this) {
        return;
    }
    placeAt(viewRect().left + (x - lastX), viewRect().top + (y - lastY));
    if (CUIBoard* b = board()) {
        b->update();
    }
}

void CWavMgrFloatPanel::buttonClicked(CUIButton* button)
{
    if (button == m_store) {
        sendSignal(UISignalNames::kUpdateVoiceCfg, nullptr, button);
    } else if (button == m_down) {
        unsigned char direction = 1;
        sendSignal(UISignalNames::kGotoNextCfg, &direction, button);
    } else if (button == m_up) {
        unsigned char direction = 0;
        sendSignal(UISignalNames::kGotoNextCfg, &direction, button);
    }
}

// ---- The tree -----------------------------------------------------------------------------------

CWavMgrView::CWavMgrView()
{
    m_overview = addOwnedChild(std::make_unique<CWavPreviewView>());
    m_timeRuler = addOwnedChild(std::make_unique<CWavTimeGraduationView>());
    m_waveform = addOwnedChild(std::make_unique<CWavDispView>());
    m_ampRuler = addOwnedChild(std::make_unique<CWavAmpGraduationView>());
    m_spectrogram = addOwnedChild(std::make_unique<CSpectrogramImgView>());
    m_freqRuler = addOwnedChild(std::make_unique<CSpectralFreqGraduationView>());
    m_f0Overlay = addOwnedChild(std::make_unique<CF0OverlayView>());
    m_margins = addOwnedChild(std::make_unique<CWavMarginView>());
    // The panel under the marker layer: a label under the panel is still found first by the mouse
    // and drawn over it (the layer itself lets every other point through to the panel).
    m_panel = addOwnedChild(std::make_unique<CWavMgrFloatPanel>());
    m_markers = addOwnedChild(std::make_unique<CTagMgrView>());
    m_markers->setCoveringView(m_panel);
    m_timeStrip = addOwnedChild(std::make_unique<CWavTimeStripView>());
    m_timeRuler->setUnitText(QStringLiteral("s"));
    background().setImage(EditorImages::frame());
    background().setStretch(true, QMargins(4, 4, 4, 4));
}

void CWavMgrView::setModels(CWavData* wav, CTagSet* tags)
{
    m_wav = wav;
    m_overview->setWavData(wav);
    m_timeRuler->setWavData(wav);
    m_waveform->setWavData(wav);
    m_ampRuler->setWavData(wav);
    m_spectrogram->setWavData(wav);
    m_freqRuler->setWavData(wav);
    m_f0Overlay->setWavData(wav);
    m_margins->setWavData(wav);
    m_markers->setWavData(wav);
    m_markers->setTagSet(tags);
    m_timeStrip->setModels(wav, tags);
}

void CWavMgrView::layoutView(int left, int top, int right, int bottom)
{
    CUIView::layoutView(left, top, right, bottom);
    const WavMgrLayout l = wavMgrLayout(right - left, bottom - top);
    const auto place = [](CUIView* v, const UIRect& r) { v->layoutView(r.left, r.top, r.right, r.bottom); };
    place(m_overview, l.overview);
    place(m_timeRuler, l.timeRuler);
    place(m_waveform, l.waveform);
    place(m_ampRuler, l.ampRuler);
    place(m_spectrogram, l.spectrogram);
    place(m_freqRuler, l.freqRuler);
    place(m_f0Overlay, l.spectrogram);
    place(m_margins, l.margins);
    place(m_markers, l.markers);
    place(m_timeStrip, l.timeStrip);
    if (!m_panelPlaced) {
        m_panelPlaced = true;
        m_panel->placeAt(20, 90);
    } else {
        m_panel->placeAt(m_panel->viewRect().left, m_panel->viewRect().top);
    }
}

void CWavMgrView::drawView(const QRect& dirty, QPainter& painter)
{
    background().draw(painter, viewRect().toQRect());
    drawChildren(dirty, painter);
}

bool CWavMgrView::mouseMessage(const UIMessage& message)
{
    // The spectrogram has no mouse handling of its own: the waveform's rules apply over it.
    return handleWaveMouse(*this, m_spectrogram->viewRect(), m_wav, message);
}

void CWavMgrView::syncAll()
{
    m_overview->syncArea();
    m_markers->syncTags();
}

} // namespace TessarinEditor
