#pragma once

// Named signals between views and their window. A view sends a signal to its parent receiver; a
// receiver that does not handle it passes it on to its own parent with the sender that first sent
// it, up to the window, whose handler ends the chain.
//
// The name is a short narrow string; the argument is an untyped pointer whose meaning each signal
// fixes (UISignalNames.h) and which lives only for the call. Everything runs on the UI thread.

#include <string_view>

namespace TessarinEditor {

class CUIView;
class UISignalReceiver;
struct UIMessage;

class UISignalSender {
public:
    virtual ~UISignalSender();

    UISignalReceiver* parentReceiver() const { return m_parentReceiver; }
    void setParentReceiver(UISignalReceiver* receiver) { m_parentReceiver = receiver; }

    // Hands the signal to the parent receiver, if there is one, with sender or, when none is given,
    // this object as its sender.
    void sendSignal(std::string_view name, void* argument = nullptr, UISignalSender* sender = nullptr);

private:
    UISignalReceiver* m_parentReceiver = nullptr;
};

class UISignalReceiver {
public:
    virtual ~UISignalReceiver();

    virtual void receiveSignal(std::string_view name, void* argument, UISignalSender* sender) = 0;
    // Which cursor to show over view: true when this receiver set one.
    virtual bool queryCursor(const UIMessage& message, CUIView* view) = 0;
};

} // namespace TessarinEditor
