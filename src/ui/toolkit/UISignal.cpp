#include "ui/toolkit/UISignal.h"

namespace TessarinEditor {

UISignalSender::~UISignalSender() = default;

void UISignalSender::sendSignal(std::string_view name, void* argument, UISignalSender* sender)
{
    if (m_parentReceiver) {
        m_parentReceiver->receiveSignal(name, argument, sender ? sender : this);
    }
}

UISignalReceiver::~UISignalReceiver() = default;

} // namespace TessarinEditor
