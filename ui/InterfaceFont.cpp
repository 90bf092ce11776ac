#include "ui/InterfaceFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>

namespace quernfold {

namespace {

constexpr int kPointSize = 9;

// The Chinese faces of Windows first, then those of the common Linux distributions.
const char* const kWindowsFaces[] = {"SimSun", "宋体", "NSimSun"};
const char* const kProportionalFaces[] = {"Noto Sans CJK SC",  "Source Han Sans SC",  "WenQuanYi Micro Hei",
                                          "WenQuanYi Zen Hei", "Droid Sans Fallback", "Noto Serif CJK SC",
                                          "AR PL UMing CN",    "AR PL UKai CN"};
// Monospaced faces come first for the log: like SimSun they give Latin text half the width of a Chinese
// character.
const char* const kLogFaces[] = {"Noto Sans Mono CJK SC", "WenQuanYi Zen Hei Mono", "WenQuanYi Micro Hei Mono",
                                 "Noto Serif CJK SC",     "Noto Sans CJK SC",       "Source Han Sans SC",
                                 "WenQuanYi Zen Hei",     "WenQuanYi Micro Hei",    "AR PL UMing CN"};

QFont Make(const QStringList& families) {
    // Weight and style are given too, so that nothing of the desktop's font is inherited.
    QFont font(families.value(0), kPointSize, QFont::Normal, false);
    if (!families.isEmpty()) font.setFamilies(families);
    return font;
}

template <std::size_t N>
void AddInstalled(QStringList& families, const QStringList& installed, const char* const (&known)[N]) {
    for (const char* name : known) {
        if (installed.contains(QString::fromUtf8(name)) && !families.contains(QString::fromUtf8(name))) {
            families << QString::fromUtf8(name);
        }
    }
}

QStringList InterfaceFamilies() {
    const QStringList installed = QFontDatabase::families();
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QStringList candidates;
    AddInstalled(candidates, installed, kWindowsFaces);
    AddInstalled(candidates, installed, kProportionalFaces);
    for (const QString& family : chinese) {
        if (!candidates.contains(family)) candidates << family;
    }
    QStringList families;
    for (const QString& family : candidates) {
        if (IsProportional(family)) families << family;
    }
    // No proportional Chinese face: the monospaced ones still show the texts.
    for (const QString& family : candidates) {
        if (!families.contains(family)) families << family;
    }
    return families;
}

}  // namespace

bool IsProportional(const QString& family) {
    // Fontconfig leaves the spacing of most Chinese faces unset, so QFontInfo calls even the "Mono" ones
    // proportional; the widths tell.
    // Exact widths: rounded ones of a monospaced face can differ by a pixel under other hinting settings.
    const QFont font(family, kPointSize);
    const QFontMetricsF metrics(font);
    return !QFontInfo(font).fixedPitch() &&
           metrics.horizontalAdvance(QLatin1Char('m')) - metrics.horizontalAdvance(QLatin1Char('i')) > 1.0;
}

QFont InterfaceFont() {
    // Measuring every Chinese face takes a while; the fonts installed do not change while the program runs.
    static const QStringList families = InterfaceFamilies();
    return Make(families);
}

QFont LogFont() {
    QStringList families = {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun")};
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    AddInstalled(families, chinese, kLogFaces);
    if (!chinese.isEmpty() && !families.contains(chinese.first())) families << chinese.first();
    return Make(families);
}

}  // namespace quernfold
