#include "ui/accessible_port_chooser.h"

#include "ui/port_chooser.h"

namespace palmota::ui {

AccessiblePortChooser::AccessiblePortChooser(QWidget* chooser)
    : QAccessibleWidget(chooser, QAccessible::ComboBox) {}

QAccessibleInterface* AccessiblePortChooser::create(const QString& /*className*/, QObject* object) {
    auto* chooser = qobject_cast<PortChooser*>(object);
    return chooser ? new AccessiblePortChooser(chooser) : nullptr;
}

QString AccessiblePortChooser::text(QAccessible::Text which) const {
    const auto* chooser = static_cast<const PortChooser*>(widget());
    switch (which) {
        case QAccessible::Name:
            return chooser->accessibleName();
        case QAccessible::Value:
            return chooser->currentText();
        default:
            return QAccessibleWidget::text(which);
    }
}

QStringList AccessiblePortChooser::actionNames() const {
    return QAccessibleWidget::actionNames() << showMenuAction();
}

void AccessiblePortChooser::doAction(const QString& action) {
    if (action == showMenuAction())
        static_cast<PortChooser*>(widget())->showPopup();
    else
        QAccessibleWidget::doAction(action);
}

}  // namespace palmota::ui
