// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFormLayout;

namespace tavrisk {

// The settings dialog of an element, made from its writable properties: a check box for a
// boolean, a slider for an integer range, a combo box for an enumeration and a line edit
// holding the serialized value for anything else. Each control is named after its property.
// OK sets the properties whose controls were changed; Cancel sets nothing.
class ElementSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    ElementSettingsDialog(GstElement* element, const std::string& caption,
                          QWidget* parent = nullptr);
    ~ElementSettingsDialog() override;

    // The number of properties shown.
    int FieldCount() const { return static_cast<int>(fields.size()); }

    // Accepting applies the changes; a value the property cannot take keeps the dialog open
    // with that control focused and sets nothing.
    void done(int result) override;

  private:
    // One property: its control, the control's state when the dialog opened, and how the
    // current state becomes a value of the property's type.
    struct Field {
        GParamSpec* pspec = nullptr;
        QWidget* control = nullptr;
        std::function<QString()> state;
        QString initialState;
        std::function<bool(GValue* value)> read;
    };

    void AddField(GParamSpec* pspec, const GValue& current);
    bool Apply();

    std::unique_ptr<GstElement, void (*)(GstElement*)> element;
    std::vector<Field> fields;
    QFormLayout* form;
};

}  // namespace tavrisk
