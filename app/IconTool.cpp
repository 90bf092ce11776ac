// Build-time helper: writes the product picture as a PNG, so the installed icons and the window's own picture
// come from the same drawing.
#include <cstdio>

#include <QImage>
#include <QString>

#include "ui/AppIcon.h"

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SIZE OUTPUT.png\n", argv[0]);
        return 2;
    }
    const int size = QString::fromLocal8Bit(argv[1]).toInt();
    if (size <= 0 || !quernfold::DrawProductPicture(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
