#pragma once

#include <QDialog>

namespace quernfold {

/**
 * The about window: product, edition, version, maker and date beside the product picture. A fixed dialog
 * without an owner, so it outlives a closed main window and keeps the program running until it is closed.
 */
class AboutUs final : public QDialog {
    Q_OBJECT

public:
    explicit AboutUs(QWidget* parent = nullptr);

protected:
    // Its one button is neither the default nor the cancel button: Escape does not close the window either.
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace quernfold
