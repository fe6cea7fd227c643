#include "ui/toolkit/UiStyle.h"

#include <QApplication>

namespace TessarinEditor {

QFont toolkitFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void installToolkitFont()
{
    QApplication::setFont(toolkitFont());
}

} // namespace TessarinEditor
