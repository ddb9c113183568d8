#include "ui/window/handler_dispatch.h"

#include <QString>
#include <exception>

#include "ui/window/message_boxes.h"

namespace sphyra {

bool HandlerDispatch::Run(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        Report(error.what());
    } catch (...) {
        Report("未知错误!");
    }
    return false;
}

void HandlerDispatch::Report(const char* text) {
    if (m_reporting) return;
    m_reporting = true;
    MessageBoxes::ShowStop(m_owner, MessageBoxes::Translate(text));
    m_reporting = false;
}

}  // namespace sphyra
