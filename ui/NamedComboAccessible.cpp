#include "ui/NamedComboAccessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
#include <QLineEdit>

namespace quernfold {

namespace {

/** An editable combo box as Qt presents it (its list and its text field as children), but named by its name. */
class NamedComboAccessible final : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
            case QAccessible::Name:
                return Combo()->accessibleName();
            case QAccessible::Value:
                return Combo()->currentText();
            default:
                return QAccessibleWidget::text(kind);
        }
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = Combo()->isEditable();
        state.expandable = true;
        state.expanded = Combo()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }

    // The list first, then the text field, as Qt's own combo box interface has them.
    int childCount() const override { return Combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(Combo()->view());
        if (index == 1 && Combo()->lineEdit()) return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child->object() == Combo()->view()) return 0;
        if (Combo()->lineEdit() && child->object() == Combo()->lineEdit()) return 1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QLineEdit* edit = Combo()->lineEdit();
        if (edit && edit->rect().contains(edit->mapFromGlobal(QPoint(x, y)))) return child(1);
        return nullptr;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction()) return;
        Combo()->view()->isVisible() ? Combo()->hidePopup() : Combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override {
        return {QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText)};
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* NamedComboFactory(const QString& className, QObject* object) {
    auto* combo = qobject_cast<QComboBox*>(object);
    if (className != QLatin1String("QComboBox") || !combo || combo->accessibleName().isEmpty()) return nullptr;
    return new NamedComboAccessible(combo);
}

}  // namespace

void InstallNamedComboAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(NamedComboFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace quernfold
