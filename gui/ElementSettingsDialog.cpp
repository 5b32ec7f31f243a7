// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ElementSettingsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

namespace tavrisk {

namespace {

constexpr int kSettingsMinimumWidth = 360;
constexpr int kMaximumFormHeight = 480;

// A GValue that is unset when it goes.
struct ScopedValue {
    GValue value = G_VALUE_INIT;
    ScopedValue() = default;
    explicit ScopedValue(GType type) { g_value_init(&value, type); }
    ~ScopedValue() {
        if (G_IS_VALUE(&value)) g_value_unset(&value);
    }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;
};

void UnrefElement(GstElement* element) {
    if (element) gst_object_unref(element);
}

// Properties every element has, which are not settings.
bool IsSetting(const GParamSpec* pspec) {
    const GParamFlags flags = pspec->flags;
    if (!(flags & G_PARAM_WRITABLE) || !(flags & G_PARAM_READABLE)) return false;
    if (flags & G_PARAM_CONSTRUCT_ONLY) return false;
    return std::strcmp(pspec->name, "name") != 0 && std::strcmp(pspec->name, "parent") != 0;
}

// Unsigned bounds are clipped to a value just past the slider's range.
constexpr guint64 kTooLarge = guint64{INT_MAX} + 1;

template <typename T>
gint64 Clip(T bound) {
    if constexpr (std::is_unsigned_v<T>)
        return gint64(std::min<guint64>(bound, kTooLarge));
    else
        return gint64(bound);
}

template <typename TypedParam>
void ReadBounds(const GParamSpec* pspec, gint64& minimum, gint64& maximum) {
    const auto* typed = reinterpret_cast<const TypedParam*>(pspec);
    minimum = Clip(typed->minimum);
    maximum = Clip(typed->maximum);
}

// The range of an integer property when it fits a slider.
bool IntegerRange(const GParamSpec* pspec, gint64& minimum, gint64& maximum) {
    if (G_IS_PARAM_SPEC_INT(pspec))
        ReadBounds<GParamSpecInt>(pspec, minimum, maximum);
    else if (G_IS_PARAM_SPEC_UINT(pspec))
        ReadBounds<GParamSpecUInt>(pspec, minimum, maximum);
    else if (G_IS_PARAM_SPEC_LONG(pspec))
        ReadBounds<GParamSpecLong>(pspec, minimum, maximum);
    else if (G_IS_PARAM_SPEC_ULONG(pspec))
        ReadBounds<GParamSpecULong>(pspec, minimum, maximum);
    else if (G_IS_PARAM_SPEC_INT64(pspec))
        ReadBounds<GParamSpecInt64>(pspec, minimum, maximum);
    else if (G_IS_PARAM_SPEC_UINT64(pspec))
        ReadBounds<GParamSpecUInt64>(pspec, minimum, maximum);
    else
        return false;
    return minimum >= INT_MIN && maximum <= INT_MAX && minimum <= maximum;
}

// The value of an integer property that fits a slider.
int IntegerOf(const GValue& value) {
    ScopedValue wide(G_TYPE_INT64);
    g_value_transform(&value, &wide.value);
    return static_cast<int>(g_value_get_int64(&wide.value));
}

QString TextOf(const GValue& value) {
    if (G_VALUE_HOLDS_STRING(&value)) return QString::fromUtf8(g_value_get_string(&value));
    gchar* text = gst_value_serialize(&value);
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

bool CanShowAsText(const GValue& value) {
    if (G_VALUE_HOLDS_STRING(&value)) return true;
    gchar* text = gst_value_serialize(&value);
    const bool serialized = text != nullptr;
    g_free(text);
    return serialized;
}

}  // namespace

ElementSettingsDialog::ElementSettingsDialog(GstElement* shown, const std::string& caption,
                                             QWidget* parent)
    : QDialog(parent),
      element(GST_ELEMENT(gst_object_ref(shown)), UnrefElement),
      form(new QFormLayout) {
    setWindowTitle(QString::fromStdString(caption));
    setMinimumWidth(kSettingsMinimumWidth);

    guint count = 0;
    GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(shown), &count);
    for (guint i = 0; i < count; ++i) {
        if (!IsSetting(specs[i])) continue;
        ScopedValue current(specs[i]->value_type);
        g_object_get_property(G_OBJECT(shown), specs[i]->name, &current.value);
        AddField(specs[i], current.value);
    }
    g_free(specs);

    auto* formArea = new QWidget;
    formArea->setLayout(form);
    auto* scroll = new QScrollArea;
    scroll->setWidget(formArea);
    scroll->setWidgetResizable(true);
    scroll->setMaximumHeight(kMaximumFormHeight);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
}

ElementSettingsDialog::~ElementSettingsDialog() = default;

void ElementSettingsDialog::AddField(GParamSpec* pspec, const GValue& current) {
    Field field;
    field.pspec = pspec;
    QWidget* shown = nullptr;  // what the form shows: the control, or a row holding it
    gint64 minimum = 0, maximum = 0;
    if (G_IS_PARAM_SPEC_BOOLEAN(pspec)) {
        auto* box = new QCheckBox;
        box->setChecked(g_value_get_boolean(&current));
        field.control = box;
        field.state = [box] { return QString::number(box->isChecked()); };
        field.read = [box](GValue* value) {
            g_value_set_boolean(value, box->isChecked());
            return true;
        };
    } else if (G_IS_PARAM_SPEC_ENUM(pspec)) {
        auto* combo = new QComboBox;
        const GEnumClass* enumeration = G_PARAM_SPEC_ENUM(pspec)->enum_class;
        for (guint i = 0; i < enumeration->n_values; ++i) {
            const GEnumValue& item = enumeration->values[i];
            combo->addItem(QString::fromUtf8(item.value_nick), item.value);
            if (item.value == g_value_get_enum(&current)) combo->setCurrentIndex(int(i));
        }
        field.control = combo;
        field.state = [combo] { return combo->currentData().toString(); };
        field.read = [combo](GValue* value) {
            g_value_set_enum(value, combo->currentData().toInt());
            return true;
        };
    } else if (IntegerRange(pspec, minimum, maximum)) {
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setRange(int(minimum), int(maximum));
        slider->setValue(IntegerOf(current));
        auto* number = new QLabel(QString::number(slider->value()));
        connect(slider, &QSlider::valueChanged, number,
                [number](int position) { number->setText(QString::number(position)); });
        shown = new QWidget;
        auto* row = new QHBoxLayout(shown);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(slider, 1);
        row->addWidget(number);
        field.control = slider;
        field.state = [slider] { return QString::number(slider->value()); };
        field.read = [slider](GValue* value) {
            ScopedValue wide(G_TYPE_INT64);
            g_value_set_int64(&wide.value, slider->value());
            return g_value_transform(&wide.value, value) != FALSE;
        };
    } else if (CanShowAsText(current)) {
        auto* edit = new QLineEdit(TextOf(current));
        field.control = edit;
        field.state = [edit] { return edit->text(); };
        field.read = [edit](GValue* value) {
            const QByteArray text = edit->text().toUtf8();
            if (G_VALUE_HOLDS_STRING(value)) {
                g_value_set_string(value, text.constData());
                return true;
            }
            return gst_value_deserialize(value, text.constData()) != FALSE;
        };
    } else {
        return;  // a value that cannot be shown as text (an object, a pointer)
    }
    field.control->setObjectName(pspec->name);
    field.control->setToolTip(QString::fromUtf8(g_param_spec_get_blurb(pspec)));
    form->addRow(pspec->name, shown ? shown : field.control);
    field.initialState = field.state();
    fields.push_back(std::move(field));
}

bool ElementSettingsDialog::Apply() {
    // Every changed value is read before any is set, so a refused value sets nothing.
    std::vector<std::pair<const Field*, std::unique_ptr<ScopedValue>>> changes;
    for (const Field& field : fields) {
        if (field.state() == field.initialState) continue;
        auto value = std::make_unique<ScopedValue>(field.pspec->value_type);
        if (!field.read(&value->value) ||
            g_param_value_validate(field.pspec, &value->value) != FALSE) {
            field.control->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(field.control)) edit->selectAll();
            QApplication::beep();
            return false;
        }
        changes.emplace_back(&field, std::move(value));
    }
    for (const auto& [field, value] : changes)
        g_object_set_property(G_OBJECT(element.get()), field->pspec->name, &value->value);
    return true;
}

void ElementSettingsDialog::done(int result) {
    if (result == QDialog::Accepted && !Apply()) return;
    QDialog::done(result);
}

}  // namespace tavrisk
