// The toolkit: image buttons in their three states (one with its tooltip), and horizontal and
// vertical rulers at three zoom levels.

#include "Screenshots.h"
#include "ui/toolkit/CGraduationView.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/toolkit/CUIButton.h"
#include "core/MillisecondClock.h"
#include "ui/toolkit/UiStyle.h"

#include <QPainter>

#include <memory>
#include <vector>

using namespace TessarinEditor;

namespace lvshots {

namespace {

// A filled rectangle with an optional line of text, for the pictures' frames and captions.
class CaptionView : public CUIView {
public:
    CaptionView(QColor fill, QColor ink, QString text) : m_fill(fill), m_ink(ink), m_text(std::move(text)) {}
    void drawView(const QRect& dirty, QPainter& painter) override
    {
        const QRect r = viewRect().toQRect();
        if (m_fill.alpha() > 0) {
            painter.fillRect(r, m_fill);
        }
        if (!m_text.isEmpty()) {
            painter.setFont(toolkitFont());
            painter.setPen(m_ink);
            painter.drawText(r, Qt::AlignCenter, m_text);
        }
        drawChildren(dirty, painter);
    }

private:
    QColor m_fill;
    QColor m_ink;
    QString m_text;
};

// Places every child at a rectangle fixed when it was added.
class FixedLayoutView : public CUIView {
public:
    template <class View>
    View* place(std::unique_ptr<View> view, UIRect at)
    {
        m_places.push_back(at);
        return addOwnedChild(std::move(view));
    }
    void layoutView(int left, int top, int right, int bottom) override
    {
        CUIView::layoutView(left, top, right, bottom);
        for (std::size_t i = 0; i < childViews().size() && i < m_places.size(); ++i) {
            const UIRect& p = m_places[i];
            childViews()[i]->layoutView(left + p.left, top + p.top, left + p.right, top + p.bottom);
        }
    }

private:
    std::vector<UIRect> m_places;
};

QImage render(CUIBoard& board, int w, int h)
{
    board.resize(w, h);
    return board.grab().toImage();
}

bool buttonsPicture(const Context& context)
{
    CUIBoard board;
    auto root = std::make_unique<FixedLayoutView>();
    FixedLayoutView* layout = root.get();
    board.addOwnedChild(std::move(root));

    const QColor panel(44, 47, 54);
    const QColor text(220, 224, 230);
    layout->place(std::make_unique<CaptionView>(panel, text, QString()), {0, 0, 330, 170});
    const char* const states[] = {"normal", "hover", "pressed"};
    for (int s = 0; s < 3; ++s) {
        layout->place(std::make_unique<CaptionView>(QColor(Qt::transparent), text, QString::fromLatin1(states[s])),
                      {110 + 70 * s, 12, 170 + 70 * s, 30});
    }
    const char* const images[] = {":/tests/btn-store.png", ":/tests/btn-up.png", ":/tests/btn-down.png"};
    const char* const names[] = {"store", "previous", "next"};
    std::vector<CUIImageButton*> buttons;
    for (int row = 0; row < 3; ++row) {
        layout->place(std::make_unique<CaptionView>(QColor(Qt::transparent), text, QString::fromLatin1(names[row])),
                      {10, 44 + 40 * row, 100, 74 + 40 * row});
        for (int s = 0; s < 3; ++s) {
            auto button = std::make_unique<CUIImageButton>();
            if (!button->loadStateStrip(QString::fromLatin1(images[row]))) {
                std::fprintf(stderr, "screenshots: missing %s\n", images[row]);
                return false;
            }
            buttons.push_back(layout->place(std::move(button), {125 + 70 * s, 44 + 40 * row, 155 + 70 * s, 74 + 40 * row}));
        }
    }
    board.resize(330, 170);
    board.relayout();

    const auto message = [](UIMessageKind kind, const CUIView* over) {
        UIMessage m;
        m.kind = kind;
        m.x = over->viewRect().left + 15;
        m.y = over->viewRect().top + 12;
        m.buttons = kind == UIMessageKind::LeftDown ? Qt::LeftButton : Qt::NoButton;
        return m;
    };
    // Third column pressed, second column hovered: the buttons are driven one by one, since the
    // board itself hovers and captures one view at a time.
    for (int row = 0; row < 3; ++row) {
        CUIImageButton* pressed = buttons[std::size_t(row * 3 + 2)];
        pressed->mouseMessage(message(UIMessageKind::LeftDown, pressed));
        board.releaseButton(pressed);
        CUIImageButton* hovered = buttons[std::size_t(row * 3 + 1)];
        hovered->mouseMessage(message(UIMessageKind::MouseMove, hovered));
    }
    // The first hovered button got there through the board, and shows its tooltip.
    Tessarin::ManualMillisecondClock clock(1000);
    const Tessarin::ScopedProcessClock useClock(clock);
    buttons[1]->resetState();
    buttons[1]->setTooltip(QStringLiteral("Store the entry"));
    board.routeMessage(message(UIMessageKind::MouseMove, buttons[1]));
    const QImage image = render(board, 330, 170);
    return save(context, QStringLiteral("toolkit-buttons"), image);
}

// Rulers over one range at a zoom level: a time ruler along the top, an amplitude ruler and a
// frequency ruler in kHz down the side.
bool rulersPicture(const Context& context, int level, double timeStart, double timeSpan, double amplitude,
                   double kiloHertz)
{
    CUIBoard board;
    auto root = std::make_unique<FixedLayoutView>();
    FixedLayoutView* layout = root.get();
    board.addOwnedChild(std::move(root));
    layout->place(std::make_unique<CaptionView>(QColor(0, 0, 0), QColor(160, 160, 160),
                                                QStringLiteral("%1 s from %2 s, ±%3, 0 … %4 kHz")
                                                    .arg(timeSpan)
                                                    .arg(timeStart)
                                                    .arg(amplitude)
                                                    .arg(kiloHertz)),
                  {0, 0, 900, 320});
    auto time = std::make_unique<CGraduationView>(CGraduationView::Orientation::Horizontal);
    time->setRange(timeStart, timeSpan);
    layout->place(std::move(time), {10, 10, 810, 34});
    auto amp = std::make_unique<CGraduationView>(CGraduationView::Orientation::Vertical);
    amp->setRange(-amplitude, 2.0 * amplitude);
    layout->place(std::move(amp), {812, 34, 850, 310});
    auto freq = std::make_unique<CGraduationView>(CGraduationView::Orientation::Vertical);
    freq->setUnitText(QStringLiteral("kHz"));
    freq->setRange(0.0, kiloHertz);
    layout->place(std::move(freq), {852, 34, 890, 310});
    return save(context, QStringLiteral("rulers-zoom-%1").arg(level), render(board, 900, 320));
}

} // namespace

bool toolkitScene(const Context& context)
{
    bool ok = buttonsPicture(context);
    ok = rulersPicture(context, 1, 0.0, 10.0, 1.0, 22.05) && ok;
    ok = rulersPicture(context, 2, 2.0, 1.0, 0.5, 11.025) && ok;
    ok = rulersPicture(context, 3, 2.5, 0.02, 0.1, 5.5125) && ok;
    return ok;
}

} // namespace lvshots
