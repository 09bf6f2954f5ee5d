#pragma once

#include <QAccessibleWidget>

namespace palmota::ui {

// What screen readers are told of the port chooser. Qt's own combo box interface gives
// an editable box's text as its name on Linux, so the chooser would be read out as
// "/dev/ttyUSB0"; this one gives its name ("Port COM") as the name and its text as the
// value, and opens its list on request.
class AccessiblePortChooser final : public QAccessibleWidget {
  public:
    explicit AccessiblePortChooser(QWidget* chooser);

    // For QAccessible::installFactory: an interface for a PortChooser, none for the rest.
    static QAccessibleInterface* create(const QString& className, QObject* object);

    QString text(QAccessible::Text which) const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;
};

}  // namespace palmota::ui
