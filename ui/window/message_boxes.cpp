#include "ui/window/message_boxes.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace sphyra {

namespace {

constexpr char kContext[] = "sphyra::MessageBoxes";

// The port layer's fixed notices, marked here because that layer knows nothing of Qt.
[[maybe_unused]] constexpr const char* kPortNotices[] = {
    QT_TRANSLATE_NOOP("sphyra::MessageBoxes", "端口号错误!"),
    QT_TRANSLATE_NOOP("sphyra::MessageBoxes", "请选择通信端口号!"),
    QT_TRANSLATE_NOOP("sphyra::MessageBoxes", "请输入正确的波特率!"),
    QT_TRANSLATE_NOOP("sphyra::MessageBoxes", "通信端口打开失败!"),
    QT_TRANSLATE_NOOP("sphyra::MessageBoxes", "未知错误!"),
};

void Show(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, MessageBoxes::Title(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace

QString MessageBoxes::Title() {
    // Qt falls back to the executable's base name when the name was never set.
    return QCoreApplication::applicationName();
}

void MessageBoxes::ShowPlain(QWidget* owner, const QString& text) {
    Show(owner, QMessageBox::NoIcon, text);
}

void MessageBoxes::ShowStop(QWidget* owner, const QString& text) {
    Show(owner, QMessageBox::Critical, text);
}

QString MessageBoxes::Translate(const std::string& text) {
    QStringList lines = QString::fromStdString(text).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        const QByteArray source = line.toUtf8();
        line = QCoreApplication::translate(kContext, source.constData());
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace sphyra
