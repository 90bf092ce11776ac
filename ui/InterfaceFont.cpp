#include "ui/InterfaceFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace quernfold {

namespace {

constexpr int kPointSize = 9;

}  // namespace

QFont InterfaceFont() {
    // Monospaced Chinese faces come first: like SimSun they give Latin text half the width of a Chinese
    // character, which is what the layout's widths and the log's banner lines were measured with.
    QStringList families = {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun")};
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    for (const char* known :
         {"Noto Sans Mono CJK SC", "WenQuanYi Zen Hei Mono", "WenQuanYi Micro Hei Mono", "Noto Serif CJK SC",
          "Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "AR PL UMing CN"}) {
        if (chinese.contains(QLatin1String(known))) {
            families << QLatin1String(known);
        }
    }
    if (!chinese.isEmpty()) {
        families << chinese.first();
    }
    // Weight and style are given too, so that nothing of the desktop's font is inherited.
    QFont font(families.first(), kPointSize, QFont::Normal, false);
    font.setFamilies(families);
    return font;
}

}  // namespace quernfold
